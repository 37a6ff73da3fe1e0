#pragma once

#include "outline/read/file_reader.h"
#include "outline/read/piece_cutter.h"
#include "parse/big_buffer.h"
#include "parse/line_ends.h"
#include "parse/node_key.h"
#include "parse/result.h"
#include "parse/text_encoding.h"

#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace ini {

// Every line of one loaded file, held as one buffer. The bytes are kept as they are: no decoding,
// nothing lost. Line ends and a leading byte order mark follow parse/line_ends.h.
//
// Only every 16th line's start is kept (a mark); a line in between is found by cutting forward
// from its mark. That costs a few hundred bytes of scanning for a line looked up alone, which
// nobody notices on a repaint, and saves the load writing an index entry for every line: the
// index takes 4 bytes per 16 lines instead of 4 a line. Walks over a run of lines cut it once
// (CutLines). Offsets are 32-bit, which limits a file to less than 4 GiB.
class LineStore {
public:
    LineStore() = default;

    // The largest file a store holds: every offset, the end included, fits 32 bits.
    static constexpr std::uint64_t maxBytes = 0xFFFFFFFFu;

    // Reads a whole regular file in one pass, cutting each line as soon as its bytes are in and
    // handing it on to `lines` (see CutPieces), which may stop the read. Fails with a message
    // naming the path and the reason when the file cannot be read, is too large, changes while
    // it is read or does not fit in memory, and when `lines` stopped it.
    template <LineConsumer Lines>
    static Result<LineStore> ReadFile(FileReader file, Lines& lines,
                                      Threading threading = Threading::OwnThread);
    static Result<LineStore> ReadFile(const std::string& path);

    // Lines between two marks.
    static constexpr std::size_t linesPerMark = 16;

    std::size_t Count() const noexcept { return m_count; }
    bool Empty() const noexcept { return Count() == 0; }
    // Line i without its terminator; i must be below Count().
    std::string_view Line(LineIndex i) const noexcept;
    // Asks the processor to fetch the bytes before line i (below Count()): a pass that looks
    // up lines far apart does so a few lines ahead, so their trips to memory overlap.
    void PrefetchLine(LineIndex i) const noexcept {
        __builtin_prefetch(m_bytes.Data() + m_marks[i / linesPerMark]);
    }
    // Cuts lines first to last (both below Count()) again, as the read cut them, and hands each
    // to onLine(CutLine) until it returns false.
    template <typename OnLine>
    void CutLines(LineIndex first, LineIndex last, OnLine&& onLine) const {
        // One pass from the mark before `first`: the lines in between are cut and passed over.
        std::size_t skip = first % linesPerMark;
        std::size_t left = last - first + 1;
        CutCompleteLinesFast(Bytes().substr(m_marks[first / linesPerMark]), true,
                             [&](const CutLine& line) {
                                 if (skip > 0) {
                                     --skip;
                                     return true;
                                 }
                                 return onLine(line) && --left > 0;
                             });
    }
    // A line with its index, as a scan through the text keeps it while it goes on.
    struct PlacedLine {
        LineIndex index = 0;
        std::string_view text; // as Line(index) gives it
        // Where the line after it starts (the text's end after the last line).
        const char* next = nullptr;
    };
    // Line i with its place; i must be below Count().
    PlacedLine PlaceLine(LineIndex i) const noexcept;
    // The line after `line` (not the last line).
    PlacedLine NextLine(const PlacedLine& line) const noexcept;
    // The line holding byte `place` of the text, looked for from line `from`, which starts at or
    // before it. A place close by is reached line by line, a far one through the marks, so a
    // scan that traces rising places back to their lines stays linear.
    PlacedLine LineHolding(const PlacedLine& from, const char* place) const noexcept;
    // Whether the whole file is valid UTF-8; otherwise text is shown as Windows-1252. Worked out
    // while the file is read.
    bool IsValidUtf8() const noexcept { return m_validUtf8; }

private:
    std::string_view Bytes() const noexcept { return {m_bytes.Data(), m_size}; }
    static Failure TooLarge(const FileReader& file);
    // Every line to `lines`, once its start is marked.
    template <typename Lines> struct Marking;

    // Adds the line starting at `offset` as the next line.
    void AddLine(std::size_t offset) {
        if (m_count % linesPerMark == 0)
            m_marks.push_back(static_cast<std::uint32_t>(offset));
        ++m_count;
    }

    BigBuffer m_bytes;
    std::size_t m_size = 0;
    std::size_t m_count = 0;
    BigArray<std::uint32_t> m_marks; // where lines 0, 16, 32 ... start
    bool m_validUtf8 = true;
};

template <typename Lines> struct LineStore::Marking {
    LineStore& store;
    Lines& lines;

    bool Line(LineIndex index, const CutLine& line) {
        store.AddLine(static_cast<std::size_t>(line.text.data() - store.m_bytes.Data()));
        return lines.Line(index, line);
    }
    // Never called: the whole file is in memory, so no line is too long to carry.
    bool LongLine(LineIndex index, std::string_view word, std::size_t leadingSpaces) {
        return lines.LongLine(index, word, leadingSpaces);
    }
    void LongPart(std::string_view part) { lines.LongPart(part); }
    void LongEnd() { lines.LongEnd(); }
    void LinesWithOtherBlanks(std::optional<std::span<const char* const>> starts) {
        if constexpr (TakesOtherBlankLines<Lines>)
            lines.LinesWithOtherBlanks(starts);
    }
    void TextStarts(std::string_view bytes) {
        if constexpr (requires { lines.TextStarts(bytes); })
            lines.TextStarts(bytes);
    }
};

template <LineConsumer Lines>
Result<LineStore> LineStore::ReadFile(FileReader file, Lines& lines, Threading threading) {
    if (file.Size() > maxBytes)
        return TooLarge(file);
    try {
        LineStore store;
        store.m_size = static_cast<std::size_t>(file.Size());
        store.m_bytes.Resize(store.m_size + PieceReader::tailRoom);
        // A guess from typical line lengths saves most regrowth of the index.
        store.m_marks.reserve(store.m_size / 32 / linesPerMark + 2);
        Marking<Lines> marking{store, lines};
        // The lines read so far are cut and handed on while the rest is read.
        constexpr bool takesOtherBlanks = TakesOtherBlankLines<Lines>;
        PieceReader reader(file, store.m_bytes.Data(), takesOtherBlanks, threading);
        const Result<bool> cut = CutPieces(reader, marking);
        if (!cut.ok())
            return cut.failure();
        if (!cut.value())
            return file.Fail("the load was stopped");
        if (Result<void> same = file.CheckUnchanged(); !same.ok())
            return same.failure();
        store.m_validUtf8 = reader.ValidUtf8();
        return store;
    } catch (const std::bad_alloc&) {
        return file.Fail(
            NotEnoughMemory("hold a file of " + std::to_string(file.Size()) + " bytes"));
    }
}

} // namespace ini
