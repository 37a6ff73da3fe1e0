#include "outline/line_store.h"

#include "parse/line_ends.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace ini {

namespace {

// Closes a file descriptor on every way out.
class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

std::string SystemReason(int error) {
    return std::strerror(error);
}

// Valid UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF). Pure ASCII runs are
// checked eight bytes at a time, so typical files cost next to nothing.
bool IsValidUtf8(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t chunk;
            std::memcpy(&chunk, p, 8);
            if ((chunk & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        unsigned char min2 = 0x80, max2 = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                min2 = 0xA0;
            if (c == 0xED)
                max2 = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                min2 = 0x90;
            if (c == 0xF4)
                max2 = 0x8F;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        if (p[1] < min2 || p[1] > max2)
            return false;
        for (int i = 2; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += extra + 1;
    }
    return true;
}

} // namespace

std::string LoadError::Message() const {
    return "Cannot load '" + path + "': " + reason;
}

std::variant<LineStore, LoadError> LineStore::ReadFile(const std::string& path) {
    if (path.empty())
        return LoadError{path, "no file name given"};
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it is refused below.
    FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0)
        return LoadError{path, SystemReason(errno)};
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        return LoadError{path, SystemReason(errno)};
    if (S_ISDIR(info.st_mode))
        return LoadError{path, "it is a folder, not a file"};
    if (!S_ISREG(info.st_mode))
        return LoadError{path, "it is not a regular file (a device, pipe or socket)"};

    try {
        std::string bytes;
        // Read to the real end even if the file grows or shrinks while it is read.
        std::size_t size = static_cast<std::size_t>(info.st_size);
        bytes.resize(size + 1);
        std::size_t used = 0;
        for (;;) {
            if (used == bytes.size())
                bytes.resize(bytes.size() + bytes.size() / 2 + 4096);
            const ssize_t got = ::read(file.Get(), bytes.data() + used, bytes.size() - used);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return LoadError{path, SystemReason(errno)};
            }
            if (got == 0)
                break;
            used += static_cast<std::size_t>(got);
        }
        bytes.resize(used);
        LineStore store = FromBytes(std::move(bytes));
        // Outline nodes keep line indices in 32 bits.
        if (store.Count() >= std::numeric_limits<std::uint32_t>::max())
            return LoadError{path, "the file has more than 4294967294 lines"};
        return store;
    } catch (const std::bad_alloc&) {
        return LoadError{path, "not enough memory to hold a file of " +
                                   std::to_string(info.st_size) + " bytes"};
    } catch (const std::length_error&) {
        return LoadError{path, "too large to hold in memory (" + std::to_string(info.st_size) +
                                   " bytes)"};
    }
}

LineStore LineStore::FromBytes(std::string bytes) {
    LineStore store;
    store.m_bytes = std::move(bytes);
    store.IndexLines();
    return store;
}

void LineStore::IndexLines() {
    const std::string_view all(m_bytes);
    const std::string_view text = StripUtf8Bom(all);
    m_textStart = all.size() - text.size();
    m_starts.clear();
    LineEndScanner scanner(text);
    m_starts.push_back(m_textStart);
    while (scanner.Next())
        m_starts.push_back(m_textStart + scanner.Position());
    if (m_starts.size() == 1)
        m_starts.clear(); // no lines at all
    m_validUtf8 = ::ini::IsValidUtf8(all);
}

std::string_view LineStore::Line(LineIndex i) const noexcept {
    const std::string_view span(m_bytes.data() + m_starts[i], m_starts[i + 1] - m_starts[i]);
    return span.substr(0, span.size() - TerminatorLength(span));
}

} // namespace ini
