#pragma once

#include "outline/read/big_buffer.h"
#include "outline/text/outline_text.h"
#include "outline/read/slot_turns.h"
#include "parse/line_splitter.h"
#include "parse/node_key.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace ini {

// Formats an outline's nodes as OutlineText lines and writes them, on a thread of its own, so
// that a walk can go on with the next lines meanwhile. Nodes are queued with a copy of their
// line's bytes in batches that go round; output goes out in pieces of about 2 MiB. Where no
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
    // cutter has them. `readPast`: LineSplitter::copySlack bytes from the line's start may be
    // read, so a classed line is copied as one block.
    void Add(std::size_t depth, LineIndex index, std::string_view line, bool showComments,
             const LineBytes* bytes, bool readPast = false) {
        Batch& batch = Filling();
        if (bytes != nullptr && readPast &&
            batch.capacity - batch.used >= headBytes + line.size()) {
            // A classed line is shorter than the block; the batch has room past its capacity.
            std::memcpy(WriteHead(batch, depth, index, line.size(), showComments, bytes),
                        line.data(), LineSplitter::copySlack);
            batch.used += headBytes + line.size();
            return;
        }
        AddAny(depth, index, line, showComments, bytes);
    }
    // A node whose line is too long to hold whole: its start, then the line's bytes part by part
    // as they are read (without the terminator), then its end.
    void StartLongNode(std::size_t depth, LineIndex index, bool showComments) {
        // The start's one byte of text is the node's depth.
        const auto depthByte = static_cast<char>(depth);
        AddAny(longDepth, index, {&depthByte, 1}, showComments, nullptr, longStartFlag);
    }
    void AddLongPart(std::string_view part) {
        AddAny(longDepth, 0, part, false, nullptr, longPartFlag);
    }
    void EndLongNode() { AddAny(longDepth, 0, {}, false, nullptr, 0); }
    // Whether a write failed; nothing is written after that.
    bool Failed() const noexcept { return m_failed.load(std::memory_order_relaxed); }
    // Writes every node queued and waits until it is written; false when a write failed. Throws
    // std::bad_alloc when a line was too long to format in the memory left.
    bool Finish();

private:
    static constexpr std::size_t batchCount = 3;
    // With the room for block copies past the last line, a batch is one 2 MiB huge page.
    static constexpr std::size_t batchBytes = (std::size_t{2} << 20) - LineSplitter::copySlack;

    struct Batch {
        BigBuffer bytes;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };

    // A queued node: its line's classed masks, index and size, its depth and flags, then the line.
    static constexpr std::size_t spacesAt = 0, semicolonsAt = 8, indexAt = 16, sizeAt = 24,
                                 depthAt = 32, flagsAt = 33, headBytes = 34;
    static constexpr std::uint8_t showsCommentFlag = 1, classedFlag = 2, longStartFlag = 4,
                                  longPartFlag = 8;
    // Entries of a long node stand at this depth, which no node has; their flags tell them apart
    // (neither start nor part: the end).
    static constexpr std::size_t longDepth = 0xFF;

    template <typename T> static void Store(char* at, T value) noexcept {
        std::memcpy(at, &value, sizeof value);
    }
    // Writes a node's head at the end of `batch`, which has room for it; gives where its line
    // goes.
    static char* WriteHead(Batch& batch, std::size_t depth, LineIndex index, std::size_t size,
                           bool showComments, const LineBytes* bytes,
                           std::uint8_t longFlag = 0) noexcept {
        char* const at = batch.bytes.Data() + batch.used;
        Store<std::uint64_t>(at + spacesAt, bytes ? bytes->spaces : 0);
        Store<std::uint64_t>(at + semicolonsAt, bytes ? bytes->semicolons : 0);
        Store<std::uint64_t>(at + indexAt, index);
        Store<std::uint64_t>(at + sizeAt, size);
        Store<std::uint8_t>(at + depthAt, static_cast<std::uint8_t>(depth));
        Store<std::uint8_t>(at + flagsAt,
                            static_cast<std::uint8_t>((showComments ? showsCommentFlag : 0) |
                                                      (bytes ? classedFlag : 0) | longFlag));
        return at + headBytes;
    }
    void AddAny(std::size_t depth, LineIndex index, std::string_view line, bool showComments,
                const LineBytes* bytes, std::uint8_t longFlag = 0);
    Batch& Filling() noexcept { return m_batches[m_turn % batchCount]; }
    void HandOver();
    // Ends the turns after the batches handed over so far, and waits for the thread.
    void Stop() noexcept;
    // The formatting side.
    void FormatTurns();
    void Format(const Batch& batch);
    // Formats a long node's start, part or end; gives where its entry ends. Out of line, so that
    // the loop over ordinary nodes is compiled as if it were not there.
    [[gnu::noinline]] const char* FormatLong(const char* at);
    // Makes room for `bytes` more output, flushing what is there first if need be.
    char* OutputRoom(std::size_t bytes);
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
    NodeTextParts m_longText;  // the text of the long node being written
    BigBuffer m_out;
    std::size_t m_outSize = 0;

    std::thread m_thread;
};

} // namespace ini
