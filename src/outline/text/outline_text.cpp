#include "outline/text/outline_text.h"

#include "outline/walk/walk_to_sink.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace ini {

namespace {

char* Put(char* at, std::string_view bytes) noexcept {
    std::memcpy(at, bytes.data(), bytes.size());
    return at + bytes.size();
}

} // namespace

char* OutlineText::WriteNode(char* at, std::size_t depth, const KeyText& key, std::string_view line,
                             bool showComments) {
    at = WriteLead(at, depth, key);
    const SplitLine parts = m_splitter.ParseLine(line, showComments);
    at = Put(at, parts.content);
    if (parts.HasComment())
        at = Put(Put(at, SplitLine::commentLead), parts.commentTail);
    *at++ = '\n';
    return at;
}

namespace {

// Output goes out in pieces of about this size, one huge page.
constexpr std::size_t outputBytes = std::size_t{2} << 20;

} // namespace

OutlinePrinter::OutlinePrinter(const StreamOptions& options,
                               std::function<bool(std::string_view)> write, Threading threading,
                               StreamRoom* room)
    : m_topLevelOnly(options.topLevelOnly), m_prefix(options.prefix), m_write(std::move(write)),
      m_room(room), m_worker(threading) {
    SwapRoom();
    m_out.Resize(outputBytes);
    for (Batch& batch : m_batches) {
        batch.entryBytes.Resize(batchEntries * sizeof(Queued));
        batch.entries = reinterpret_cast<Queued*>(batch.entryBytes.Data());
        batch.text.Resize(batchText + shortLineSlack);
    }
    m_batch = &m_batches[0];
    m_worker.Repeat([this] { return FormatNext(); });
}

OutlinePrinter::~OutlinePrinter() {
    m_failed.store(true, std::memory_order_relaxed); // nothing more is written
    m_endTurn.store(m_filling, std::memory_order_release);
    m_turns.ReleaseEmptier();
    m_worker.Wait();
    SwapRoom();
}

void OutlinePrinter::SwapRoom() noexcept {
    if (m_room == nullptr)
        return;
    for (std::size_t i = 0; i < batches; ++i) {
        m_batches[i].entryBytes.Swap(m_room->entries[i]);
        m_batches[i].text.Swap(m_room->texts[i]);
    }
    m_out.Swap(m_room->out);
}

OutlinePrinter::Batch* OutlinePrinter::MakeRoom(std::size_t bytes) {
    if (m_batch->count > 0)
        HandOver();
    if (bytes + shortLineSlack > m_batch->text.Capacity())
        m_batch->text.Resize(bytes + shortLineSlack); // a line longer than a batch
    return m_batch;
}

void OutlinePrinter::HandOver() {
    m_turns.Filled(++m_filling);
    // Without a worker thread the batch is formatted here and now.
    m_worker.StepInline();
    m_turns.WaitToFill(m_filling);
    m_batch = &m_batches[m_filling % batches];
    m_batch->count = 0;
    m_batch->used = 0;
}

bool OutlinePrinter::Finish() {
    if (m_batch->count > 0)
        HandOver();
    m_endTurn.store(m_filling, std::memory_order_release);
    m_turns.ReleaseEmptier();
    while (m_worker.StepInline()) {
    }
    m_worker.Wait();
    if (m_outOfMemory.load(std::memory_order_relaxed))
        throw std::bad_alloc();
    return !Stopped();
}

bool OutlinePrinter::FormatNext() {
    m_turns.WaitFilled(m_formatting);
    if (m_formatting >= m_endTurn.load(std::memory_order_acquire)) {
        if (!Stopped())
            Flush();
        return false;
    }
    if (!Stopped()) {
        try {
            Format(m_batches[m_formatting % batches]);
        } catch (const std::bad_alloc&) {
            // Only a line too long for the memory left gets here.
            m_outOfMemory.store(true, std::memory_order_relaxed);
            m_failed.store(true, std::memory_order_relaxed);
        }
    }
    m_turns.Emptied(++m_formatting);
    return true;
}

