#pragma once

#include "parse/result.h"

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <memory>
#include <string_view>

class QLocalSocket;
class QWidget;

namespace ini {

struct ChannelRequest;

// The editor's end of its control channel (platform/editor_channel.h): lets the program that
// started this editor raise its window and type into it where the window system offers no way
// to (Wayland, X11 without XTEST). Keys arrive as ordinary key events at the window's focused
// widget, so they do exactly what the same keys typed by hand would.
class RemoteControl : public QObject {
    Q_OBJECT
public:
    // Listens on the channel of this process, in a folder only its user may enter. When it
    // cannot, the reason goes to the standard error stream and the editor works on without it;
    // the viewer then reports that no channel opened.
    explicit RemoteControl(QWidget& window, QObject* parent = nullptr);
    // Removes the channel's socket, and the folder made for it.
    ~RemoteControl() override;

private:
    struct Client;

    void Accept();
    void Serve(std::shared_ptr<Client> client);
    Result<void> Handle(const ChannelRequest& request);

    QWidget& m_window;
    QLocalServer m_server;
    QString m_name; // the socket's path; empty when no place for it could be made
};

// Types keys, in the key-description syntax, into the window's focused widget (the window itself
// when nothing in it has the focus): all of them, or none when the text cannot be read or a box
// or menu is open, since keys would reach the text behind it.
Result<void> TypeInto(QWidget& window, std::string_view keys);

} // namespace ini
