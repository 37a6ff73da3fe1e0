#include "ui/remembered_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <memory>

namespace ini {

namespace {

const QString key = QStringLiteral("options/lastfile");

std::unique_ptr<QSettings> OpenStore(const QString& settingsFile) {
    if (!settingsFile.isEmpty())
        return std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
    // The native format keeps it in <config>/<name>/<name>.conf; an empty organisation would put
    // it under "Unknown Organization".
    const QString name = QCoreApplication::applicationName();
    return std::make_unique<QSettings>(name, name);
}

} // namespace

RememberedFile::RememberedFile(QString settingsFile) : m_settingsFile(std::move(settingsFile)) {}

QString RememberedFile::Read() const {
    const auto store = OpenStore(m_settingsFile);
    const QVariant value = store->value(key);
    // A hand-edited value with bare commas reads back as a list; it was one path all the same.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

std::optional<QString> RememberedFile::Write(const QString& path) const {
    const auto store = OpenStore(m_settingsFile);
    store->setValue(key, path);
    store->sync();
    switch (store->status()) {
    case QSettings::NoError:
        return std::nullopt;
    case QSettings::AccessError:
        return QStringLiteral("cannot write %1").arg(store->fileName());
    case QSettings::FormatError:
        return QStringLiteral("%1 is not a settings file").arg(store->fileName());
    }
    return QStringLiteral("cannot write %1").arg(store->fileName());
}

QString RememberedFile::EditorCommand() const {
    const QVariant value = OpenStore(m_settingsFile)->value(QStringLiteral("options/editor"));
    // "code -g %f:%l,x" written without quotes reads back as a list; it was one command.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString().trimmed();
}

std::optional<QString> FolderToShow(const QString& remembered) {
    const qsizetype slash = remembered.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return std::nullopt;
    QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(remembered.left(slash + 1)));
    for (;;) {
        const QFileInfo info(folder);
        if (info.isDir())
            return folder;
        const QString up = QDir::cleanPath(folder + QStringLiteral("/.."));
        if (up == folder)
            return std::nullopt;
        folder = up;
    }
}

} // namespace ini
