#pragma once

#include "outline/read/file_reader.h"
#include "parse/big_buffer.h"
#include "parse/other_blanks.h"
#include "parse/result.h"
#include "parse/worker.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace ini {

// What takes the lines with another blank in their first word that a reader found
// (Piece::otherBlankLines); a reader looks for them only for such a consumer.
template <typename Consumer>
concept TakesOtherBlankLines = requires(Consumer& consumer,
                                        std::optional<std::span<const char* const>> starts) {
    consumer.LinesWithOtherBlanks(starts);
};

// Reads an opened file on a worker, a piece at a time, while the caller cuts and walks the
// pieces that have come. The pieces lie in one of two places:
// - one buffer that holds the whole file (a load for the window, which keeps every byte): a
//   piece follows the one before it, so the unfinished line at a piece's end is already in front
//   of the next, however long it is;
// - a few pieces that go round (ini-outline): memory stays at a few MiB whatever the file. The
//   unfinished line is copied in front of the next piece, up to carryRoom bytes; the caller
//   takes a longer line as it comes instead.
// The worker keeps at most a few pieces ahead of the caller, and its waits block, never spin.
class PieceReader {
public:
    static constexpr std::size_t pieceBytes = std::size_t{1} << 20;
    // Room in front of each reused piece for the line the last piece left unfinished.
    static constexpr std::size_t carryRoom = std::size_t{64} << 10;
    // Bytes past the end of the pieces in memory that may be read: cutters class 64 at a time.
    static constexpr std::size_t tailRoom = 64;

    // Reads into pieces that go round. The file must outlive the reader. Tests give smaller
    // pieces and carries to reach every edge with small files. With `findOtherBlanks`, the pieces
    // whose lines cannot hold another blank in their first word (most) get an empty
    // Piece::otherBlankLines; the others get nothing (not known).
    explicit PieceReader(FileReader& file, Threading threading = Threading::OwnThread,
                         std::size_t pieceSize = pieceBytes, std::size_t carrySize = carryRoom,
                         bool findOtherBlanks = false);
    // The same in `room`, which one who reads many files keeps from one to the next: a fresh
    // buffer per file is a mapping made, faulted in and unmapped again, which costs more than
    // reading a small file.
    PieceReader(FileReader& file, BigBuffer& room, Threading threading = Threading::OwnThread,
                bool findOtherBlanks = false);
    // Reads into `whole`, which has room for the file's size seen at open plus tailRoom, and
    // checks on the way whether the file is valid UTF-8. With `findOtherBlanks` it also finds
    // the lines whose first word holds another blank (Piece::otherBlankLines).
    PieceReader(FileReader& file, char* whole, bool findOtherBlanks,
                Threading threading = Threading::OwnThread, std::size_t pieceSize = pieceBytes);
    // Stops the read after the piece under way and waits for the worker.
    ~PieceReader();
    PieceReader(const PieceReader&) = delete;
    PieceReader& operator=(const PieceReader&) = delete;

    struct Piece {
        // The carry handed to Next(), followed by the piece's new bytes.
        std::string_view bytes;
        // How many bytes from the start may be read (at least the size of `bytes`).
        std::size_t readable = 0;
        // The file's last piece: nothing follows.
        bool atEnd = false;
        // Where the lines start that Next() cuts from this piece and whose first word holds
        // another blank (OtherBlankWords), found on the worker, in rising order. Nothing when
        // they are not known. Pieces that go round tell them only when there are none.
        std::optional<std::span<const char* const>> otherBlankLines;
    };
    // `carry` (the unfinished end of the last piece, at most CarryRoom() bytes; empty at first)
    // followed by the next piece. The last piece's bytes stay valid until then, and no longer.
    Result<Piece> Next(std::string_view carry);
    // The longest carry Next() takes.
    std::size_t CarryRoom() const noexcept { return m_whole ? SIZE_MAX : m_carryRoom; }
    // Reading into the whole file, once the last piece is handed out: whether it is valid UTF-8.
    bool ValidUtf8() const noexcept { return m_validUtf8; }

private:
    static constexpr std::size_t pieceSlots = 4;

    // What the worker tells about a piece it has read.
    struct Read {
        std::size_t size = 0;
        bool ended = false; // nothing more follows it
        bool failed = false;
        std::vector<const char*> otherBlankLines;
        bool otherBlanksKnown = false;
    };

    char* PieceAt(std::size_t piece) const noexcept {
        return m_whole ? m_whole + piece * m_pieceBytes
                       : m_ring->Data() + (piece % pieceSlots) * (m_carryRoom + m_pieceBytes) +
                             m_carryRoom;
    }
    // Sizes the ring and starts the worker on it.
    void StartRing();
    // The worker's step: reads the next piece once its slot is free; false once the read ended.
    bool ReadPiece();
    // Checks the bytes read into the whole file so far, up to a sequence a piece may have cut.
    void CheckUtf8(std::size_t upTo, bool ended) noexcept;
    // Finds the lines with another blank in their first word that the whole file's bytes read so
    // far tell of.
    void FindOtherBlanks(bool ended, Read& read) noexcept;
    // For a piece that goes round: whether it and the bytes before it that its lines may start
    // in hold no byte that may be another blank.
    bool HoldsNoOtherBlank(std::string_view piece) noexcept;
    // Waits until piece `piece` is read, reading it here when there is no worker.
    void WaitRead(std::size_t piece);

    FileReader& m_file;
    char* const m_whole = nullptr;
    const std::size_t m_pieceBytes;
    const std::size_t m_carryRoom = 0;
    BigBuffer m_ownRing;
    BigBuffer* m_ring = &m_ownRing; // where the pieces that go round lie
    std::array<Read, pieceSlots> m_reads{};
    std::optional<Failure> m_failure; // written once, before the failed piece is published
    SlotTurns m_turns{pieceSlots};    // the worker fills pieces, Next() empties them
    std::atomic<bool> m_stop{false};
    std::size_t m_reading = 0; // the worker's next piece
    std::size_t m_bytesRead = 0;
    std::size_t m_checked = 0; // of the whole file's bytes, checked for UTF-8
    bool m_validUtf8 = true;
    std::optional<OtherBlankWords> m_otherBlanks; // made once the first bytes tell of a BOM
    const bool m_findOtherBlanks;
    // Pieces that go round: how many pieces in a row, up to the last read, hold no byte that may
    // be another blank, and how many a line cut from a piece may reach back into: a carry and a
    // long line's first word.
    std::size_t m_piecesWithout = 0;
    std::size_t m_piecesBack = 0;
    bool m_otherBlanksLost = false;             // memory ran short for them: not known any more
    std::vector<const char*> m_otherBlankLines; // those of the piece Next() handed out last
    std::size_t m_next = 0;                     // the piece Next() hands out next
    bool m_ended = false;                       // the last piece was handed out
    Worker m_worker;                            // last: it stops before what it reads into goes
};

} // namespace ini
