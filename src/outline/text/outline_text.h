#pragma once

#include "outline/check/structure_checks.h"
#include "outline/nodes/outline_nodes.h"
#include "outline/read/file_reader.h"
#include "outline/read/line_store.h"
#include "parse/big_buffer.h"
#include "parse/keywords.h"
#include "parse/line_splitter.h"
#include "parse/line_walk.h"
#include "parse/result.h"
#include "parse/worker.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <tuple>

namespace ini {

// The outline as text, one node per line: two spaces per depth level, the node's key, a TAB and
// the node's text with the file's bytes unchanged, then LF. This is what ini-outline prints and
// what the checked outlines under tests/golden hold.
class OutlineText {
public:
    // The most bytes the output line of a node at `depth` for a line of `lineSize` bytes takes.
    static std::size_t MostBytes(std::size_t depth, std::size_t lineSize) noexcept {
        // The node text is never longer than the line with the comment's lead added.
        return 2 * depth + KeyText::mostBytes + 1 + lineSize + SplitLine::commentLead.size() + 1;
    }
    // Writes a node's output line at `at`, which has room for MostBytes; gives its end.
    char* WriteNode(char* at, std::size_t depth, const KeyText& key, std::string_view line,
                    bool showComments);
    // A node's indentation, key and TAB: what comes before its text (which NodeTextParts makes
    // for a line that comes in parts).
    static char* WriteLead(char* at, std::size_t depth, const KeyText& key) noexcept {
        for (std::size_t i = 0; i < depth; ++i, at += 2)
            std::memcpy(at, "  ", 2);
        at = key.WriteTo(at);
        *at++ = '\t';
        return at;
    }

private:
    LineSplitter m_splitter;
};

struct StreamOptions {
    bool showComments = false;
    bool topLevelOnly = false;
    // Put before every output line (a file name and a TAB when several files are printed).
    std::string prefix;
};

// The memory a stream over one file works in, kept by one who streams many files in turn: each
// buffer is a few huge pages, and faulting fresh ones in for every file was most of the time a
// small file took.
struct StreamRoom {
    BigBuffer pieces; // the reader's
    std::array<BigBuffer, 2> entries;
    std::array<BigBuffer, 2> texts;
    BigBuffer out;
};

// The walk's sink that prints: every node that a load and one click on each root would make, in
// the order the outline shows them. A walk over the whole file sees at each line the same open
// blocks as the fill of its block does, so the outline in pre-order is just the nodes in file
// order, each at the depth of its open blocks.
//
// The walk queues each node with a copy of its line in batches that go round; a worker formats
// them and writes the output in pieces of about 2 MiB, so the walk goes on meanwhile.
class OutlinePrinter {
public:
    // The buffers are those of `room` when it is given, handed back at the end.
    OutlinePrinter(const StreamOptions& options, std::function<bool(std::string_view)> write,
                   Threading threading = Threading::OwnThread, StreamRoom* room = nullptr);
    // Drops what was not written yet and waits for the worker.
    ~OutlinePrinter();
    OutlinePrinter(const OutlinePrinter&) = delete;
    OutlinePrinter& operator=(const OutlinePrinter&) = delete;

    bool SeesOnlyTopLevel() const noexcept { return m_topLevelOnly; }
    void Line(const WalkedLine& line) {
        if (Prints(line))
            Queue(Of(Kind::Node, line), line.text.line);
    }
    bool LongLine(const WalkedLine& line) {
        if (!Prints(line))
            return false;
        Queue(Of(Kind::LongStart, line), line.text.line);
        return true;
    }
    void LongPart(std::string_view part) {
        Queue(
            Queued{0, static_cast<std::uint32_t>(part.size()), 0, Kind::LongPart, false, false, {}},
            part);
    }
    void LongEnd() { Queue(Queued{0, 0, 0, Kind::LongEnd, false, false, {}}, {}); }
    // Whether a write failed; nothing is printed after that.
    bool Stopped() const noexcept { return m_failed.load(std::memory_order_relaxed); }
    // Prints every node queued and waits until it is written; false when a write failed. Throws
    // std::bad_alloc when a line was too long to format in the memory left.
    bool Finish();

private:
    enum class Kind : std::uint8_t { Node, LongStart, LongPart, LongEnd };
    // A queued entry; its bytes follow the entry before it's in the batch's text.
    struct Queued {
        LineIndex index;
        std::uint32_t size;
        std::uint8_t depth;
        Kind kind;
        bool showComments;
        bool classed; // `bytes` hold the line's LineBytes
        LineBytes bytes;
    };
    struct Batch {
        BigBuffer entryBytes;
        Queued* entries = nullptr; // in entryBytes
        std::size_t count = 0;
        // The entries' bytes one after another, with room past them for copies in blocks.
        BigBuffer text;
        std::size_t used = 0;
    };
    // Two batches: the walk fills one while the worker formats the other. Text and entries are
    // each one 2 MiB huge page (with the text's room for copies in blocks): in pages of 4 KiB the
    // printer was a fifth slower.
    static constexpr std::size_t batches = std::tuple_size_v<decltype(StreamRoom::texts)>;
    static constexpr std::size_t batchText = (std::size_t{2} << 20) - shortLineSlack;
    static constexpr std::size_t batchEntries = (std::size_t{2} << 20) / sizeof(Queued);

