#include "notepad/text_file.h"

#include "notepad/failure_text.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ini {

namespace {

QString Reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

Failure WriteError(const QString& path, int error, const QString& outcome) {
    return TextFailure(QStringLiteral("Cannot write %1: %2; %3").arg(path, Reason(error), outcome));
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
QString SaveTarget(const QString& path) {
    const QFileInfo info(path);
    return info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
}

// Creates a file beside target that nobody else uses; -1 with errno set when the folder
// refuses.
int CreateSibling(const QString& target, mode_t mode, QByteArray& name) {
    const QFileInfo info(target);
    const QByteArray stem = QFile::encodeName(
        info.dir().filePath(QStringLiteral(".%1.save-%2-").arg(info.fileName()).arg(::getpid())));
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem + QByteArray::number(attempt);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

QString MiB(qint64 bytes) {
    return QString::number(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1);
}

Result<QByteArray> ReadFileBytes(const QString& path, qint64 maxBytes) {
    const QFileInfo info(path);
    if (!info.exists())
        return TextFailure(QStringLiteral("%1 does not exist").arg(path), FailureKind::NotFound);
    if (info.isDir())
        return TextFailure(QStringLiteral("%1 is a folder, not a file").arg(path));
    // Devices and pipes could block or never end.
    if (!info.isFile())
        return TextFailure(QStringLiteral("%1 is not a regular file").arg(path));
    const auto tooLarge = [&](qint64 size) {
        return TextFailure(
            QStringLiteral("%1 is too large (%2 MiB; files up to %3 MiB can be read)")
                .arg(path, MiB(size), MiB(maxBytes)),
            FailureKind::TooLarge);
    };
    if (info.size() > maxBytes)
        return tooLarge(info.size());

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TextFailure(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    // One byte more than allowed tells a file that grew since it was measured.
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return TextFailure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    if (bytes.size() > maxBytes)
        return tooLarge(bytes.size());
    return bytes;
}

Result<void> WriteFileBytes(const QString& path, const QByteArray& bytes) {
    const QString target = SaveTarget(path);
    struct stat old {};
    const bool exists = ::stat(QFile::encodeName(target).constData(), &old) == 0;
    // A new file gets the usual permissions less the umask; a replacement keeps the old ones.
    const mode_t mode = exists ? (old.st_mode & 07777) : 0666;

    QByteArray sibling;
    Descriptor fd(CreateSibling(target, mode, sibling));
    if (fd.Get() < 0) {
        const int error = errno;
        // A folder we may not create files in can still hold a file we may write.
        if (exists && (error == EACCES || error == EPERM))
            return OverwriteFileInPlace(target, bytes);
        return TextFailure(
            QStringLiteral("Cannot write %1: no new file can be made in its folder "
                           "(%2); %3")
                .arg(path, Reason(error), exists ? kUnchanged : QString("nothing was written")));
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
    if (::rename(sibling.constData(), QFile::encodeName(target).constData()) != 0)
        return fail(errno);
    return {};
}

Result<void> OverwriteFileInPlace(const QString& path, const QByteArray& bytes) {
    Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC));
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
            return TextFailure(QStringLiteral("Cannot write %1: %2 (no space could be set aside "
                                              "for %3 bytes); %4")
                                   .arg(path, Reason(error))
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
    return WriteError(path, error,
                      restored
                          ? QStringLiteral("the old content was written back")
                          : QStringLiteral("the file could not be restored and may be damaged"));
}

DiskState DiskState::Of(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    DiskState state;
    state.m_exists = info.exists();
    state.m_size = info.size();
    state.m_modified = info.lastModified();
    state.m_hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return state;
}

bool DiskState::ChangedAt(const QString& path) const {
    const QFileInfo info(path);
    if (info.exists() != m_exists)
        return true;
    if (!m_exists)
        return false;
    if (info.size() != m_size || info.lastModified() != m_modified)
        return true;
    const Result<QByteArray> now = ReadFileBytes(path, m_size);
    return !now.ok() || QCryptographicHash::hash(now.value(), QCryptographicHash::Sha256) != m_hash;
}

} // namespace ini
