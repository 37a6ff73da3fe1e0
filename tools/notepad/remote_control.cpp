#include "notepad/remote_control.h"

#include "platform/editor_channel.h"
#include "platform/key_description.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLocalSocket>
#include <QPointer>
#include <QWidget>

#include <cstdio>
#include <optional>
#include <string>

namespace ini {
namespace {

struct QtKey {
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
};

QtKey NamedQtKey(NamedKey key) {
    switch (key) {
    case NamedKey::Enter:
        return {Qt::Key_Return, {}, QStringLiteral("\r")};
    case NamedKey::Tab:
        return {Qt::Key_Tab, {}, QStringLiteral("\t")};
    case NamedKey::Escape:
        return {Qt::Key_Escape, {}, QStringLiteral("\x1b")};
    case NamedKey::Backspace:
        return {Qt::Key_Backspace, {}, QStringLiteral("\b")};
    case NamedKey::Delete:
        return {Qt::Key_Delete, {}, QStringLiteral("\x7f")};
    case NamedKey::Insert:
        return {Qt::Key_Insert, {}, {}};
    case NamedKey::Home:
        return {Qt::Key_Home, {}, {}};
    case NamedKey::End:
        return {Qt::Key_End, {}, {}};
    case NamedKey::PageUp:
        return {Qt::Key_PageUp, {}, {}};
    case NamedKey::PageDown:
        return {Qt::Key_PageDown, {}, {}};
    case NamedKey::Up:
        return {Qt::Key_Up, {}, {}};
    case NamedKey::Down:
        return {Qt::Key_Down, {}, {}};
    case NamedKey::Left:
        return {Qt::Key_Left, {}, {}};
    case NamedKey::Right:
        return {Qt::Key_Right, {}, {}};
    default:
        // F1 to F12 follow one another in both enumerations.
        return {Qt::Key_F1 + (static_cast<int>(key) - static_cast<int>(NamedKey::F1)), {}, {}};
    }
}

// The key event a keyboard would deliver: a character's key code is its upper-case form, its text
// the character itself, upper-cased under Shift; with Ctrl or Alt held it types no text.
QtKey ToQtKey(const KeyStroke& stroke) {
    QtKey key{};
    if (const auto* named = std::get_if<NamedKey>(&stroke.key)) {
        key = NamedQtKey(*named);
    } else {
        const char32_t point = std::get<char32_t>(stroke.key);
        key.key = static_cast<int>(QChar::toUpper(point));
        const char32_t typed =
            Holds(stroke.modifiers, Modifiers::Shift) ? QChar::toUpper(point) : point;
        key.text = QString::fromUcs4(&typed, 1);
    }
    if (Holds(stroke.modifiers, Modifiers::Ctrl))
        key.modifiers |= Qt::ControlModifier;
    if (Holds(stroke.modifiers, Modifiers::Shift))
        key.modifiers |= Qt::ShiftModifier;
    if (Holds(stroke.modifiers, Modifiers::Alt))
        key.modifiers |= Qt::AltModifier;
    if (key.modifiers & (Qt::ControlModifier | Qt::AltModifier))
        key.text.clear();
    return key;
}

// Qt runs a window's shortcuts only while it is the active window, and whether it is can lag
// behind the compositor (Wayland tells a window it has the focus some time after it asked), or
// never come (a compositor may refuse to activate it). So a Ctrl or Alt key that the focused
// widget does not claim for itself goes straight to the window's action it is a shortcut for.
bool TriggerShortcut(QWidget& window, QWidget& target, const QtKey& key) {
    if (!(key.modifiers & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    QKeyEvent claim(QEvent::ShortcutOverride, key.key, key.modifiers, key.text);
    claim.ignore();
    QApplication::sendEvent(&target, &claim);
    if (claim.isAccepted())
        return false;
    const QKeySequence sequence(QKeyCombination(key.modifiers, Qt::Key(key.key)));
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->isEnabled() && action->shortcutContext() != Qt::WidgetShortcut &&
            action->shortcuts().contains(sequence)) {
            action->trigger();
            return true;
        }
    }
    return false;
}

void Type(QWidget& window, const QtKey& key) {
    // Looked up for every key: the one before may have moved the focus (Ctrl+G does).
    QWidget* target = window.focusWidget();
    if (!target || !target->isVisible())
        target = &window;
    if (TriggerShortcut(window, *target, key))
        return;
    QKeyEvent press(QEvent::KeyPress, key.key, key.modifiers, key.text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key.key, key.modifiers, key.text);
    QApplication::sendEvent(target, &release);
}

// Why keys cannot be typed now: a box or menu waits for an answer, and keys sent to the window's
// focused widget would go past it into the text.
std::optional<std::string> Busy() {
    if (const QWidget* box = QApplication::activeModalWidget()) {
        return "the editor is waiting for an answer in its \"" + box->windowTitle().toStdString() +
               "\" box; no key was typed";
    }
    if (QApplication::activePopupWidget())
        return "a menu is open in the editor; no key was typed";
    return std::nullopt;
}

} // namespace

// One connection. A request's keys can open a box whose event loop runs, until the box is
// answered, inside the socket's own readyRead signal; a client that hangs up meanwhile has its
// socket deleted only once that request is done, since Qt's frames of the signal still use it.
// The socket is held weakly all the same: the server deletes the sockets it has when it goes.
struct RemoteControl::Client {
    QPointer<QLocalSocket> socket;
    bool serving = false;
    bool hungUp = false; // while serving: the socket goes once it is served

