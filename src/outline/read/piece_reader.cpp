#include "outline/read/piece_reader.h"

#include <cstring>
#include <system_error>

namespace ini {

PieceReader::PieceReader(FileReader& file)
    : m_file(file), m_memory(pieceCount * slotBytes + tailRoom) {
    try {
        m_thread = std::thread([this] {
            for (std::size_t piece = 0; ReadPiece(piece); ++piece) {
            }
        });
    } catch (const std::system_error&) {
        // No thread: Next() reads on the caller's.
    }
}

PieceReader::~PieceReader() {
    StopReading();
    if (m_thread.joinable())
        m_thread.join();
}

void PieceReader::StopReading() noexcept {
    m_stop.store(true, std::memory_order_relaxed);
    m_turns.ReleaseFiller();
}

bool PieceReader::ReadPiece(std::size_t piece) {
    // The slot is free once the caller is done with the piece that used it last.
    m_turns.WaitToFill(piece);
    const std::size_t slot = piece % pieceCount;
    bool ended = m_stop.load(std::memory_order_relaxed);
    m_sizes[slot] = 0;
    if (!ended) {
        Result<std::size_t> got = m_file.Read(PieceAt(piece), pieceBytes);
        if (got.ok()) {
            m_sizes[slot] = got.value();
            ended = m_file.Remaining() == 0;
        } else {
            m_failure = got.failure();
            ended = true;
        }
    }
    m_failedAt[slot] = m_failure.has_value();
    m_endedAt[slot] = ended;
    m_turns.Filled(piece + 1);
    return !ended;
}

Result<PieceReader::Text> PieceReader::Next(std::string_view carry) {
    if (m_ended)
        return Text{carry, carry.size(), true};
    const std::size_t piece = m_next++;
    if (m_thread.joinable())
        m_turns.WaitFilled(piece);
    else
        ReadPiece(piece);
    // The reading thread runs ahead: only a piece that says it failed may look at the failure,
    // which that thread wrote before it ended.
    if (m_failedAt[piece % pieceCount])
        return *m_failure;
    const std::string_view read(PieceAt(piece), m_sizes[piece % pieceCount]);
    m_ended = m_endedAt[piece % pieceCount];
    char* const start = PieceAt(piece) - carry.size();
    if (!carry.empty()) // the first carry has no bytes at all
        std::memcpy(start, carry.data(), carry.size());
    // The carry is copied: the piece it came from can be read into again.
    m_turns.Emptied(piece);
    // What follows a piece in memory is the next slot's room or the tail room.
    return Text{
        {start, carry.size() + read.size()}, carry.size() + read.size() + tailRoom, m_ended};
}

} // namespace ini
