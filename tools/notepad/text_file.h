#pragma once

#include "parse/result.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>
#include <vector>

namespace ini {

// "12.3" for 12.3 MiB.
QString MiB(qint64 bytes);

// Paths are text as path_text.h makes it from the file system's bytes.

// The whole content of a regular file of at most maxBytes. Fails as NotFound when nothing is at
// the path and as TooLarge when the file holds more.
Result<QByteArray> ReadFileBytes(const QString& path, qint64 maxBytes);

// The size of the regular file at path; nothing when no regular file is there.
std::optional<qint64> RegularFileSize(const QString& path);

// Whether anything stands at path, a link that leads nowhere included.
bool PathExists(const QString& path);
// Whether path leads to a folder.
bool IsFolder(const QString& path);

// A regular file of a folder, by its name there.
struct FolderFile {
    QString name;
    qint64 modifiedNs = 0;
};
// The regular files in `folder` (links followed); none when it cannot be listed.
std::vector<FolderFile> FilesIn(const QString& folder);

// Replaces the file's content only once all of it is on disk: it is written to a new file
// beside the old one that then takes its place. Where the folder refuses a new file, the file
// is overwritten in place as OverwriteFileInPlace does. On failure the old bytes are intact and
// the message names the system's reason. A new file gets `newFileMode` less the umask.
Result<void> WriteFileBytes(const QString& path, const QByteArray& bytes,
                            mode_t newFileMode = 0666);

// Overwrites an existing file in place, but only after the space for the new content has been
// reserved, so a full disk or a size limit stops the save before a byte changes. Should a write
// still fail after that (an I/O error), the old content is written back.
Result<void> OverwriteFileInPlace(const QString& path, const QByteArray& bytes);

// What was on disk at a path when the editor last read or wrote it, to notice when another
// program has changed the file since.
class DiskState {
public:
    DiskState() = default;
    // The file at path as it is now, given the bytes it holds (from the caller's read or write).
    static DiskState Of(const QString& path, const QByteArray& bytes);
    // Nothing at the path.
    static DiskState Absent() { return DiskState(); }

    // Whether the file at path differs from this state: it appeared, vanished, or changed in
    // size, time or content. The content is compared too, since two saves within one tick of
    // the file system's clock can leave size and time alike.
    bool ChangedAt(const QString& path) const;
    // Whether the file held exactly `bytes` in this state.
    bool Held(const QByteArray& bytes) const;

private:
    bool m_exists = false;
    qint64 m_size = 0;
    qint64 m_modifiedNs = 0; // the time of the last change, in nanoseconds
    QByteArray m_hash;
};

} // namespace ini
