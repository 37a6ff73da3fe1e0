#include "ui/remembered_file.h"

#include "ui/live_folder.h"
#include "ui/path_text.h"

#include "parse/line_ends.h"
#include "parse/text_encoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace ini {

namespace {

const QString lastFileKey = QStringLiteral("options/lastfile");
const QString folderKey = QStringLiteral("options/folder");

// An absolute folder named by an environment variable, or nothing.
std::optional<QString> FolderFromEnvironment(const char* variable) {
    const QByteArray value = qgetenv(variable);
    if (!value.startsWith('/'))
        return std::nullopt;
    return TextFromPath(value.toStdString());
}

// Where the per-user store lives (the place QSettings would choose for the application's name
// as organisation and application); nothing when there is no configuration or home folder,
// rather than a folder at the root of the file system.
std::optional<QString> UserSettingsFile() {
    std::optional<QString> config = FolderFromEnvironment("XDG_CONFIG_HOME");
    if (!config) {
        if (const std::optional<QString> home = FolderFromEnvironment("HOME"))
            config = *home + QStringLiteral("/.config");
    }
    if (!config)
        return std::nullopt;
    const QString name = QCoreApplication::applicationName();
    return QStringLiteral("%1/%2/%2.conf").arg(*config, name);
}

// The file of the store: the one given, else the per-user one.
std::optional<QString> StoreFile(const QString& settingsFile) {
    return settingsFile.isEmpty() ? UserSettingsFile() : std::optional(settingsFile);
}

// A store holds a few lines; one far larger was not written by this program, and reading it
// whole on the window's thread would hold the window up for seconds. It is neither read nor
// rewritten.
constexpr qint64 mostStoreBytes = qint64{1} << 20;
bool TooLarge(const QString& file) {
    const QFileInfo info(file);
    if (info.size() > mostStoreBytes)
        return true;
    if (info.size() > 0 || !info.isFile())
        return false;
    // A size of 0 says nothing for the kernel's virtual files (/proc/self/pagemap reads as
    // hundreds of GiB): such a one is measured by reading up to just past the limit, in parts
    // such files take (a read that fails leaves it unmeasured, and unread).
    QFile store(file);
    if (!store.open(QIODevice::ReadOnly))
        return false;
    qint64 read = 0;
    while (read <= mostStoreBytes) {
        const QByteArray part = store.read(qint64{64} << 10);
        if (store.error() != QFileDevice::NoError)
            return true;
        if (part.isEmpty())
            break;
        read += part.size();
    }
    return read > mostStoreBytes;
}

// Only a regular file is a store: opening a pipe would wait for a writer for ever, and a device
// such as /dev/zero has no end to read to.
bool NotRegular(const QFileInfo& info) {
    return info.exists() && !info.isFile();
}

// The store to read values from, when there is one that can be read.
std::optional<QString> StoreToRead(const QString& settingsFile) {
    std::optional<QString> file = StoreFile(settingsFile);
    if (file && (TooLarge(*file) || NotRegular(QFileInfo(*file))))
        return std::nullopt;
    return file;
}

// The file a store's name stands for: a link is followed to the file it names, there or not,
// so that writing it keeps the link.
QString LinkedFile(QString file) {
    // As many links as the system follows in one path.
    for (int links = 0; links < 40 && QFileInfo(file).isSymLink(); ++links)
        file = QFileInfo(file).symLinkTarget();
    return file;
}

// The store's text is changed and read line by line where QSettings would lose what a user wrote:
// it rewrites every value it parsed, and it parses a value such as "/opt/my editor/ed" %f into
// /opt/my editor/ed%f. Lines are `[group]`, `key=value` or anything else; a key counts in the
// group above it, and the last of a key's lines is its value.
struct StoreLine {
    qsizetype start = 0; // of the line; its end is at the next line's start
    qsizetype end = 0;   // the start of the next line
};

// Lines end as in the block files.
std::vector<StoreLine> LinesOf(const QByteArray& text) {
    std::vector<StoreLine> lines;
    LineEndScanner scanner({text.constData(), static_cast<std::size_t>(text.size())});
    for (std::size_t start = 0; scanner.Next(); start = scanner.Position())
        lines.push_back(
            {static_cast<qsizetype>(start), static_cast<qsizetype>(scanner.Position())});
    return lines;
}

// The line end a line has (none for a last line without one).
QByteArray LineEndOf(const QByteArray& text, const StoreLine& line) {
    const std::size_t length = TerminatorLength(
        {text.constData() + line.start, static_cast<std::size_t>(line.end - line.start)});
    return text.mid(line.end - static_cast<qsizetype>(length), static_cast<qsizetype>(length));
}

// A line's text without its line end, and without the byte order mark before the first.
QByteArray TextOf(const QByteArray& text, const StoreLine& line) {
    QByteArray bytes = text.mid(line.start, line.end - line.start);
    while (!bytes.isEmpty() && IsLineBreak(bytes.back()))
        bytes.chop(1);
    if (line.start == 0 && bytes.startsWith(QByteArray(utf8Bom.data(), utf8Bom.size())))
        bytes.remove(0, static_cast<qsizetype>(utf8Bom.size()));
    return bytes;
}

// The group a `[group]` line opens (a comment may follow it), or nothing for any other line.
std::optional<QByteArray> GroupOf(const QByteArray& line) {
    const QByteArray trimmed = line.trimmed();
    const qsizetype close = trimmed.indexOf(']');
    if (!trimmed.startsWith('[') || close < 0)
        return std::nullopt;
    const QByteArray rest = trimmed.mid(close + 1).trimmed();
    if (!rest.isEmpty() && !rest.startsWith(';') && !rest.startsWith('#'))
        return std::nullopt;
    return trimmed.mid(1, close - 1);
}

QByteArray GroupOfKey(const QString& key) {
    return key.section(QLatin1Char('/'), 0, 0).toUtf8();
}

// Calls onLine(line, bytes, opens) for each line in the sections of `group`, each `[group]` line
// (`opens`) included.
template <typename OnLine>
void ForEachLineOf(const QByteArray& text, const QByteArray& group, OnLine onLine) {
    QByteArray current;
    for (const StoreLine& line : LinesOf(text)) {
        const QByteArray bytes = TextOf(text, line);
        const std::optional<QByteArray> opened = GroupOf(bytes);
        if (opened)
            current = *opened;
        if (current == group)
            onLine(line, bytes, opened.has_value());
    }
}

// The lines of `key` ("group/key") in the store's text, in order.
std::vector<StoreLine> KeyLines(const QByteArray& text, const QString& key) {
    const QByteArray name = key.section(QLatin1Char('/'), 1).toUtf8();
    std::vector<StoreLine> found;
    ForEachLineOf(
        text, GroupOfKey(key), [&](const StoreLine& line, const QByteArray& bytes, bool opens) {
            if (!opens && bytes.contains('=') && bytes.left(bytes.indexOf('=')).trimmed() == name)
                found.push_back(line);
        });
    return found;
}

// The value of `key` as written, spaces around it taken off; nothing when it is not there.
std::optional<QByteArray> RawValue(const QByteArray& text, const QString& key) {
    const std::vector<StoreLine> lines = KeyLines(text, key);
    if (lines.empty())
        return std::nullopt;
    const QByteArray line = TextOf(text, lines.back());
    return line.mid(line.indexOf('=') + 1).trimmed();
}

// The store's text with `line` (its own key=value line, without a line end) as the one line of
// its key: in place of the first line of the key, else at the end of its group, else in a new
// group at the end. Every other byte stays as it is.
QByteArray WithKeyLine(QByteArray text, const QString& key, const QByteArray& line) {
    const QByteArray lineEnd = text.contains("\r\n") ? "\r\n" : text.contains('\r') ? "\r" : "\n";
    const std::vector<StoreLine> lines = KeyLines(text, key);
    for (auto old = lines.rbegin(); old != lines.rend(); ++old) {
        const bool first = old == std::prev(lines.rend());
        // The line keeps its own line end, and the last line of the file none if it had none.
        const QByteArray replaced = line + LineEndOf(text, *old);
        text.replace(old->start, old->end - old->start, first ? replaced : QByteArray());
    }
    if (!lines.empty())
        return text;
    const QByteArray group = GroupOfKey(key);
    // After the group's last line that holds something: a blank line before the next group stays.
    std::optional<qsizetype> at;
    ForEachLineOf(text, group, [&](const StoreLine& stored, const QByteArray& bytes, bool) {
        if (!bytes.trimmed().isEmpty())
            at = stored.end;
    });
    // The file's last line gets a line end only when the new line is to follow it.
    if ((!at || *at == text.size()) && !text.isEmpty() && !IsLineBreak(text.back())) {
        text += lineEnd;
        if (at)
            at = text.size();
    }
    if (!at)
        return text + "[" + group + "]" + lineEnd + line + lineEnd;
    return text.insert(*at, line + lineEnd);
}

// The line QSettings writes for `key` set to `value`, so that it reads it back as it was.
std::optional<QByteArray> KeyLineFor(const QString& key, const QVariant& value) {
    QTemporaryFile scratch;
    if (!scratch.open())
        return std::nullopt;
    scratch.close();
    {
        QSettings store(scratch.fileName(), QSettings::IniFormat);
        store.setValue(key, value);
        store.sync();
        if (store.status() != QSettings::NoError)
            return std::nullopt;
    }
    QFile written(scratch.fileName());
    if (!written.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = written.readAll();
    const std::vector<StoreLine> lines = KeyLines(text, key);
    if (lines.empty())
        return std::nullopt;
    return TextOf(text, lines.front());
}

// Why a folder could not be made, where it can be told: a file stands where a folder must be.
QString WhyNoFolder(const QString& folder) {
    for (QString at = folder; !at.isEmpty() && at != QStringLiteral("/");
         at = QFileInfo(at).path()) {
        const QFileInfo step(at);
        if (step.exists() && !step.isDir())
            return QStringLiteral(": %1 is a file, not a folder").arg(at);
    }
    return {};
}

// The store's bytes; empty when it cannot be read.
QByteArray ReadStore(const QString& file) {
    QFile store(file);
    return store.open(QIODevice::ReadOnly) ? store.readAll() : QByteArray();
}

// The reasons below hold paths as the text TextFromPath made of them; a failure holds their bytes.
Failure NotStored(const QString& reason) {
    return Failure{PathFromText(reason)};
}

// A store's bytes and permissions as they are before a change; none yet for a store not there.
struct StoreText {
    QByteArray text;
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    // Of a store that is there; -1 leaves the copy's own.
    uid_t owner = static_cast<uid_t>(-1);
    gid_t group = static_cast<gid_t>(-1);
};

// The store at `info` as it is now, or why it is left as it is; `shown` is its name as the user
// gave it.
Result<StoreText> ReadToChange(const QFileInfo& info, const QString& shown) {
    StoreText now;
    if (!info.exists())
        return now;
    if (info.isDir())
        return NotStored(QStringLiteral("cannot read %1: it is a folder, not a file").arg(shown));
    if (NotRegular(info))
        return NotStored(
            QStringLiteral("%1 is not a regular file; it was left as it is").arg(shown));
    QFile original(info.filePath());
    if (!original.open(QIODevice::ReadOnly))
        return NotStored(QStringLiteral("cannot read %1: %2").arg(shown, original.errorString()));
    now.text = original.readAll();
    if (original.error() != QFileDevice::NoError)
        return NotStored(QStringLiteral("cannot read %1").arg(shown));
    now.permissions = original.permissions();
    if (struct stat held{}; fstat(original.handle(), &held) == 0) {
        now.owner = held.st_uid;
        now.group = held.st_gid;
    }
    // Its folder would let a copy take its place, but the user protected it from writes: told
    // by its mode, as a user who may write any file (root) could still write it.
    constexpr QFileDevice::Permissions writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (!info.isWritable() || !(now.permissions & writeBits))
        return NotStored(QStringLiteral("%1 is read-only; it was left as it is").arg(shown));
    return now;
}

// The file to write for the store `file`: a store that is a link to another file stays one, and
// the file it names is written, made when it is not there yet (but not its folder).
Result<QString> FileToWrite(const QString& file) {
    QString store = LinkedFile(file);
    const QFileInfo info(store);
    if (info.isSymLink())
        return NotStored(QStringLiteral("%1 is a loop of links; it was left as it is").arg(file));
    if (store != file && !info.dir().exists())
        return NotStored(
            QStringLiteral("%1 is a link to %2, whose folder is not there; it was left as it is")
                .arg(file, store));
    return store;
}

// Why the copy written for the store `shown` does not read back with `key` set to `value`, if it
// does not: a store that is no settings file at all is left as it is.
std::optional<Failure> ReadBackProblem(const QString& copy, const QString& key,
                                       const QVariant& value, const QString& shown) {
    // (A store opened under its own name could answer from Qt's cache of files read.)
    const QSettings written(copy, QSettings::IniFormat);
    if (written.status() == QSettings::FormatError)
        return NotStored(QStringLiteral("%1 is not a settings file (a line in it is not "
                                        "[group], key=value or a comment); it was left as it is")
                             .arg(shown));
    if (written.value(key) != value)
        return NotStored(QStringLiteral("cannot store the value in %1").arg(shown));
    return std::nullopt;
}

} // namespace

RememberedFile::RememberedFile(QString settingsFile) : m_settingsFile(std::move(settingsFile)) {}

QString RememberedFile::Read() const {
    return ReadPath(lastFileKey);
}

Result<void> RememberedFile::Write(const QString& path) const {
    return WritePath(lastFileKey, path);
}

QString RememberedFile::Folder() const {
    return ReadPath(folderKey);
}

Result<void> RememberedFile::WriteFolder(const QString& folder) const {
    return WritePath(folderKey, folder);
}

QString RememberedFile::ReadPath(const QString& key) const {
    const std::optional<QString> file = StoreToRead(m_settingsFile);
    if (!file)
        return {};
    // A path written by hand with bytes that are not UTF-8 is meant as those bytes; QSettings
    // would make each of them a replacement character.
    const std::optional<QByteArray> raw = RawValue(ReadStore(*file), key);
    if (raw && !IsValidUtf8(std::string_view(raw->constData(), raw->size())))
        return TextFromPath(raw->toStdString());
    const QVariant value = QSettings(*file, QSettings::IniFormat).value(key);
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return TextFromPath(value.toByteArray().toStdString());
    case QMetaType::QStringList:
        // A hand-edited value with bare commas reads back as a list, each item without its
        // spaces; it was one path all the same, taken as written up to a comment's ';'.
        if (raw && !raw->contains('"') && !raw->contains('\\')) {
            const qsizetype comment = raw->indexOf(';');
            return QString::fromUtf8((comment < 0 ? *raw : raw->left(comment)).trimmed());
        }
        return value.toStringList().join(QLatin1Char(','));
    default:
        return value.toString();
    }
}

