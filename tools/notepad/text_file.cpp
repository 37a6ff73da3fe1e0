#include "notepad/text_file.h"

#include "notepad/failure_text.h"
#include "notepad/path_text.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace ini {

namespace {

QString Reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

Failure WriteError(const QString& path, int error, const QString& outcome) {
    return TextFailure(
        QStringLiteral("Cannot write %1: %2; %3").arg(ShownPath(path), Reason(error), outcome));
}

const QString kUnchanged = QStringLiteral("the file is unchanged");

// Closes the descriptor when the scope ends, whatever way it ends.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int Get() const noexcept { return m_fd; }
    // Closes now and gives the error close reports (0 for none); a write the kernel deferred
    // can fail only here.
    int Close() noexcept {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Writes all bytes at offset; 0 or the error that stopped it.
int WriteAll(int fd, const char* data, qint64 size, off_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, static_cast<std::size_t>(size), offset);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= written;
        offset += written;
    }
    return 0;
}

int ReadAll(int fd, QByteArray& into) {
    qint64 done = 0;
    while (done < into.size()) {
        const ssize_t got =
            ::pread(fd, into.data() + done, static_cast<std::size_t>(into.size() - done), done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        done += got;
    }
    into.resize(done);
    return 0;
}

// The path a save must replace: a symbolic link stays a link to the file we write.
QByteArray SaveTarget(const QByteArray& path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved) // a dangling link is replaced by the file
        return path;
    QByteArray target(resolved);
    std::free(resolved);
    return target;
}

