#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace ini {

struct FileError {
    QString message;
    bool missing = false; // nothing is at the path yet, so saving there loses nothing
};

// Files above this are refused rather than read: the editor keeps several copies in memory.
inline constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

// The whole content of a regular file of at most maxBytes.
std::variant<QByteArray, FileError> ReadFileBytes(const QString& path,
                                                  qint64 maxBytes = kMaxFileBytes);

// Replaces the file's content in one step: the old content stays whole if writing fails.
std::optional<FileError> WriteFileBytes(const QString& path, const QByteArray& bytes);

} // namespace ini
