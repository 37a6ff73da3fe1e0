#pragma once

#include "outline/read/big_buffer.h"
#include "outline/read/file_reader.h"
#include "outline/read/slot_turns.h"
#include "parse/result.h"

#include <atomic>
#include <cstddef>
#include <optional>
#include <string_view>
#include <thread>

namespace ini {

// Reads an opened file on a thread of its own into a few fixed pieces that go round, for a
// caller that walks each piece once and keeps only the unfinished line at its end. Memory stays
// at a few MiB whatever the file's size: a caller takes a line longer than the room kept for it
// as it comes, without a carry. The pieces lie in one buffer of huge pages: touching fresh 4 KiB
// pages one by one cost a small file more than the overlap gained. Where no thread can be
// started, Next() reads on the caller's.
class PieceReader {
public:
    static constexpr std::size_t pieceBytes = std::size_t{1} << 20;
    static constexpr std::size_t pieceCount = 4;
    // Room in front of each piece for the line the last piece left unfinished.
    static constexpr std::size_t carryRoom = std::size_t{64} << 10;

    // The file must outlive this object.
    explicit PieceReader(FileReader& file);
    // Stops the read and waits for its thread.
    ~PieceReader();
    PieceReader(const PieceReader&) = delete;
    PieceReader& operator=(const PieceReader&) = delete;

    struct Text {
        // The carry handed to Next(), followed by the next piece of the file.
        std::string_view bytes;
        // How many bytes from the start may be read (at least the size of `bytes`): cutters
        // class bytes in blocks beyond the last line.
        std::size_t readable = 0;
        // The file's last piece: nothing follows.
        bool atEnd = false;
    };
    // `carry` (the unfinished end of the last Text, at most carryRoom bytes; empty at first)
    // followed by the next piece. The last Text's bytes stay valid until then, and no longer.
    Result<Text> Next(std::string_view carry);

private:
    static constexpr std::size_t slotBytes = carryRoom + pieceBytes;
    // Blocks of 64 bytes may be read past the last piece in memory.
    static constexpr std::size_t tailRoom = 64;

    char* PieceAt(std::size_t piece) noexcept {
        return m_memory.Data() + (piece % pieceCount) * slotBytes + carryRoom;
    }
    // Reads piece `piece` into its slot, once the slot is free; false once the read has ended.
    bool ReadPiece(std::size_t piece);
    void StopReading() noexcept;

    FileReader& m_file;
    BigBuffer m_memory;
    std::size_t m_sizes[pieceCount] = {};
    std::optional<Failure> m_failure; // written once, by the piece that failed
    bool m_failedAt[pieceCount] = {};
    bool m_endedAt[pieceCount] = {};
    SlotTurns m_turns{pieceCount}; // the reading thread fills pieces, Next() empties them
    std::atomic<bool> m_stop{false};
    std::size_t m_next = 0; // the piece Next() hands out next
    bool m_ended = false;   // the last piece was handed out
    std::thread m_thread;
};

} // namespace ini
