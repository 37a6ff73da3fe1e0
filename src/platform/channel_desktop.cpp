// The desktop where no window system lets one program focus and type into another's window: the
// stand-in editor is driven over its own control channel (editor_channel.h) instead.
#include "platform/desktop.h"
#include "platform/editor_channel.h"
#include "platform/key_description.h"
#include "platform/polling_desktop.h"

#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace ini {
namespace {

using Clock = std::chrono::steady_clock;

std::string Editor(TaskId task) {
    return "The editor (process " + std::to_string(task) + ")";
}

class ChannelDesktop final : public PollingDesktop {
public:
    ChannelDesktop(std::function<void()> letEventsRun, DesktopTimings timings)
        : PollingDesktop(std::move(letEventsRun), timings) {}

    Result<void> ActivateWindow(TaskId task) override {
        // Keys go only to the editor activated last: a failed activation leaves none.
        m_socket.reset();
        auto socket = Connect(task);
        if (!socket.ok())
            return socket.failure();
        m_socket = std::move(socket.value());
        m_task = task;
        auto raised = Ask(EncodeRequest({ChannelRequest::Kind::Raise, {}}));
        if (!raised.ok())
            m_socket.reset();
        return raised;
    }

    Result<void> SendKeys(std::string_view keys) override {
        if (const auto strokes = ParseKeyDescription(keys); !strokes.ok())
            return strokes.failure();
        if (!m_socket)
            return Failure{"No editor window was activated to type into."};
        return Ask(EncodeRequest({ChannelRequest::Kind::Keys, std::string(keys)}));
    }

private:
    // Waits for the editor to open its channel: it does so once its file is shown.
    Result<std::unique_ptr<QLocalSocket>> Connect(TaskId task) {
        auto socket = std::make_unique<QLocalSocket>();
        const auto deadline = Clock::now() + Timings().windowAppears;
        for (;;) {
            // Looked up again each time: a private folder is made only as the channel opens.
            for (const QString& name : EditorChannelNames(task)) {
                socket->connectToServer(name);
                if (socket->waitForConnected(0)) {
                    if (auto owner = CheckOwner(*socket, task); !owner.ok())
                        return owner.failure();
                    return socket;
                }
                socket->abort();
            }
            if (!ProcessAlive(task))
                return Failure{Editor(task) + " ended before it opened its control channel."};
            if (Clock::now() >= deadline) {
                return Failure{Editor(task) + " opened no control channel within " +
                               Seconds(Timings().windowAppears) +
                               "; without X11 only the stand-in editor can be driven."};
            }
            Pause();
        }
    }

    // A socket left behind at the name by an earlier process with the same id must not receive
    // keys meant for this one.
    static Result<void> CheckOwner(const QLocalSocket& socket, TaskId task) {
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                         &peer, &size) != 0) {
            return Failure{"Cannot tell who serves the control channel of process " +
                           std::to_string(task) + "."};
        }
        if (peer.pid != task || peer.uid != ::getuid()) {
            return Failure{"The control channel of process " + std::to_string(task) +
                           " is served by process " + std::to_string(peer.pid) +
                           "; nothing was sent."};
        }
        return {};
    }

    // Sends one request and waits, bounded, for its reply.
    Result<void> Ask(const QByteArray& request) {
        m_socket->write(request);
        const auto deadline = Clock::now() + Timings().answer;
        const int pollMs = static_cast<int>(Timings().poll.count());
        for (;;) {
            if (m_socket->canReadLine()) {
                const QByteArray line = m_socket->readLine(kChannelLineLimit).trimmed();
                const auto reply = DecodeReply(line);
                if (!reply)
                    return Failure{Editor(m_task) + " gave an unreadable answer."};
                if (!reply->empty())
                    return Failure{Editor(m_task) + " refused: " + *reply};
                return {};
            }
            if (m_socket->state() != QLocalSocket::ConnectedState)
                return Failure{Editor(m_task) + " closed its control channel."};
            if (Clock::now() >= deadline) {
                return Failure{Editor(m_task) + " did not answer within " +
                               Seconds(Timings().answer) + "."};
            }
            // Blocks at most one poll, then lets the viewer's own events run.
            if (m_socket->bytesToWrite() > 0)
                m_socket->waitForBytesWritten(pollMs);
            else
                m_socket->waitForReadyRead(pollMs);
            LetEventsRun();
        }
    }

    std::unique_ptr<QLocalSocket> m_socket;
    TaskId m_task = 0;
};

} // namespace

std::unique_ptr<Desktop> MakeChannelDesktop(std::function<void()> letEventsRun,
                                            DesktopTimings timings) {
    return std::make_unique<ChannelDesktop>(std::move(letEventsRun), timings);
}

std::unique_ptr<Desktop> MakeSystemDesktop(std::function<void()> letEventsRun,
                                           DesktopTimings timings) {
    if (CheckX11Usable().ok())
        return MakeX11Desktop(std::move(letEventsRun), timings);
    return MakeChannelDesktop(std::move(letEventsRun), timings);
}

} // namespace ini
