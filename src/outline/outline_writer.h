#pragma once

#include "outline/outline_text.h"
#include "outline/slot_turns.h"
#include "parse/line_splitter.h"
#include "parse/node_key.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace ini {

// Formats an outline's nodes as OutlineText lines and writes them, on a thread of its own, so
// that a walk can go on with the next lines meanwhile. Nodes are queued with a copy of their
// line's bytes in batches that go round; output goes out in pieces of about a MiB. Where no
// thread can be started, each batch is formatted as it is handed over.
class OutlineWriter {
public:
    // `prefix` goes before every output line; `write` takes the output piece by piece and
    // returns false when it could not write it.
    OutlineWriter(std::string prefix, std::function<bool(std::string_view)> write);
    // Drops whatever was not written yet and waits for the thread.
    ~OutlineWriter();
    OutlineWriter(const OutlineWriter&) = delete;
    OutlineWriter& operator=(const OutlineWriter&) = delete;

    // Queues the node of line `index` at `depth`; `bytes` are the line's classed bytes when the
    // cutter has them.
    void Add(std::size_t depth, LineIndex index, std::string_view line, bool showComments,
             const LineBytes* bytes);
    // Whether a write failed; nothing is written after that.
    bool Failed() const noexcept { return m_failed.load(std::memory_order_relaxed); }
    // Writes every node queued and waits until it is written; false when a write failed. Throws
    // std::bad_alloc when a line was too long to format in the memory left.
    bool Finish();

private:
    static constexpr std::size_t batchCount = 3;
    static constexpr std::size_t batchBytes = std::size_t{1} << 20;

    struct Batch {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };

    Batch& Filling() noexcept { return m_batches[m_turn % batchCount]; }
    void HandOver();
    // Ends the turns after the batches handed over so far, and waits for the thread.
    void Stop() noexcept;
    // The formatting side.
    void FormatTurns();
    void Format(const Batch& batch);
    void Flush();

    Batch m_batches[batchCount];
    std::size_t m_turn = 0; // the batch being filled
    SlotTurns m_turns{batchCount};
    std::atomic<std::size_t> m_endTurn{SIZE_MAX}; // no batch from this turn on
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_outOfMemory{false};
    bool m_flushAtEnd = false; // set before the turns end: the output left goes out too

    // Touched by the formatting side only.
    std::string m_prefix;
    std::function<bool(std::string_view)> m_write;
    OutlineText m_text;
    KeyText m_key{NodeKey{0}}; // the last key written
    std::unique_ptr<char[]> m_out;
    std::size_t m_outCapacity = 0;
    std::size_t m_outSize = 0;

    std::thread m_thread;
};

} // namespace ini
