#include "platform/editor_channel.h"

#include <QDir>
#include <QStandardPaths>

namespace ini {
namespace {

const QByteArray raiseWord = "raise";
const QByteArray keysWord = "keys ";
const QByteArray okWord = "ok";
const QByteArray errorWord = "error ";

std::string Decode(QByteArrayView encoded) {
    return QByteArray::fromPercentEncoding(encoded.toByteArray()).toStdString();
}

QByteArray Encode(const std::string& text) {
    return QByteArray::fromStdString(text).toPercentEncoding();
}

} // namespace

QString EditorChannelName(TaskId editor) {
    // The runtime folder belongs to the user alone (Qt makes one with mode 0700 where the session
    // offers none), so no other user can listen there in the editor's place.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(folder).filePath(QStringLiteral("ini-file-parser-notepad-%1").arg(editor));
}

QByteArray EncodeRequest(const ChannelRequest& request) {
    if (request.kind == ChannelRequest::Kind::Raise)
        return raiseWord + '\n';
    return keysWord + Encode(request.keys) + '\n';
}

std::optional<ChannelRequest> DecodeRequest(QByteArrayView line) {
    if (line == raiseWord)
        return ChannelRequest{ChannelRequest::Kind::Raise, {}};
    if (line.startsWith(keysWord))
        return ChannelRequest{ChannelRequest::Kind::Keys, Decode(line.sliced(keysWord.size()))};
    return std::nullopt;
}

QByteArray EncodeReply(const std::string& error) {
    if (error.empty())
        return okWord + '\n';
    return errorWord + Encode(error) + '\n';
}

std::optional<std::string> DecodeReply(QByteArrayView line) {
    if (line == okWord)
        return std::string();
    if (line.startsWith(errorWord) && line.size() > errorWord.size())
        return Decode(line.sliced(errorWord.size()));
    return std::nullopt;
}

} // namespace ini
