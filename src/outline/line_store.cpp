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

    if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
        return LoadError{path, "it is larger than 4 GiB (" + std::to_string(info.st_size) +
                                   " bytes), more than the viewer can hold"};

    try {
        LineStore store;
        // One byte more than the size tells a file that grew while it was read.
        std::size_t capacity = static_cast<std::size_t>(info.st_size) + 1;
        store.m_bytes = std::make_unique_for_overwrite<char[]>(capacity);
        for (;;) {
            if (store.m_size == capacity) {
                if (capacity > maxBytes)
                    return LoadError{path, "it grew past 4 GiB while it was read"};
                const std::size_t larger = capacity + capacity / 2 + 4096;
                auto grown = std::make_unique_for_overwrite<char[]>(larger);
                std::memcpy(grown.get(), store.m_bytes.get(), store.m_size);
                store.m_bytes = std::move(grown);
                capacity = larger;
            }
            const ssize_t got =
                ::read(file.Get(), store.m_bytes.get() + store.m_size, capacity - store.m_size);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return LoadError{path, SystemReason(errno)};
            }
            if (got == 0)
                break;
            store.m_size += static_cast<std::size_t>(got);
        }
        if (store.m_size > maxBytes)
            return LoadError{path, "it grew past 4 GiB while it was read"};
        store.IndexLines();
        return store;
    } catch (const std::bad_alloc&) {
        return LoadError{path, "not enough memory to hold a file of " +
                                   std::to_string(info.st_size) + " bytes"};
    }
}

LineStore LineStore::FromBytes(std::string bytes) {
    LineStore store;
    store.m_size = bytes.size();
    store.m_bytes = std::make_unique_for_overwrite<char[]>(bytes.size() + 1);
    std::memcpy(store.m_bytes.get(), bytes.data(), bytes.size());
    store.IndexLines();
    return store;
}

void LineStore::IndexLines() {
    const std::string_view all = Bytes();
    const std::string_view text = StripUtf8Bom(all);
    const auto textStart = static_cast<std::uint32_t>(all.size() - text.size());
    m_starts.clear();
    m_validUtf8.reset();
    if (text.empty())
        return; // no lines at all
    // A guess from typical line lengths saves most regrowth of the index.
    m_starts.reserve(text.size() / 24 + 2);
    m_starts.push_back(textStart);
    LineEndScanner scanner(text);
    while (scanner.Next())
        m_starts.push_back(textStart + static_cast<std::uint32_t>(scanner.Position()));
}

bool LineStore::IsValidUtf8() const noexcept {
    if (!m_validUtf8)
        m_validUtf8 = ::ini::IsValidUtf8(Bytes());
    return *m_validUtf8;
}

std::string_view LineStore::Line(LineIndex i) const noexcept {
    const std::string_view span(m_bytes.get() + m_starts[i], m_starts[i + 1] - m_starts[i]);
    return span.substr(0, span.size() - TerminatorLength(span));
}

} // namespace ini
