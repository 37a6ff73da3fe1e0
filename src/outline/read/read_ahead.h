#pragma once

#include "outline/read/file_reader.h"
#include "parse/result.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <thread>

namespace ini {

// Reads an opened file into a buffer on a thread of its own, and checks its encoding there, so
// that the caller can cut and walk the lines read so far while the rest is being read. Where no
// thread can be started, the caller's waits do the reading instead, a piece at a time.
class ReadAhead {
public:
    // Bytes read at a time: small enough that the lines of a piece are cut while its bytes are
    // still in the cache, large enough that system calls cost nothing.
    static constexpr std::size_t pieceBytes = std::size_t{1} << 20;

    // `into` must have room for the file's size as seen at open; the file and the buffer must
    // outlive this object.
    ReadAhead(FileReader& file, char* into);
    // Stops the read and waits for its thread.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    struct Progress {
        std::size_t bytes = 0; // read so far, from the start of the buffer
        bool ended = false;    // nothing more will come: all read, failed or stopped
    };
    // Waits until more than `have` bytes are in or the read has ended.
    Progress WaitBeyond(std::size_t have);
    // Asks the read to end after the piece it is reading.
    void Stop() noexcept { m_stop.store(true, std::memory_order_relaxed); }

    // Once the read has ended: its failure, if it failed.
    const std::optional<Failure>& Error() const noexcept { return m_failure; }
    // Once the whole file is in: whether it is valid UTF-8.
    bool ValidUtf8() const noexcept { return m_validUtf8; }

private:
    static constexpr std::uint64_t endedBit = std::uint64_t{1} << 63;

    // Reads one piece, checks it and publishes it; false once the read has ended.
    bool ReadPiece();

    FileReader& m_file;
    char* const m_into;
    std::size_t m_read = 0;    // touched by the reading thread only, until the read ends
    std::size_t m_checked = 0; // of those, bytes checked for UTF-8
    bool m_validUtf8 = true;
    std::optional<Failure> m_failure;
    std::atomic<std::uint64_t> m_state{0}; // bytes published, plus endedBit at the end
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace ini
