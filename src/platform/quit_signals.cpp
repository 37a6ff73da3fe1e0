#include "platform/quit_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ini {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// A handler may do next to nothing: it writes the signal's number to a pipe that the event
// loop watches.
int s_pipe[2] = {-1, -1};

void Handle(int signal) {
    const int saved = errno;
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(s_pipe[1], &number, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "%s: %s; a signal ends the program at once\n",
                     qPrintable(QCoreApplication::applicationName()), std::strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::Take);
    struct sigaction action {};
    action.sa_handler = Handle;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    if (!m_notifier)
        return;
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

void QuitSignals::Take() {
    char number[1] = {};
    if (::read(s_pipe[0], number, 1) != 1)
        return;
    const int signal = static_cast<unsigned char>(number[0]);
    if (m_caught == 0)
        m_caught = signal;
    // Every event loop ends, a box's included, without asking about unsaved changes: the
    // signal's sender wants the program gone. Before the main loop runs this does nothing, so
    // whoever starts it asks Caught() first; a later signal asks again.
    QCoreApplication::exit(128 + m_caught);
}

void EndBySignal(int signal) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

} // namespace ini