    bool Open() const { return socket && socket->isOpen(); }
    void Reply(const std::string& error) const {
        if (Open())
            socket->write(EncodeReply(error));
    }
    void Forget() const {
        if (socket)
            socket->deleteLater();
    }
};

Result<void> TypeInto(QWidget& window, std::string_view keys) {
    const auto strokes = ParseKeyDescription(keys);
    if (!strokes.ok())
        return strokes.failure();
    if (const std::optional<std::string> busy = Busy())
        return Failure{*busy};
    for (const KeyStroke& stroke : strokes.value())
        Type(window, ToQtKey(stroke));
    return {};
}

RemoteControl::RemoteControl(QWidget& window, QObject* parent) : QObject(parent), m_window(window) {
    Result<QString> place = MakeEditorChannelPlace(QCoreApplication::applicationPid());
    if (!place.ok()) {
        std::fprintf(stderr, "notepad: cannot open the control channel: %s\n",
                     place.error().c_str());
        return;
    }
    m_name = std::move(place).value();
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &RemoteControl::Accept);
    if (!m_server.listen(m_name)) {
        std::fprintf(stderr, "notepad: cannot open the control channel %s: %s\n",
                     qPrintable(m_name), qPrintable(m_server.errorString()));
    }
}

RemoteControl::~RemoteControl() {
    m_server.close();
    if (!m_name.isEmpty())
        RemoveEditorChannelPlace(m_name);
}

void RemoteControl::Accept() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        auto client = std::make_shared<Client>(Client{socket});
        connect(socket, &QLocalSocket::disconnected, this, [client] {
            if (client->serving)
                client->hungUp = true;
            else
                client->Forget();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, client] { Serve(client); });
        Serve(client);
    }
}

void RemoteControl::Serve(std::shared_ptr<Client> client) {
    // Lines that arrive while one of this client's requests is still being handled are read by
    // that call once it is done, so replies keep the order of the requests.
    if (client->serving)
        return;
    client->serving = true;
    const auto done = qScopeGuard([&client] {
        client->serving = false;
        if (client->hungUp)
            client->Forget();
    });
    const auto tooLong = [&client] {
        client->Reply("request too long");
        client->socket->disconnectFromServer();
    };
    while (client->Open() && client->socket->canReadLine()) {
        const QByteArray line = client->socket->readLine(kChannelLineLimit);
        if (!line.endsWith('\n'))
            return tooLong();
        const auto request = DecodeRequest(QByteArrayView(line).chopped(1));
        client->Reply(request ? Handle(*request).error() : "unknown request");
    }
    if (client->Open() && client->socket->bytesAvailable() > kChannelLineLimit)
        tooLong();
}

Result<void> RemoteControl::Handle(const ChannelRequest& request) {
    if (request.kind == ChannelRequest::Kind::Raise) {
        if (m_window.isMinimized())
            m_window.showNormal();
        else
            m_window.show();
        m_window.raise();
        m_window.activateWindow();
        return {};
    }
    return TypeInto(m_window, request.keys);
}

} // namespace ini