void OutlinePrinter::Format(const Batch& batch) {
    const char* at = batch.text.Data();
    for (std::size_t i = 0; i < batch.count; ++i) {
        const Queued& entry = batch.entries[i];
        FormatEntry(entry, {at, entry.size});
        at += entry.size;
    }
}

void OutlinePrinter::FormatEntry(const Queued& entry, std::string_view bytes) {
    char* end = nullptr;
    switch (entry.kind) {
    case Kind::Node:
        m_key.MoveTo(NodeKey{entry.index});
        end = StartLine(OutlineText::MostBytes(entry.depth, bytes.size()) + shortLineSlack);
        if (entry.classed) {
            // Most lines: the batch has room to read past them.
            end = WriteNodeTextFast(OutlineText::WriteLead(end, entry.depth, m_key), bytes,
                                    entry.showComments, entry.bytes);
            *end++ = '\n';
        } else {
            end = m_text.WriteNode(end, entry.depth, m_key, bytes, entry.showComments);
        }
        break;
    case Kind::LongStart:
        m_key.MoveTo(NodeKey{entry.index});
        end = OutlineText::WriteLead(StartLine(OutlineText::MostBytes(entry.depth, bytes.size())),
                                     entry.depth, m_key);
        m_longText = NodeTextParts(entry.showComments);
        end = m_longText.Add(end, bytes);
        break;
    case Kind::LongPart:
        end = m_longText.Add(Room(bytes.size() + NodeTextParts::extraBytes), bytes);
        break;
    case Kind::LongEnd:
        end = Room(1);
        *end++ = '\n';
        break;
    }
    m_used = static_cast<std::size_t>(end - m_out.Data());
}

void OutlinePrinter::MakeOutputRoom(std::size_t bytes) {
    Flush();
    if (m_out.Capacity() < bytes)
        m_out = BigBuffer(std::max(bytes, outputBytes));
}

char* OutlinePrinter::StartLine(std::size_t bytes) {
    char* const at = Room(m_prefix.size() + bytes);
    return m_prefix.empty() ? at : Put(at, m_prefix);
}

void OutlinePrinter::Flush() {
    if (m_used > 0 && !Stopped() && !m_write({m_out.Data(), m_used}))
        m_failed.store(true, std::memory_order_relaxed);
    m_used = 0;
}

Result<void> StreamOutline(FileReader file, const Keywords& keywords, const StreamOptions& options,
                           const std::function<bool(std::string_view)>& write, Threading threading,
                           StreamRoom* room) {
    try {
        OutlinePrinter printer(options, write, threading, room);
        const Result<bool> walked = WithFastestMasks([&](auto masks) {
            return StreamFile<decltype(masks)>(
                file, keywords, [comments = options.showComments] { return comments; }, printer,
                threading, room != nullptr ? &room->pieces : nullptr);
        });
        if (!walked.ok())
            return walked.failure();
        if (!printer.Finish())
            return Failure{"cannot write the outline"};
        return {};
    } catch (const std::bad_alloc&) {
        // The buffers are taken at the start; after that only the collapsed text of a line that
        // fits in a piece can grow, so whatever the file, this is a machine short of memory.
        return file.Fail(NotEnoughMemory("print the outline"));
    }
}

Result<StructureChecks> CheckStructure(FileReader file, const Keywords& keywords,
                                       Threading threading, BigBuffer* room) try {
    StructureChecks checks(keywords);
    if (Result<bool> walked = WithFastestMasks([&](auto masks) {
            return StreamFile<decltype(masks)>(
                file, keywords, [] { return false; }, checks, threading, room);
        });
        !walked.ok())
        return walked.failure();
    checks.Finish();
    return checks;
} catch (const std::bad_alloc&) {
    return file.Fail(NotEnoughMemory("check it"));
}

} // namespace ini
