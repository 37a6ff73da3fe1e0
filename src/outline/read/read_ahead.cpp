#include "outline/read/read_ahead.h"

#include "parse/text_encoding.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ini {

namespace {

void Pause() noexcept {
#if defined(__SSE2__)
    _mm_pause();
#endif
}

bool IsContinuationByte(char c) noexcept {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

ReadAhead::ReadAhead(FileReader& file, char* into) : m_file(file), m_into(into) {
    try {
        m_thread = std::thread([this] {
            while (ReadPiece()) {
            }
        });
    } catch (const std::system_error&) {
        // No thread: WaitBeyond reads on the caller's.
    }
}

ReadAhead::~ReadAhead() {
    Stop();
    if (m_thread.joinable())
        m_thread.join();
}

bool ReadAhead::ReadPiece() {
    bool ended = m_stop.load(std::memory_order_relaxed) || m_file.Remaining() == 0;
    if (!ended) {
        Result<std::size_t> got = m_file.Read(m_into + m_read, pieceBytes);
        if (got.ok()) {
            m_read += got.value();
            ended = m_file.Remaining() == 0;
        } else {
            m_failure = got.failure();
            ended = true;
        }
    }
    // A UTF-8 sequence may be cut by the end of a piece: its start waits for the next one. A
    // sequence is at most four bytes, so a longer run of continuation bytes is wrong anyway.
    std::size_t upTo = m_read;
    if (!ended) {
        const std::size_t earliest = std::max(m_checked, m_read - std::min<std::size_t>(m_read, 4));
        for (std::size_t i = m_read; i > earliest; --i) {
            if (!IsContinuationByte(m_into[i - 1])) {
                upTo = i - 1;
                break;
            }
        }
    }
    if (m_validUtf8 && upTo > m_checked)
        m_validUtf8 = IsValidUtf8({m_into + m_checked, upTo - m_checked});
    m_checked = upTo;
    m_state.store(m_read | (ended ? endedBit : 0), std::memory_order_release);
    m_state.notify_all();
    return !ended;
}

ReadAhead::Progress ReadAhead::WaitBeyond(std::size_t have) {
    const auto waiting = [&](std::uint64_t state) {
        return (state & ~endedBit) <= have && (state & endedBit) == 0;
    };
    std::uint64_t state = m_state.load(std::memory_order_acquire);
    if (waiting(state) && m_thread.joinable()) {
        // The next piece is usually a fraction of a millisecond away. Sleeping until it comes
        // would cost a wake-up per piece, which on virtual machines can take longer than the
        // piece itself, so look again for a while first.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
        do {
            for (int i = 0; i < 64 && waiting(state); ++i) {
                Pause();
                state = m_state.load(std::memory_order_acquire);
            }
        } while (waiting(state) && std::chrono::steady_clock::now() < until);
    }
    while (waiting(state)) {
        if (m_thread.joinable())
            m_state.wait(state, std::memory_order_acquire);
        else
            ReadPiece();
        state = m_state.load(std::memory_order_acquire);
    }
    return Progress{static_cast<std::size_t>(state & ~endedBit), (state & endedBit) != 0};
}

} // namespace ini