Result<void> RememberedFile::WritePath(const QString& key, const QString& path) const {
    const std::optional<QString> file = StoreFile(m_settingsFile);
    if (!file)
        return NotStored(QStringLiteral(
            "neither XDG_CONFIG_HOME nor HOME names a folder, so there is no place for settings"));
    const Result<QString> target = FileToWrite(*file);
    if (!target.ok())
        return target.failure();
    const QString& store = target.value();
    const QFileInfo info(store);
    if (TooLarge(store))
        return NotStored(
            QStringLiteral(
                "%1 is larger than a settings file can be (%2 bytes); it was left as it is")
                .arg(*file)
                .arg(info.size()));
    if (!QDir().mkpath(info.absolutePath()))
        return NotStored(QStringLiteral("cannot make the folder %1%2")
                             .arg(info.absolutePath(), WhyNoFolder(info.absolutePath())));
    // The settings file is UTF-8 text: a path that is not UTF-8 is kept as its bytes.
    const std::string bytes = PathFromText(path);
    const QVariant value = QString::fromStdString(bytes) == path
                               ? QVariant(path)
                               : QVariant(QByteArray::fromStdString(bytes));
    const std::optional<QByteArray> line = KeyLineFor(key, value);
    if (!line)
        return NotStored(QStringLiteral("cannot write a settings file for %1").arg(*file));
    // Only the key's line changes, in a copy that replaces the store once complete and read back:
    // a store that cannot be read is left as it is, and so is every other line of it.
    const Result<StoreText> now = ReadToChange(info, *file);
    if (!now.ok())
        return now.failure();
    QTemporaryFile copy(store + QStringLiteral(".XXXXXX"));
    const QByteArray changed = WithKeyLine(now.value().text, key, *line);
    if (changed.size() > mostStoreBytes)
        return NotStored(QStringLiteral("%1 would grow larger than a settings file can be (%2 "
                                        "bytes) and not be read again; it was left as it is")
                             .arg(*file)
                             .arg(changed.size()));
    if (!copy.open() || copy.write(changed) != changed.size() || !copy.flush())
        return NotStored(QStringLiteral("cannot write in %1").arg(info.absolutePath()));
    // The user's store stays theirs when someone else writes it (root with the user's HOME, as
    // sudo may run us), or their own runs could no longer read it. Only root may give a file
    // away: anyone else's copy stays their own, as the folder lets them replace the store.
    if (fchown(copy.handle(), now.value().owner, now.value().group) != 0 && errno != EPERM)
        return NotStored(QStringLiteral("cannot write in %1").arg(info.absolutePath()));
    copy.setPermissions(now.value().permissions);
    copy.close();
    if (std::optional<Failure> unread = ReadBackProblem(copy.fileName(), key, value, *file))
        return std::move(*unread);
    if (rename(PathFromText(copy.fileName()).c_str(), PathFromText(store).c_str()) != 0)
        return NotStored(QStringLiteral("cannot replace %1").arg(*file));
    copy.setAutoRemove(false);
    return {};
}

