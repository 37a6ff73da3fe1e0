#pragma once

#include "platform/desktop.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <string>

namespace ini {

// The stand-in editor's own control channel, for desktops where one program cannot focus or type
// into another's window (Wayland, or X11 without XTEST). The editor listens on a local socket
// named from its process id; the viewer connects to the editor it started and asks, one line at
// a time, for what it would otherwise do through the window system. Each request gets one reply
// line before the next is read.
//
//   request: "raise"          the editor shows its window in front and asks for the focus
//            "keys <text>"    the editor types <text>, in the key-description syntax, into its
//                             focused widget, all of it or (when it cannot be read) none
//   reply:   "ok" or "error <message>"
//
// <text> and <message> are percent-encoded UTF-8, so a line holds no line break of its own.

// The socket path for the editor with this process id, inside the user's private runtime folder.
QString EditorChannelName(TaskId editor);

// The longest line either side reads; a longer one is refused rather than buffered.
inline constexpr qsizetype kChannelLineLimit = 64 * 1024;

struct ChannelRequest {
    enum class Kind { Raise, Keys };
    Kind kind = Kind::Raise;
    // For Keys: the key description.
    std::string keys;

    friend bool operator==(const ChannelRequest&, const ChannelRequest&) = default;
};

// Both encoders give one line, ending in "\n".
QByteArray EncodeRequest(const ChannelRequest& request);
// A line without its "\n"; nothing for anything but a well-formed request.
std::optional<ChannelRequest> DecodeRequest(QByteArrayView line);

// An empty error means "ok".
QByteArray EncodeReply(const std::string& error);
// A line without its "\n": the error message, empty for "ok"; nothing for an unreadable reply.
std::optional<std::string> DecodeReply(QByteArrayView line);

} // namespace ini
