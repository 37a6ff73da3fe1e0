#include "outline/text/outline_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>

namespace ini {

namespace {

// Output goes out in pieces of about this size, one huge page.
constexpr std::size_t outputBytes = std::size_t{2} << 20;

template <typename T> T Load(const char* at) noexcept {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

} // namespace

OutlineWriter::OutlineWriter(std::string prefix, std::function<bool(std::string_view)> write)
    : m_prefix(std::move(prefix)), m_write(std::move(write)) {
    try {
        m_thread = std::thread([this] { FormatTurns(); });
    } catch (const std::system_error&) {
        // No thread: HandOver() formats each batch itself.
    }
}

OutlineWriter::~OutlineWriter() {
    Stop();
}

void OutlineWriter::AddAny(std::size_t depth, LineIndex index, std::string_view line,
                           bool showComments, const LineBytes* bytes, std::uint8_t longFlag) {
    const std::size_t need = headBytes + line.size();
    Batch* batch = &Filling();
    if (batch->capacity - batch->used < need) {
        if (batch->used > 0) {
            HandOver();
            batch = &Filling();
        }
        if (batch->capacity < need) {
            const std::size_t capacity = std::max(need, batchBytes);
            // Lines are copied in and out of the batch in blocks that may pass the last one.
            batch->bytes = BigBuffer(capacity + LineSplitter::copySlack);
            batch->capacity = capacity;
        }
    }
    char* const text = WriteHead(*batch, depth, index, line.size(), showComments, bytes, longFlag);
    if (!line.empty()) // a long node's end has no text, and maybe no pointer either
        std::memcpy(text, line.data(), line.size());
    batch->used += need;
}

void OutlineWriter::HandOver() {
    if (!m_thread.joinable()) {
        if (!Failed())
            Format(Filling());
        Filling().used = 0;
        return;
    }
    m_turns.Filled(m_turn + 1);
    ++m_turn;
    m_turns.WaitToFill(m_turn);
    Filling().used = 0;
}

bool OutlineWriter::Finish() {
    if (Filling().used > 0)
        HandOver();
    m_flushAtEnd = true;
    Stop();
    if (!m_thread.joinable() && !Failed())
        Flush();
    if (m_outOfMemory.load(std::memory_order_relaxed))
        throw std::bad_alloc();
    return !Failed();
}

void OutlineWriter::Stop() noexcept {
    if (!m_thread.joinable())
        return;
    m_endTurn.store(m_turn, std::memory_order_release);
    m_turns.ReleaseEmptier();
    m_thread.join();
}

void OutlineWriter::FormatTurns() {
    for (std::size_t turn = 0;; ++turn) {
        m_turns.WaitFilled(turn);
        if (turn >= m_endTurn.load(std::memory_order_acquire))
            break;
        if (!Failed()) {
            try {
                Format(m_batches[turn % batchCount]);
            } catch (const std::bad_alloc&) {
                // Only a line too long for the memory left gets here.
                m_outOfMemory.store(true, std::memory_order_relaxed);
                m_failed.store(true, std::memory_order_relaxed);
            }
        }
        m_turns.Emptied(turn + 1);
    }
    if (m_flushAtEnd && !Failed())
        Flush();
}

void OutlineWriter::Format(const Batch& batch) {
    const char* at = batch.bytes.Data();
    const char* const end = at + batch.used;
    while (at < end) {
        const LineBytes bytes{Load<std::uint64_t>(at + spacesAt),
                              Load<std::uint64_t>(at + semicolonsAt)};
        const auto index = static_cast<LineIndex>(Load<std::uint64_t>(at + indexAt));
        const auto size = static_cast<std::size_t>(Load<std::uint64_t>(at + sizeAt));
        const std::size_t depth = Load<std::uint8_t>(at + depthAt);
        if (depth == longDepth) {
            at = FormatLong(at);
            continue;
        }
        // The flags are read where they are used: kept in a spilled byte across the key's
        // update, they were read back wider than stored, which stalls the load.
        const char* const head = at;
        const std::string_view line(at + headBytes, size);
        at += headBytes + size;

        // Room for copying in blocks, which may write past the node's line.
        char* out = OutputRoom(m_prefix.size() + OutlineText::MostBytes(depth, size) +
                               LineSplitter::copySlack);
        if (!m_prefix.empty()) {
            std::memcpy(out, m_prefix.data(), m_prefix.size());
            out += m_prefix.size();
        }
        m_key.MoveTo(NodeKey{index});
        const unsigned flags = Load<std::uint8_t>(head + flagsAt);
        const bool showComments = (flags & showsCommentFlag) != 0;
        out = (flags & classedFlag) != 0
                  ? OutlineText::WriteClassedNode(out, depth, m_key, line, showComments, bytes)
                  : m_text.WriteNode(out, depth, m_key, line, showComments);
        m_outSize = static_cast<std::size_t>(out - m_out.Data());
    }
}

const char* OutlineWriter::FormatLong(const char* at) {
    const unsigned flags = Load<std::uint8_t>(at + flagsAt);
    const auto size = static_cast<std::size_t>(Load<std::uint64_t>(at + sizeAt));
    const std::string_view text(at + headBytes, size);
    char* out = nullptr;
    if ((flags & longStartFlag) != 0) {
        const auto depth = static_cast<std::uint8_t>(text[0]);
        out = OutputRoom(m_prefix.size() + OutlineText::MostBytes(depth, 0));
        out = std::copy(m_prefix.begin(), m_prefix.end(), out);
        m_key.MoveTo(NodeKey{static_cast<LineIndex>(Load<std::uint64_t>(at + indexAt))});
        out = OutlineText::WriteLead(out, depth, m_key);
        m_longText = NodeTextParts((flags & showsCommentFlag) != 0);
    } else if ((flags & longPartFlag) != 0) {
        out = m_longText.Add(OutputRoom(size + NodeTextParts::extraBytes), text);
    } else {
        out = OutputRoom(1);
        *out++ = '\n';
    }
    m_outSize = static_cast<std::size_t>(out - m_out.Data());
    return at + headBytes + size;
}

char* OutlineWriter::OutputRoom(std::size_t bytes) {
    if (m_out.Capacity() - m_outSize < bytes) {
        Flush();
        if (m_out.Capacity() < bytes)
            m_out = BigBuffer(std::max(bytes, outputBytes));
    }
    return m_out.Data() + m_outSize;
}

void OutlineWriter::Flush() {
    if (m_outSize > 0 && !Failed() && !m_write({m_out.Data(), m_outSize}))
        m_failed.store(true, std::memory_order_relaxed);
    m_outSize = 0;
}

} // namespace ini
