#include "text_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace ini {

namespace {

QString MiB(qint64 bytes) {
    return QString::number(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1);
}

} // namespace

std::variant<QByteArray, FileError> ReadFileBytes(const QString& path, qint64 maxBytes) {
    const QFileInfo info(path);
    if (!info.exists())
        return FileError{QStringLiteral("%1 does not exist").arg(path), true};
    if (info.isDir())
        return FileError{QStringLiteral("%1 is a folder, not a file").arg(path)};
    // Devices and pipes could block or never end.
    if (!info.isFile())
        return FileError{QStringLiteral("%1 is not a regular file").arg(path)};
    const auto tooLarge = [&](qint64 size) {
        return FileError{
            QStringLiteral("%1 is too large (%2 MiB; files up to %3 MiB can be opened)")
                .arg(path, MiB(size), MiB(maxBytes))};
    };
    if (info.size() > maxBytes)
        return tooLarge(info.size());

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileError{QStringLiteral("Cannot open %1: %2").arg(path, file.errorString())};
    // One byte more than allowed tells a file that grew since it was measured.
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return FileError{QStringLiteral("Cannot read %1: %2").arg(path, file.errorString())};
    if (bytes.size() > maxBytes)
        return tooLarge(bytes.size());
    return bytes;
}

std::optional<FileError> WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // A folder we may not create files in can still hold a file we may write.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return FileError{QStringLiteral("Cannot write %1: %2").arg(path, file.errorString())};
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return FileError{QStringLiteral("Cannot write %1: %2").arg(path, reason)};
    }
    if (!file.commit())
        return FileError{QStringLiteral("Cannot write %1: %2").arg(path, file.errorString())};
    return std::nullopt;
}

} // namespace ini
