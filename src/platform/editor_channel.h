#pragma once

#include "platform/desktop.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace ini {

// The stand-in editor's own control channel, for desktops where one program cannot focus or type
// into another's window (Wayland, or X11 without XTEST). The editor listens on a local socket
// found from its process id; the viewer connects to the editor it started and asks, one line at
// a time, for what it would otherwise do through the window system. Each request gets one reply
// line before the next is read.
//
// The socket lies in a folder that only its user may enter, so no other user can listen in the
// editor's place or keep it from listening by taking its name first:
//   - in the user's runtime folder, as "ini-file-parser-notepad-<pid>", where XDG_RUNTIME_DIR
//     names a folder of the user's own (not a link) with mode 0700;
//   - else as "channel" in a folder the editor makes for it in the temporary folder, named
//     "ini-file-parser-notepad-<pid>.XXXXXX" with a random end (mkdtemp), mode 0700.
//
//   request: "raise"          the editor shows its window in front and asks for the focus
//            "keys <text>"    the editor types <text>, in the key-description syntax, into its
//                             focused widget, all of it or (when it cannot be read) none
//   reply:   "ok" or "error <message>"
//
// <text> and <message> are percent-encoded UTF-8, so a line holds no line break of its own.

// The socket paths, best first, where the editor with this process id may be listening: its name
// in the runtime folder, or else the channels in the private folders named from its id (an ended
// process that had the id may have left one). Folders that are not private to the user are passed
// over.
QStringList EditorChannelNames(TaskId editor);

// Readies the place for the channel of the editor with this process id and gives its socket path:
// any socket left at the name in the runtime folder is removed, or else a private folder is made.
Result<QString> MakeEditorChannelPlace(TaskId editor);

// Removes what MakeEditorChannelPlace made for a socket path: the socket, and its private folder.
void RemoveEditorChannelPlace(const QString& name);

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