QString RememberedFile::EditorCommand() const {
    const std::optional<QString> file = StoreToRead(m_settingsFile);
    if (!file)
        return {};
    // As written: the command's own quotes keep spaces in one argument.
    QByteArray command =
        RawValue(ReadStore(*file), QStringLiteral("options/editor")).value_or(QByteArray());
    // A command with a comma once had to be quoted whole; such a value still means the command.
    if (command.size() > 2 && command.startsWith('"') && command.endsWith('"') &&
        command.count('"') == 2 && command.contains(','))
        command = command.mid(1, command.size() - 2).trimmed();
    return QString::fromUtf8(command);
}

bool RememberedFile::AutoReload() const {
    const std::optional<QString> file = StoreToRead(m_settingsFile);
    if (!file)
        return true;
    const QString value = QSettings(*file, QSettings::IniFormat)
                              .value(QStringLiteral("options/autoreload"))
                              .toString()
                              .trimmed()
                              .toLower();
    return !(value == u"false" || value == u"0" || value == u"no" || value == u"off");
}

std::optional<QString> FolderToShow(const QString& remembered) {
    const qsizetype slash = remembered.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return std::nullopt;
    const QString folder = remembered.left(slash + 1);
    QString shown = QDir::cleanPath(folder.startsWith(QLatin1Char('/'))
                                        ? folder
                                        : CurrentFolderText() + QLatin1Char('/') + folder);
    for (;;) {
        if (CanList(PathFromText(shown)))
            return shown;
        const QString up = QDir::cleanPath(shown + QStringLiteral("/.."));
        if (up == shown)
            return std::nullopt;
        shown = up;
    }
}

} // namespace ini
