#include "platform/polling_desktop.h"

#include "platform/program_launcher.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <thread>

namespace ini {
namespace {

void ProcessNonInputEvents() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

PollingDesktop::PollingDesktop(std::function<void()> letEventsRun, DesktopTimings timings)
    : m_letEventsRun(letEventsRun ? std::move(letEventsRun) : ProcessNonInputEvents),
      m_timings(timings) {}

Result<TaskId> PollingDesktop::StartProgram(std::string_view commandLine, WindowMode) {
    // A started Qt program maps its window normally; ActivateWindow then gives it the focus.
    return StartDetached(commandLine, ProgramSearchFolders());
}

Result<TaskId> PollingDesktop::StartCommand(const std::vector<std::string>& arguments) {
    return StartDetached(arguments, ProgramSearchFolders());
}

void PollingDesktop::Pause() {
    m_letEventsRun();
    std::this_thread::sleep_for(m_timings.poll);
}

bool ProcessAlive(TaskId task) {
    return ::kill(static_cast<pid_t>(task), 0) == 0 || errno == EPERM;
}

std::string Seconds(std::chrono::milliseconds duration) {
    const auto tenths = (duration.count() + 50) / 100;
    return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") +
           " s";
}

} // namespace ini