// Creates a file beside target that nobody else uses; -1 with errno set when the folder
// refuses.
int CreateSibling(const QByteArray& target, mode_t mode, QByteArray& name) {
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray stem = target.left(slash + 1) + '.' + target.mid(slash + 1) + ".save-" +
                            QByteArray::number(::getpid()) + '-';
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem + QByteArray::number(attempt);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

qint64 ModifiedNs(const struct stat& info) {
    return qint64{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
}

// A file that a failed save left as it was keeps the times it had too: a new one would look like
// another program's change to whoever watches it, this editor's next save included.
void KeepTimes(int fd, const struct stat& old) {
    const timespec times[2] = {old.st_atim, old.st_mtim};
    [[maybe_unused]] const int kept = ::futimens(fd, times);
}

} // namespace

QString MiB(qint64 bytes) {
    return QString::number(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1);
}

Result<QByteArray> ReadFileBytes(const QString& path, qint64 maxBytes) {
    const QString shown = ShownPath(path);
    const QByteArray name = PathToBytes(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return TextFailure(QStringLiteral("%1 does not exist").arg(shown),
                               FailureKind::NotFound);
        return TextFailure(QStringLiteral("Cannot open %1: %2").arg(shown, Reason(error)));
    }
    if (S_ISDIR(info.st_mode))
        return TextFailure(QStringLiteral("%1 is a folder, not a file").arg(shown));
    // Devices and pipes could block or never end.
    const auto irregular = [&] {
        return TextFailure(QStringLiteral("%1 is not a regular file").arg(shown));
    };
    if (!S_ISREG(info.st_mode))
        return irregular();
    const auto tooLarge = [&](qint64 size) {
        return TextFailure(
            QStringLiteral("%1 is too large (%2 MiB; files up to %3 MiB can be read)")
                .arg(shown, MiB(size), MiB(maxBytes)),
            FailureKind::TooLarge);
    };
    if (info.st_size > maxBytes)
        return tooLarge(info.st_size);

    // Without blocking, should a pipe have taken the file's place since.
    Descriptor fd(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0)
        return TextFailure(QStringLiteral("Cannot open %1: %2").arg(shown, Reason(errno)));
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return irregular();
    // To the end, should the file have grown since it was measured; one byte more than allowed
    // tells that it grew too large.
    QByteArray bytes;
    for (qint64 capacity = std::min<qint64>(info.st_size, maxBytes) + 1;;
         capacity = std::min(2 * capacity, maxBytes + 1)) {
        bytes.resize(capacity);
        if (const int error = ReadAll(fd.Get(), bytes))
            return TextFailure(QStringLiteral("Cannot read %1: %2").arg(shown, Reason(error)));
        if (bytes.size() < capacity || capacity > maxBytes)
            break;
    }
    if (bytes.size() > maxBytes)
        return tooLarge(bytes.size());
    return bytes;
}

std::optional<qint64> RegularFileSize(const QString& path) {
    struct stat info {};
    if (::stat(PathToBytes(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return info.st_size;
}

Result<void> WriteFileBytes(const QString& path, const QByteArray& bytes, mode_t newFileMode) {
    const QByteArray target = SaveTarget(PathToBytes(path));
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    // A new file gets the permissions asked for less the umask; a replacement keeps the old ones.
    const mode_t mode = exists ? (old.st_mode & 07777) : newFileMode;
    // Its folder would let a new file take its place, but its owner protected it from writes.
    if (exists && ::access(target.constData(), W_OK) != 0 && errno == EACCES)
        return TextFailure(QStringLiteral("Cannot write %1: it is read-only; %2 (Save As writes "
                                          "the text elsewhere)")
                               .arg(ShownPath(path), kUnchanged));
    // A file with other names is written in place, so that every name sees the text.
    if (exists && S_ISREG(old.st_mode) && old.st_nlink > 1)
        return OverwriteFileInPlace(PathFromBytes(target), bytes);

    QByteArray sibling;
    Descriptor fd(CreateSibling(target, mode, sibling));
    if (fd.Get() < 0) {
        const int error = errno;
        // A folder we may not create files in can still hold a file we may write.
        if (exists && (error == EACCES || error == EPERM))
            return OverwriteFileInPlace(PathFromBytes(target), bytes);
        return TextFailure(QStringLiteral("Cannot write %1: no new file can be made in its folder "
                                          "(%2); %3")
                               .arg(ShownPath(path), Reason(error),
                                    exists ? kUnchanged : QString("nothing was written")));
    }
    const auto fail = [&](int error) {
        ::unlink(sibling.constData());
        return WriteError(path, error, exists ? kUnchanged : QStringLiteral("nothing was written"));
    };
    if (const int error = WriteAll(fd.Get(), bytes.constData(), bytes.size(), 0))
        return fail(error);
    if (exists) {
        if (::fchmod(fd.Get(), mode) != 0)
            return fail(errno);
        // Only root may give a file away; anyone else's replacement becomes theirs, as with
        // every editor that saves through a new file.
        [[maybe_unused]] const int owned = ::fchown(fd.Get(), old.st_uid, old.st_gid);
    }
    if (::fsync(fd.Get()) != 0)
        return fail(errno);
    if (const int error = fd.Close())
        return fail(error);
    if (::rename(sibling.constData(), target.constData()) != 0)
        return fail(errno);
    return {};
}

Result<void> OverwriteFileInPlace(const QString& path, const QByteArray& bytes) {
    Descriptor fd(::open(PathToBytes(path).constData(), O_RDWR | O_CLOEXEC));
    if (fd.Get() < 0)
        return WriteError(path, errno, kUnchanged);
    struct stat old {};
    if (::fstat(fd.Get(), &old) != 0)
        return WriteError(path, errno, kUnchanged);
    // Kept to write back should the overwrite fail after all.
    QByteArray previous(static_cast<qsizetype>(old.st_size), Qt::Uninitialized);
    if (const int error = ReadAll(fd.Get(), previous))
        return WriteError(path, error, kUnchanged);

    if (!bytes.isEmpty()) {
        if (const int error = ::posix_fallocate(fd.Get(), 0, bytes.size())) {
            // A reservation that failed half way may have grown the file by zeros only.
            if (::ftruncate(fd.Get(), old.st_size) != 0)
                return WriteError(path, error, QStringLiteral("zeros may follow the old content"));
            KeepTimes(fd.Get(), old);
            return TextFailure(QStringLiteral("Cannot write %1: %2 (no space could be set aside "
                                              "for %3 bytes); %4")
                                   .arg(ShownPath(path), Reason(error))
                                   .arg(bytes.size())
                                   .arg(kUnchanged));
        }
    }
    int error = WriteAll(fd.Get(), bytes.constData(), bytes.size(), 0);
    if (!error && ::ftruncate(fd.Get(), bytes.size()) != 0)
        error = errno;
    if (!error && ::fsync(fd.Get()) != 0)
        error = errno;
    if (!error)
        error = fd.Close();
    if (!error)
        return {};

    const bool restored = fd.Get() >= 0 &&
                          WriteAll(fd.Get(), previous.constData(), previous.size(), 0) == 0 &&
                          ::ftruncate(fd.Get(), previous.size()) == 0 && ::fsync(fd.Get()) == 0;
    if (restored)
        KeepTimes(fd.Get(), old);
    return WriteError(path, error,
                      restored
                          ? QStringLiteral("the old content was written back")
                          : QStringLiteral("the file could not be restored and may be damaged"));
}

bool PathExists(const QString& path) {
    struct stat info {};
    return ::lstat(PathToBytes(path).constData(), &info) == 0;
}

bool IsFolder(const QString& path) {
    struct stat info {};
    return ::stat(PathToBytes(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<FolderFile> FilesIn(const QString& folder) {
    std::vector<FolderFile> files;
    const QByteArray folderBytes = PathToBytes(folder);
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folderBytes.constData()),
                                                      ::closedir);
    if (!listing)
        return files;
    while (const dirent* entry = ::readdir(listing.get())) {
        struct stat info {};
        if (::fstatat(::dirfd(listing.get()), entry->d_name, &info, 0) == 0 &&
            S_ISREG(info.st_mode))
            files.push_back({PathFromBytes(entry->d_name), ModifiedNs(info)});
    }
    return files;
}

DiskState DiskState::Of(const QString& path, const QByteArray& bytes) {
    struct stat info {};
    DiskState state;
    state.m_exists = ::stat(PathToBytes(path).constData(), &info) == 0;
    state.m_size = state.m_exists ? info.st_size : 0;
    state.m_modifiedNs = state.m_exists ? ModifiedNs(info) : 0;
    state.m_hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return state;
}

bool DiskState::Held(const QByteArray& bytes) const {
    return m_exists && bytes.size() == m_size &&
           QCryptographicHash::hash(bytes, QCryptographicHash::Sha256) == m_hash;
}

bool DiskState::ChangedAt(const QString& path) const {
    struct stat info {};
    const bool exists = ::stat(PathToBytes(path).constData(), &info) == 0;
    if (exists != m_exists)
        return true;
    if (!m_exists)
        return false;
    if (info.st_size != m_size || ModifiedNs(info) != m_modifiedNs)
        return true;
    const Result<QByteArray> now = ReadFileBytes(path, m_size);
    return !now.ok() || QCryptographicHash::hash(now.value(), QCryptographicHash::Sha256) != m_hash;
}

} // namespace ini