    bool Prints(const WalkedLine& line) const noexcept {
        return line.lineClass != LineClass::End && !(m_topLevelOnly && !line.stacks.Empty());
    }
    static Queued Of(Kind kind, const WalkedLine& line) noexcept {
        return Queued{line.index,
                      static_cast<std::uint32_t>(line.text.line.size()),
                      static_cast<std::uint8_t>(line.stacks.Depth()),
                      kind,
                      line.text.showComments,
                      line.bytes != nullptr,
                      line.bytes != nullptr ? *line.bytes : LineBytes{}};
    }
    // Inline, as the walk queues most lines of a file: only a full batch leaves this.
    void Queue(const Queued& entry, std::string_view bytes) {
        Batch* batch = m_batch;
        if (batch->count == batchEntries ||
            batch->used + bytes.size() + shortLineSlack > batch->text.Capacity())
            batch = MakeRoom(bytes.size());
        batch->entries[batch->count++] = entry;
        if (!bytes.empty()) // a long line's end has no bytes, maybe not even a pointer
            std::memcpy(batch->text.Data() + batch->used, bytes.data(), bytes.size());
        batch->used += bytes.size();
    }
    // Hands the batch over when it holds something and makes room for `bytes` in the next.
    Batch* MakeRoom(std::size_t bytes);
    void HandOver();

    // The worker's side.
    bool FormatNext();
    void Format(const Batch& batch);
    void FormatEntry(const Queued& entry, std::string_view bytes);
    char* Room(std::size_t bytes) {
        if (m_out.Capacity() - m_used < bytes)
            MakeOutputRoom(bytes);
        return m_out.Data() + m_used;
    }
    void MakeOutputRoom(std::size_t bytes);
    char* StartLine(std::size_t bytes);
    void Flush();
    // Swaps the buffers with those of m_room, if any.
    void SwapRoom() noexcept;

    bool m_topLevelOnly;
    std::array<Batch, batches> m_batches;
    SlotTurns m_turns{batches};                   // the walk fills batches, the worker empties them
    std::size_t m_filling = 0;                    // the walk's turn
    Batch* m_batch = nullptr;                     // and its batch
    std::atomic<std::size_t> m_endTurn{SIZE_MAX}; // no batch from this turn on
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_outOfMemory{false};

    // Touched by the worker only.
    std::size_t m_formatting = 0;
    std::string m_prefix;
    std::function<bool(std::string_view)> m_write;
    OutlineText m_text;
    KeyText m_key{NodeKey{0}}; // the last key printed
    NodeTextParts m_longText;  // the text of a long line being printed
    BigBuffer m_out;
    std::size_t m_used = 0;
    StreamRoom* m_room;

    Worker m_worker; // last: it stops before what it formats goes
};

// Prints the outline of `file` while it is read, through a few reused pieces, so memory does not
// grow with the file nor with its longest line. `write` takes whole lines, in large pieces, and
// returns false when the output failed. Fails when the file cannot be read or changes while it
// is read, and when `write` did.
// The buffers are those of `room` when it is given.
Result<void> StreamOutline(FileReader file, const Keywords& keywords, const StreamOptions& options,
                           const std::function<bool(std::string_view)>& write,
                           Threading threading = Threading::OwnThread, StreamRoom* room = nullptr);

// The problems of one file, found by a walk over reused pieces as the outline is printed:
// memory does not grow with the file. Fails when the file cannot be read or changes while it is
// read. The pieces lie in `room` when it is given.
Result<StructureChecks> CheckStructure(FileReader file, const Keywords& keywords,
                                       Threading threading = Threading::OwnThread,
                                       BigBuffer* room = nullptr);

} // namespace ini
