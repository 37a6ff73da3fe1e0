#include "outline/read/file_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
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

// Why a file of this mode is not read, if it is not.
const char* Refusal(mode_t mode) noexcept {
    if (S_ISDIR(mode))
        return "it is a folder, not a file";
    if (!S_ISREG(mode))
        return "it is not a regular file (a device, pipe or socket)";
    return nullptr;
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
        // A socket cannot be opened at all; it is refused as what it is.
        if (struct stat info{}; error == ENXIO && ::stat(path.c_str(), &info) == 0)
            if (const char* refusal = Refusal(info.st_mode))
                return LoadFailure(path, Failure{refusal});
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
    if (const char* refusal = Refusal(info.st_mode)) {
        ::close(fd);
        return LoadFailure(path, Failure{refusal});
    }
    // The flag only mattered for the open, and it is the one status flag set: cleared in one
    // call, as folders of many small files pay each call per file.
    ::fcntl(fd, F_SETFL, 0);
    // A file read in one go gains nothing from read-ahead advice.
    if (info.st_size > std::int64_t{1} << 20)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    FileReader file(path, fd, static_cast<std::uint64_t>(info.st_size), ModificationNs(info));
    if (info.st_size == 0) {
        if (Result<void> held = file.HoldAll(); !held.ok())
            return held.failure();
    }
    return file;
}

Result<void> FileReader::HoldAll() {
    // Virtual files of text are small; one that is not (/proc/self/pagemap reads as hundreds
    // of GiB) would otherwise be held whole before anything is shown.
    constexpr std::size_t most = std::size_t{16} << 20;
    try {
        for (;;) {
            const std::size_t used = m_held.size();
            m_held.resize(used + (std::size_t{64} << 10));
            const ssize_t n = ::read(m_fd, m_held.data() + used, m_held.size() - used);
            if (n < 0 && errno == EINTR) {
                m_held.resize(used);
                continue;
            }
            if (n < 0)
                return Fail(std::strerror(errno));
            m_held.resize(used + static_cast<std::size_t>(n));
            if (n == 0)
                break;
            if (m_held.size() > most) {
                if (const std::uint64_t now = SizeNow(); now != 0)
                    return Fail(ChangedReason(0, now));
                return Fail("it reads as empty but holds more than 16 MiB", FailureKind::TooLarge);
            }
        }
    } catch (const std::bad_alloc&) {
        return Fail(NotEnoughMemory("read it"));
    }
    m_holds = true;
    m_size = m_held.size();
    return {};
}

FileReader::FileReader(FileReader&& other) noexcept
    : m_path(std::move(other.m_path)), m_fd(other.m_fd), m_size(other.m_size), m_done(other.m_done),
      m_mtimeNs(other.m_mtimeNs), m_holds(other.m_holds), m_held(std::move(other.m_held)) {
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
    if (m_holds) {
        std::memcpy(into, m_held.data() + m_done, wanted);
        m_done += wanted;
        return wanted;
    }
    std::size_t got = 0;
    while (got < wanted) {
        const ssize_t n = ::read(m_fd, into + got, wanted - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(std::strerror(errno));
        }
        if (n == 0)
            return Fail(ChangedReason(m_size, SizeNow()));
        got += static_cast<std::size_t>(n);
    }
    m_done += got;
    return got;
}

Result<void> FileReader::Rewind() {
    if (!m_holds && ::lseek(m_fd, 0, SEEK_SET) != 0)
        return Fail(std::strerror(errno));
    m_done = 0;
    return {};
}

std::uint64_t FileReader::SizeNow() const noexcept {
    struct stat info {};
    return ::fstat(m_fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

Result<void> FileReader::CheckUnchanged() const {
    // A virtual file's time moves whenever it is read, and its size stays 0. A regular file that
    // was empty at open and has a size now was written meanwhile: what was held may be part of it.
    if (m_holds) {
        if (const std::uint64_t now = SizeNow(); now != 0)
            return Fail(ChangedReason(0, now));
        return {};
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0)
        return Fail(std::strerror(errno));
    const auto now = static_cast<std::uint64_t>(info.st_size);
    if (now != m_size || ModificationNs(info) != m_mtimeNs)
        return Fail(ChangedReason(m_size, now));
    return {};
}

} // namespace ini
