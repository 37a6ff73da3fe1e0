#pragma once

#include "outline/read/piece_cutter.h"
#include "parse/line_walk.h"

#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace ini {

// What takes the lines of a walk over a whole file. It has
//   void Line(const WalkedLine&)   every non-empty line, classed, with the blocks open before it
//   bool Stopped()                 asked once per non-empty line; true ends the walk
// and, to see lines too long to hold in full (only a walk over pieces that go round has them):
//   bool LongLine(const WalkedLine&)  such a line, whose text holds only its first word; true
//                                     to get the rest of its bytes through LongPart(bytes),
//                                     then LongEnd(). A sink that prints the line takes
//                                     LongLine(line, leadingSpaces) instead: how many spaces
//                                     stand before that word.
// A sink without LongLine gets such a line through Line, first word only. A sink with
//   void LinesLeaving()            may keep views of the lines it got until then: it is called
//                                  before their bytes leave memory (see LineConsumer). A long
//                                  line's word it got through Line leaves right after it.
// A sink with
//   void TextStarts(std::string_view)  gets the file's first bytes before any line (CutPieces).
// A sink with
//   bool StopBeforePiece()         is asked before each further piece is read: true ends the
//                                  walk, also within a line too long to hold.
// A sink with
//   bool SeesOnlyTopLevel()        true when it takes nothing from lines inside blocks: those are
//                                  only classed to keep the stacks right, and it gets none of
//                                  them (asked once, before the first line).
// A sink with
//   void End(const BlockStacks&)   gets the blocks still open once a walk over the whole file
//                                  has passed its last line.
template <typename Sink>
concept WalkSink = requires(Sink& sink, const WalkedLine& line) {
    sink.Line(line);
    { sink.Stopped() } -> std::convertible_to<bool>;
};

// The bridge from the cut to the walk: each line CutPieces hands over is walked with the one
// pair of block stacks of the whole file, and what the walk finds goes to the sink.
template <WalkSink Sink, typename ShowComments> class WalkToSink {
public:
    WalkToSink(const Keywords& keywords, ShowComments showComments, Sink& sink)
        : m_sink(sink), m_onlyTopLevel(SeesOnlyTopLevel(sink)),
          m_walker(keywords, std::move(showComments), NodeStep{this}, GoOn{&sink}) {}
    WalkToSink(const WalkToSink&) = delete;
    WalkToSink& operator=(const WalkToSink&) = delete;

    bool Line(LineIndex index, const CutLine& line) {
        if (m_onlyTopLevel && !m_walker.Stacks().Empty()) {
            m_walker.Pass(index, line.firstWord);
            return !m_sink.Stopped();
        }
        // The step hands the line's bytes on by address: a copy made here leaves the cutter's own
        // line in registers for the lines passed over (callgrind: a twentieth fewer
        // instructions for the definitions and --top-level).
        const CutLine copy = line;
        return m_walker.Step(index, copy);
    }
    // The blocks open after the lines walked so far.
    const BlockStacks& Stacks() const noexcept { return m_walker.Stacks(); }
    bool LongLine(LineIndex index, std::string_view word, std::size_t leadingSpaces) {
        m_inLongLine = true;
        m_longLeadingSpaces = leadingSpaces;
        const bool goOn = m_walker.Step(index, word, word);
        m_inLongLine = false;
        return goOn;
    }
    void LongPart(std::string_view part) {
        if constexpr (requires { m_sink.LongPart(part); }) {
            if (m_longTaken)
                m_sink.LongPart(part);
        }
    }
    // Where the lines with another blank in their first word start, as the reader found them.
    void LinesWithOtherBlanks(std::optional<std::span<const char* const>> starts) {
        if constexpr (TakesOtherBlankLines<Sink>)
            m_sink.LinesWithOtherBlanks(starts);
    }
    void LinesLeaving() {
        if constexpr (requires { m_sink.LinesLeaving(); })
            m_sink.LinesLeaving();
    }
    void TextStarts(std::string_view bytes) {
        if constexpr (requires { m_sink.TextStarts(bytes); })
            m_sink.TextStarts(bytes);
    }
    bool StopBeforePiece() { return detail::StopsBeforePiece(m_sink); }
    void LongEnd() {
        if constexpr (requires { m_sink.LongEnd(); }) {
            if (m_longTaken)
                m_sink.LongEnd();
        }
        m_longTaken = false;
    }

private:
    struct NodeStep {
        WalkToSink* walk;
        void operator()(const WalkedLine& line) const { walk->Walked(line); }
    };
    struct GoOn {
        Sink* sink;
        bool operator()() const { return !sink->Stopped(); }
    };

    static bool SeesOnlyTopLevel(const Sink& sink) {
        if constexpr (requires { sink.SeesOnlyTopLevel(); })
            return sink.SeesOnlyTopLevel();
        else
            return false;
    }

    void Walked(const WalkedLine& line) {
        if (!m_inLongLine) {
            m_sink.Line(line);
        } else if constexpr (requires { m_sink.LongLine(line, m_longLeadingSpaces); }) {
            m_longTaken = m_sink.LongLine(line, m_longLeadingSpaces);
        } else if constexpr (requires { m_sink.LongLine(line); }) {
            m_longTaken = m_sink.LongLine(line);
        } else {
            m_sink.Line(line);
            LinesLeaving();
        }
    }

    Sink& m_sink;
    const bool m_onlyTopLevel;
    bool m_inLongLine = false;
    bool m_longTaken = false; // the sink takes the long line's bytes
    std::size_t m_longLeadingSpaces = 0;
    LineWalker<ShowComments, NodeStep, GoOn> m_walker;
};

// Walks a whole file into `sink` through pieces that go round, as ini-outline reads: memory does
// not grow with the file. The pieces lie in `room` when it is given (one who reads many files
// keeps it from one to the next). Gives whether the sink let the walk run to the end, or why the
// file could not be read (it changed while it was read, say). `Masks`: as for
// CutCompleteLinesFast.
template <typename Masks = detail::Sse2Masks, WalkSink Sink, typename ShowComments>
Result<bool> StreamFile(FileReader& file, const Keywords& keywords, ShowComments showComments,
                        Sink& sink, Threading threading = Threading::OwnThread,
                        BigBuffer* room = nullptr) {
    WalkToSink walk(keywords, std::move(showComments), sink);
    constexpr bool takesOtherBlanks = TakesOtherBlankLines<Sink>;
    Result<bool> cut = [&] {
        std::optional<PieceReader> reader;
        if (room != nullptr)
            reader.emplace(file, *room, threading, takesOtherBlanks);
        else
            reader.emplace(file, threading, PieceReader::pieceBytes, PieceReader::carryRoom,
                           takesOtherBlanks);
        Result<bool> cut = CutPieces<Masks>(*reader, walk);
        walk.LinesLeaving(); // the pieces go with the reader
        return cut;
    }();
    if (!cut.ok())
        return cut;
    if (Result<void> same = file.CheckUnchanged(); !same.ok())
        return same.failure();
    if constexpr (requires { sink.End(walk.Stacks()); }) {
        if (cut.value())
            sink.End(walk.Stacks());
    }
    return cut;
}

} // namespace ini
