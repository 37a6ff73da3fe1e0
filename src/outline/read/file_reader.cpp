#include "outline/read/file_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ini {

namespace {

std::int64_t ModificationNs(const struct stat& info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

std::string ChangedReason(std::uint64_t before, std::uint64_t after) {
    if (before == after)
        return "it changed while it was read; load it again once it is saved";
    return "it changed while it was read (" + std::to_string(before) + " bytes when opened, " +
           std::to_string(after) + " bytes now); load it again once it is saved";
}

} // namespace

Failure LoadFailure(const std::string& path, Failure why) {
    return WithContext("Cannot load '" + path + "'", std::move(why));
}

Result<FileReader> FileReader::Open(const std::string& path) {
    if (path.empty())
        return LoadFailure(path, Failure{"no file name given"});
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        return LoadFailure(path,
                           Failure{std::strerror(error),
                                   error == ENOENT ? FailureKind::NotFound : FailureKind::Other});
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return LoadFailure(path, Failure{std::strerror(error)});
    }
    const char* refusal = nullptr;
    if (S_ISDIR(info.st_mode))
        refusal = "it is a folder, not a file";
    else if (!S_ISREG(info.st_mode))
        refusal = "it is not a regular file (a device, pipe or socket)";
    if (refusal != nullptr) {
        ::close(fd);
        return LoadFailure(path, Failure{refusal});
    }
    // Reads of a regular file never block; the flag only mattered for the open.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return FileReader(path, fd, static_cast<std::uint64_t>(info.st_size), ModificationNs(info));
}

FileReader::FileReader(FileReader&& other) noexcept
    : m_path(std::move(other.m_path)), m_fd(other.m_fd), m_size(other.m_size), m_done(other.m_done),
      m_mtimeNs(other.m_mtimeNs) {
    other.m_fd = -1;
}

FileReader::~FileReader() {
    if (m_fd >= 0)
        ::close(m_fd);
}

Failure FileReader::Fail(const std::string& reason, FailureKind kind) const {
    return Fail(Failure{reason, kind});
}

Failure FileReader::Fail(Failure why) const {
    return LoadFailure(m_path, std::move(why));
}

Result<std::size_t> FileReader::Read(char* into, std::size_t max) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(max, Remaining()));
    std::size_t got = 0;
    while (got < wanted) {
        const ssize_t n = ::read(m_fd, into + got, wanted - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(std::strerror(errno));
        }
        if (n == 0) {
            struct stat info {};
            const std::uint64_t now =
                ::fstat(m_fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
            return Fail(ChangedReason(m_size, now));
        }
        got += static_cast<std::size_t>(n);
    }
    m_done += got;
    return got;
}

Result<void> FileReader::CheckUnchanged() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0)
        return Fail(std::strerror(errno));
    const auto now = static_cast<std::uint64_t>(info.st_size);
    if (now != m_size || ModificationNs(info) != m_mtimeNs)
        return Fail(ChangedReason(m_size, now));
    return {};
}

} // namespace ini
