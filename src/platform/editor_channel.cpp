#include "platform/editor_channel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace ini {
namespace {

const QByteArray raiseWord = "raise";
const QByteArray keysWord = "keys ";
const QByteArray okWord = "ok";
const QByteArray errorWord = "error ";

const QString kStem = QStringLiteral("ini-file-parser-notepad-");
// The socket's name inside a folder made for it.
const QString kSocketInFolder = QStringLiteral("channel");

std::string Decode(QByteArrayView encoded) {
    return QByteArray::fromPercentEncoding(encoded.toByteArray()).toStdString();
}

QByteArray Encode(const std::string& text) {
    return QByteArray::fromStdString(text).toPercentEncoding();
}

QString ChannelStem(TaskId editor) {
    return kStem + QString::number(editor);
}

// A real folder (not a link to one) of this user's that no one else may enter or write to.
bool IsPrivateFolder(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

std::optional<QString> RuntimeFolder() {
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder) || !IsPrivateFolder(folder))
        return std::nullopt;
    return folder;
}

} // namespace

QStringList EditorChannelNames(TaskId editor) {
    if (const std::optional<QString> runtime = RuntimeFolder())
        return {QDir(*runtime).filePath(ChannelStem(editor))};
    const QDir temp(QDir::tempPath());
    QStringList names;
    for (const QString& folder : temp.entryList({ChannelStem(editor) + QStringLiteral(".??????")},
                                                QDir::Dirs | QDir::Hidden | QDir::NoSymLinks)) {
        if (IsPrivateFolder(temp.filePath(folder)))
            names.append(temp.filePath(folder + QLatin1Char('/') + kSocketInFolder));
    }
    return names;
}

Result<QString> MakeEditorChannelPlace(TaskId editor) {
    if (const std::optional<QString> runtime = RuntimeFolder()) {
        const QString name = QDir(*runtime).filePath(ChannelStem(editor));
        // Only this user can have put anything there: an ended process that had this id.
        if (::unlink(QFile::encodeName(name).constData()) != 0 && errno != ENOENT) {
            const int error = errno;
            return Failure{"cannot remove the old channel " + name.toStdString() + ": " +
                           std::strerror(error)};
        }
        return name;
    }
    // mkdtemp picks a name no other user can have taken first, and makes it with mode 0700.
    QByteArray folder =
        QFile::encodeName(QDir(QDir::tempPath()).filePath(ChannelStem(editor) + ".XXXXXX"));
    if (::mkdtemp(folder.data()) == nullptr) {
        const int error = errno;
        return Failure{"cannot make a private folder for the channel in " +
                       QDir::tempPath().toStdString() + ": " + std::strerror(error)};
    }
    return QDir(QFile::decodeName(folder)).filePath(kSocketInFolder);
}

void RemoveEditorChannelPlace(const QString& name) {
    ::unlink(QFile::encodeName(name).constData());
    // A folder made for the channel goes with it; the runtime folder stays.
    const QFileInfo socket(name);
    if (socket.fileName() == kSocketInFolder && socket.dir().dirName().startsWith(kStem))
        ::rmdir(QFile::encodeName(socket.path()).constData());
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
