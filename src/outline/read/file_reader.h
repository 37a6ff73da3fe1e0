#pragma once

#include "parse/result.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace ini {

// One block file opened for reading from start to end, in pieces the caller places.
//
// It reads no more than the size the file had when it was opened, so a file that a writer is
// still appending to cannot keep a load going. A file whose size reads as 0 (the kernel's
// virtual files do) is read to its end at open instead and served from memory, so it shows what
// it holds; more than 16 MiB of it is refused. A file that ends early, or whose size or
// modification time differ after the last read (for one read as 0 bytes: that has a size by
// then), changed while it was read: that is a failure, since its lines would be a mix of two
// versions.
class FileReader {
public:
    // Anything that cannot be read as one regular file (an empty path, a missing file, a
    // folder, a FIFO or device, no permission) fails with a message naming the path and the
    // system's reason. Nothing blocks on a FIFO.
    static Result<FileReader> Open(const std::string& path);

    FileReader(FileReader&& other) noexcept;
    FileReader& operator=(FileReader&&) = delete;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    ~FileReader();

    const std::string& Path() const noexcept { return m_path; }
    // The size seen at open.
    std::uint64_t Size() const noexcept { return m_size; }
    std::uint64_t Remaining() const noexcept { return m_size - m_done; }
    // Reads up to `max` bytes of what is left of that size into `into`; 0 once it is all read.
    Result<std::size_t> Read(char* into, std::size_t max);
    // Starts reading from the file's start again, up to the size seen at open.
    Result<void> Rewind();
    // After the last read: fails when the file is no longer the one that was opened.
    Result<void> CheckUnchanged() const;

    // "Cannot load '<path>': <reason>", of the kind given.
    Failure Fail(const std::string& reason, FailureKind kind = FailureKind::Other) const;
    // `why` as the reason this file cannot be loaded, its kind kept.
    Failure Fail(Failure why) const;

private:
    FileReader(std::string path, int fd, std::uint64_t size, std::int64_t mtimeNs) noexcept
        : m_path(std::move(path)), m_fd(fd), m_size(size), m_mtimeNs(mtimeNs) {}
    // Reads a file whose size reads as 0 to its end, into m_held.
    Result<void> HoldAll();
    // The file's size now; 0 when it cannot be told.
    std::uint64_t SizeNow() const noexcept;

    std::string m_path;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::uint64_t m_done = 0;
    std::int64_t m_mtimeNs = 0;
    bool m_holds = false; // the bytes are in m_held, read at open
    std::string m_held;
};

// The message every load failure shows: "Cannot load '<path>': <reason>".
Failure LoadFailure(const std::string& path, Failure why);

} // namespace ini
