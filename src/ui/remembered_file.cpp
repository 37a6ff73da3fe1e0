#include "ui/remembered_file.h"

#include "ui/live_folder.h"
#include "ui/path_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>

#include <cstdio>

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
    return QFileInfo(file).size() > mostStoreBytes;
}

// The store to read values from, when there is one that can be read.
std::optional<QString> StoreToRead(const QString& settingsFile) {
    std::optional<QString> file = StoreFile(settingsFile);
    if (file && TooLarge(*file))
        return std::nullopt;
    return file;
}

// The reasons below hold paths as the text TextFromPath made of them; a failure holds their bytes.
Failure NotStored(const QString& reason) {
    return Failure{PathFromText(reason)};
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
    const QVariant value = QSettings(*file, QSettings::IniFormat).value(key);
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return TextFromPath(value.toByteArray().toStdString());
    case QMetaType::QStringList:
        // A hand-edited value with bare commas reads back as a list; it was one path all the same.
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
    // The store is rewritten in a copy that replaces it only when complete: a store that cannot
    // be read is left as it is, and the user's other values are carried over or nothing is.
    // (A store opened under its own name could also answer from Qt's cache of files read.)
    const QFileInfo info(*file);
    if (TooLarge(*file))
        return NotStored(
            QStringLiteral(
                "%1 is larger than a settings file can be (%2 bytes); it was left as it is")
                .arg(*file)
                .arg(info.size()));
    if (!QDir().mkpath(info.absolutePath()))
        return NotStored(QStringLiteral("cannot make the folder %1").arg(info.absolutePath()));
    QTemporaryFile copy(*file + QStringLiteral(".XXXXXX"));
    if (!copy.open())
        return NotStored(QStringLiteral("cannot write in %1").arg(info.absolutePath()));
    if (info.exists()) {
        QFile original(*file);
        if (!original.open(QIODevice::ReadOnly) ||
            copy.write(original.readAll()) != original.size())
            return NotStored(QStringLiteral("cannot read %1").arg(*file));
        copy.setPermissions(original.permissions());
    }
    copy.close();
    {
        QSettings store(copy.fileName(), QSettings::IniFormat);
        if (store.status() == QSettings::FormatError)
            return NotStored(
                QStringLiteral("%1 is not a settings file; it was left as it is").arg(*file));
        // The settings file is UTF-8 text: a path that is not UTF-8 is kept as its bytes.
        const std::string bytes = PathFromText(path);
        if (QString::fromStdString(bytes) == path)
            store.setValue(key, path);
        else
            store.setValue(key, QByteArray::fromStdString(bytes));
        store.sync();
        if (store.status() != QSettings::NoError)
            return NotStored(QStringLiteral("cannot write %1").arg(copy.fileName()));
    }
    if (rename(PathFromText(copy.fileName()).c_str(), PathFromText(*file).c_str()) != 0)
        return NotStored(QStringLiteral("cannot replace %1").arg(*file));
    return {};
}

QString RememberedFile::EditorCommand() const {
    const std::optional<QString> file = StoreToRead(m_settingsFile);
    if (!file)
        return {};
    const QVariant value =
        QSettings(*file, QSettings::IniFormat).value(QStringLiteral("options/editor"));
    // "code -g %f:%l,x" written without quotes reads back as a list; it was one command.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString().trimmed();
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
