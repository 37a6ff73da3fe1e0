#include "outline/line_store.h"

#include "parse/line_ends.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>
#include <limits>
#include <new>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
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

// Large files fill a fresh buffer page by page; huge pages cut those page faults by a factor of
// 512. Only advice: where the system says no, the read works just the same.
void AskForHugePages(char* buffer, std::size_t size) noexcept {
    constexpr std::uintptr_t huge = 2u << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(buffer) + huge - 1) & ~(huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(buffer) + size) & ~(huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Below this size one thread reads and indexes; above it two share the work.
constexpr std::size_t splitThreshold = 4u << 20;

struct ReadResult {
    std::size_t bytes = 0;
    int error = 0;
};

// Reads bytes [from, to) of the file into the same place of the buffer; stops early at the end
// of the file.
ReadResult ReadRange(int fd, char* buffer, std::size_t from, std::size_t to) noexcept {
    ReadResult result;
    while (from + result.bytes < to) {
        const ssize_t got = ::pread(fd, buffer + from + result.bytes, to - from - result.bytes,
                                    static_cast<off_t>(from + result.bytes));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = errno;
            break;
        }
        if (got == 0)
            break;
        result.bytes += static_cast<std::size_t>(got);
    }
    return result;
}

// Waits for a worker, letting the caller's events run every few milliseconds meanwhile.
template <typename T> T WaitFor(std::future<T> work, const std::function<bool()>& letEventsRun) {
    bool pumping = static_cast<bool>(letEventsRun);
    while (pumping && work.wait_for(std::chrono::milliseconds(2)) == std::future_status::timeout)
        pumping = letEventsRun();
    return work.get();
}

// Adds the start offset of every line that begins in [from, to); `from` must be a line start.
void IndexRange(std::string_view all, std::size_t from, std::size_t to,
                std::vector<std::uint32_t>& starts) {
    const std::string_view range = all.substr(from, to - from);
    LineEndScanner scanner(range);
    std::size_t start = 0;
    while (scanner.Next()) {
        starts.push_back(static_cast<std::uint32_t>(from + start));
        start = scanner.Position();
    }
}

// The first line start at or after `pos`.
std::size_t LineStartFrom(std::string_view all, std::size_t pos) {
    const std::size_t at = FindLineBreak(all, pos);
    if (at == all.size())
        return at;
    if (all[at] == '\n' && at > 0 && all[at - 1] == '\r')
        return at + 1; // the LF of a CR LF pair that began before `pos`
    if (all[at] == '\r' && at + 1 < all.size() && all[at + 1] == '\n')
        return at + 2;
    return at + 1;
}

} // namespace

std::string LoadError::Message() const {
    return "Cannot load '" + path + "': " + reason;
}

std::variant<LineStore, LoadError> LineStore::ReadFile(const std::string& path,
                                                       const std::function<bool()>& letEventsRun) {
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
        const auto size = static_cast<std::size_t>(info.st_size);
        // One byte more than the size tells a file that grew while it was read.
        std::size_t capacity = size + 1;
        store.m_bytes = std::make_unique_for_overwrite<char[]>(capacity);
        AskForHugePages(store.m_bytes.get(), capacity);

        // Large files are read as two halves at once: fresh memory costs the kernel as much as
        // the copy, and the second core halves both. The caller's events run meanwhile.
        const bool split = size >= splitThreshold;
        const std::size_t mid = split ? size / 2 : size;
        auto second = std::async(split ? std::launch::async : std::launch::deferred, ReadRange,
                                 file.Get(), store.m_bytes.get(), mid, size);
        ReadResult first = split ? WaitFor(std::async(std::launch::async, ReadRange, file.Get(),
                                                      store.m_bytes.get(), 0, mid),
                                           letEventsRun)
                                 : ReadRange(file.Get(), store.m_bytes.get(), 0, mid);
        const ReadResult rest = WaitFor(std::move(second), letEventsRun);
        if (first.error != 0 || rest.error != 0)
            return LoadError{path, SystemReason(first.error != 0 ? first.error : rest.error)};
        store.m_size = first.bytes;
        if (first.bytes == mid) {
            store.m_size += rest.bytes;
        } // else the file shrank under us: what came after the gap is not used

        // Whatever the file grew by since its size was taken.
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
            const ReadResult more =
                ReadRange(file.Get(), store.m_bytes.get(), store.m_size, capacity);
            if (more.error != 0)
                return LoadError{path, SystemReason(more.error)};
            store.m_size += more.bytes;
            if (store.m_size < capacity)
                break;
        }
        if (store.m_size > maxBytes)
            return LoadError{path, "it grew past 4 GiB while it was read"};
        store.IndexLines(letEventsRun);
        return store;
    } catch (const std::bad_alloc&) {
        return LoadError{path, "not enough memory to hold a file of " +
                                   std::to_string(info.st_size) + " bytes"};
    } catch (const std::system_error& error) {
        return LoadError{path, error.what()}; // no thread could be started
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

void LineStore::IndexLines(const std::function<bool()>& letEventsRun) {
    const std::string_view all = Bytes();
    const std::string_view text = StripUtf8Bom(all);
    const std::size_t textStart = all.size() - text.size();
    m_starts.clear();
    m_validUtf8.reset();
    if (text.empty())
        return; // no lines at all
    // A guess from typical line lengths saves most regrowth of the index.
    m_starts.reserve(text.size() / 24 + 2);
    if (all.size() < splitThreshold) {
        IndexRange(all, textStart, all.size(), m_starts);
    } else {
        // The second half starts at a line start, so the two halves cut the same lines as one.
        const std::size_t split = LineStartFrom(all, all.size() / 2);
        std::vector<std::uint32_t> secondHalf;
        secondHalf.reserve((all.size() - split) / 24 + 2);
        auto second = std::async(std::launch::async, IndexRange, all, split, all.size(),
                                 std::ref(secondHalf));
        IndexRange(all, textStart, split, m_starts);
        WaitFor(std::move(second), letEventsRun);
        m_starts.insert(m_starts.end(), secondHalf.begin(), secondHalf.end());
    }
    m_starts.push_back(static_cast<std::uint32_t>(all.size()));
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
