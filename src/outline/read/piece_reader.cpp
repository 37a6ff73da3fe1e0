#include "outline/read/piece_reader.h"

#include "outline/read/piece_cutter.h"
#include "parse/text_encoding.h"

#include <algorithm>
#include <cstring>

namespace ini {

namespace {

bool IsContinuationByte(char c) noexcept {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A file that fits in one piece gets a piece of its own size, read at once on the caller's
// thread: a thread and four full pieces (huge pages, zeroed when touched) would cost more than
// the read, and folders of small block files are read one file after another.
std::size_t PieceFor(const FileReader& file, std::size_t pieceSize) noexcept {
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(file.Size(), 1, pieceSize));
}

Threading ThreadingFor(const FileReader& file, std::size_t pieceSize,
                       Threading threading) noexcept {
    return file.Size() <= pieceSize ? Threading::Inline : threading;
}

} // namespace

PieceReader::PieceReader(FileReader& file, Threading threading, std::size_t pieceSize,
                         std::size_t carrySize, bool findOtherBlanks)
    // A carry can hold what may be the start of a byte order mark.
    : m_file(file), m_pieceBytes(PieceFor(file, pieceSize)),
      m_carryRoom(std::max(carrySize, utf8Bom.size())), m_findOtherBlanks(findOtherBlanks),
      m_worker(ThreadingFor(file, pieceSize, threading)) {
    StartRing();
}

PieceReader::PieceReader(FileReader& file, BigBuffer& room, Threading threading,
                         bool findOtherBlanks)
    : m_file(file), m_pieceBytes(PieceFor(file, pieceBytes)), m_carryRoom(carryRoom), m_ring(&room),
      m_findOtherBlanks(findOtherBlanks), m_worker(ThreadingFor(file, pieceBytes, threading)) {
    StartRing();
}

void PieceReader::StartRing() {
    m_ring->Resize(pieceSlots * (m_carryRoom + m_pieceBytes) + tailRoom);
    // Before the file there is nothing to reach back into.
    m_piecesBack = (m_carryRoom + longWordBytes + m_pieceBytes - 1) / m_pieceBytes;
    m_piecesWithout = m_piecesBack;
    m_worker.Repeat([this] { return ReadPiece(); });
}

PieceReader::PieceReader(FileReader& file, char* whole, bool findOtherBlanks, Threading threading,
                         std::size_t pieceSize)
    : m_file(file), m_whole(whole), m_pieceBytes(pieceSize), m_findOtherBlanks(findOtherBlanks),
      m_worker(threading) {
    m_worker.Repeat([this] { return ReadPiece(); });
}

PieceReader::~PieceReader() {
    m_stop.store(true, std::memory_order_relaxed);
    m_turns.ReleaseFiller(); // a worker waiting for a free slot sees the stop
    m_worker.Wait();
}

bool PieceReader::ReadPiece() {
    const std::size_t piece = m_reading++;
    // A slot is free once the caller is done with the piece that used it last.
    m_turns.WaitToFill(piece);
    Read read;
    read.ended = m_stop.load(std::memory_order_relaxed);
    if (!read.ended) {
        Result<std::size_t> got = m_file.Read(PieceAt(piece), m_pieceBytes);
        if (got.ok()) {
            read.size = got.value();
            read.ended = m_file.Remaining() == 0;
        } else {
            m_failure = got.failure();
            read.failed = read.ended = true;
        }
    }
    m_bytesRead += read.size;
    if (m_whole) {
        CheckUtf8(m_bytesRead, read.ended);
        FindOtherBlanks(read.ended, read);
    } else if (m_findOtherBlanks) {
        read.otherBlanksKnown = HoldsNoOtherBlank({PieceAt(piece), read.size});
    }
    m_reads[piece % pieceSlots] = std::move(read);
    m_turns.Filled(piece + 1);
    return !read.ended;
}

void PieceReader::CheckUtf8(std::size_t upTo, bool ended) noexcept {
    // A sequence cut by the piece's end waits for the next piece. A sequence is at most four
    // bytes, so a longer run of continuation bytes is wrong anyway.
    if (!ended) {
        const std::size_t earliest = std::max(m_checked, upTo - std::min<std::size_t>(upTo, 4));
        for (std::size_t i = upTo; i > earliest; --i) {
            if (!IsContinuationByte(m_whole[i - 1])) {
                upTo = i - 1;
                break;
            }
        }
    }
    if (m_validUtf8 && upTo > m_checked)
        m_validUtf8 = IsValidUtf8({m_whole + m_checked, upTo - m_checked});
    m_checked = std::max(m_checked, upTo);
}

bool PieceReader::HoldsNoOtherBlank(std::string_view piece) noexcept {
    const bool without = OtherBlankWords::FindOtherBlank(piece, 0) == piece.size();
    m_piecesWithout = without ? m_piecesWithout + 1 : 0;
    return m_piecesWithout > m_piecesBack;
}

void PieceReader::FindOtherBlanks(bool ended, Read& read) noexcept {
    if (!m_findOtherBlanks || m_otherBlanksLost)
        return;
    const std::string_view text(m_whole, m_bytesRead);
    if (!m_otherBlanks) {
        // The cut leaves a byte order mark out of the first line.
        if (text.size() < utf8Bom.size() && !ended)
            return;
        m_otherBlanks.emplace(text.starts_with(utf8Bom) ? utf8Bom.size() : 0);
    }
    try {
        m_otherBlanks->Scan(
            text, [&](std::size_t line) { read.otherBlankLines.push_back(m_whole + line); });
        read.otherBlanksKnown = true;
    } catch (const std::bad_alloc&) {
        m_otherBlanksLost = true; // the walk looks at every line from here on
    }
}

void PieceReader::WaitRead(std::size_t piece) {
    while (!m_turns.IsFilled(piece)) {
        if (!m_worker.StepInline())
            m_turns.WaitFilled(piece);
    }
}

Result<PieceReader::Piece> PieceReader::Next(std::string_view carry) {
    if (m_ended)
        return Piece{carry, carry.size(), true, std::nullopt};
    const std::size_t piece = m_next++;
    WaitRead(piece);
    Read& read = m_reads[piece % pieceSlots];
    if (read.failed)
        return *m_failure;
    m_ended = read.ended;
    // Taken before the slot is emptied: the worker may read into it again from then on.
    m_otherBlankLines = std::move(read.otherBlankLines);
    const bool otherBlanksKnown = read.otherBlanksKnown;
    char* const start = PieceAt(piece) - carry.size();
    // Into the whole file the carry is in front already; round reused pieces it is copied, and
    // the piece it came from can be read into again.
    if (carry.data() != start && !carry.empty())
        std::memcpy(start, carry.data(), carry.size());
    m_turns.Emptied(piece);
    const std::size_t size = carry.size() + read.size;
    // What follows a reused piece is the next slot's carry room (only this side writes there)
    // or the tail room; what follows a piece of the whole file is the next piece, being read,
    // or the tail room after the last.
    const std::size_t past = m_ended ? tailRoom : m_whole ? 0 : std::min(tailRoom, m_carryRoom);
    Piece handed{{start, size}, size + past, m_ended, std::nullopt};
    if (otherBlanksKnown)
        handed.otherBlankLines = m_otherBlankLines;
    return handed;
}

} // namespace ini
