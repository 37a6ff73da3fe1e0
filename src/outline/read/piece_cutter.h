#pragma once

#include "outline/read/piece_reader.h"
#include "parse/line_ends.h"
#include "parse/line_splitter.h"
#include "parse/node_key.h"
#include "parse/result.h"
#include "parse/text_encoding.h"

#include <algorithm>
#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace ini {

// What takes the lines CutPieces cuts, in file order, index by index.
//
// Line(index, line) gets every line whose end is in a piece (its terminator found, or the end of
// the file), empty ones included; returning false stops the cut. A line longer than the reader
// carries from one piece to the next (only pieces that go round have such a limit) comes as it is
// read instead: LongLine(index, word, leadingSpaces) once its first word is known (empty when the
// line has no content; at most longWordBytes of it, which is longer than any block name), with
// how many spaces stand before it, then LongPart with each further stretch of the line's bytes
// after that word, then LongEnd().
//
// A consumer with LinesLeaving() is told before the bytes of the lines it got leave memory (a
// piece that goes round is read into again): one that keeps views of a few lines copies them
// then, not line by line. One with TextStarts(bytes) gets the text's first bytes once, before
// any line (past a UTF-8 byte order mark; at least three of them unless the file is shorter).
// One with StopBeforePiece() is asked before each further piece is read, whatever line is
// going on: true ends the cut there, also in the middle of a line longer than a piece.
template <typename Consumer>
concept LineConsumer = requires(Consumer& consumer, LineIndex index, const CutLine& line,
                                std::string_view bytes) {
    { consumer.Line(index, line) } -> std::convertible_to<bool>;
    { consumer.LongLine(index, bytes, std::size_t{}) } -> std::convertible_to<bool>;
    consumer.LongPart(bytes);
    consumer.LongEnd();
};

inline constexpr std::size_t longWordBytes = 256;

namespace detail {

// A line too long to carry, as its bytes come: enough of its start is gathered across pieces to
// tell its first word, which is handed over with the rest of the line.
class LongLineCut {
public:
    bool Active() const noexcept { return m_active; }

    void Start(LineIndex index) {
        m_active = true;
        m_index = index;
        m_headDone = false;
        m_head.clear();
        m_leadingSpaces = 0;
    }

    struct Taken {
        std::size_t bytes; // the terminator included
        bool stopped;      // the consumer stopped the cut
    };
    // Takes the line's next bytes from the front of `bytes`. The line stays active while its end
    // is still to come.
    template <LineConsumer Consumer>
    Taken Take(std::string_view bytes, bool atEnd, Consumer& consumer) {
        bool stopped = false;
        const std::size_t end = FindLineBreak(bytes, 0);
        const bool ends = end < bytes.size() || atEnd;
        std::string_view part = bytes.substr(0, end);
        if (!m_headDone) {
            part.remove_prefix(Gather(part, ends));
            if (m_headDone) {
                const std::string_view word = FirstWordOf(m_head);
                stopped = !consumer.LongLine(m_index, word, m_leadingSpaces);
                if (m_head.size() > word.size())
                    consumer.LongPart(std::string_view(m_head).substr(word.size()));
            }
        }
        if (m_headDone && !part.empty())
            consumer.LongPart(part);
        if (!ends)
            return {bytes.size(), stopped};
        consumer.LongEnd();
        m_active = false;
        if (end == bytes.size())
            return {end, stopped};
        // A CR at the very end of a piece may be the first half of a CR LF pair.
        m_lfMayFollow = bytes[end] == '\r' && end + 1 == bytes.size();
        const bool pair = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
        return {end + (pair ? 2 : 1), stopped};
    }

    // Starts line `index` with `bytes`, too many to carry, none of which ends it; whether the
    // consumer stopped the cut.
    template <LineConsumer Consumer>
    bool StartWith(LineIndex index, std::string_view bytes, Consumer& consumer) {
        Start(index);
        return Take(bytes, false, consumer).stopped;
    }

    // The bytes of a piece that follows a long line ended by a CR, without the LF that
    // completes its terminator.
    std::string_view AfterTerminator(std::string_view bytes) noexcept {
        if (m_lfMayFollow && !bytes.empty() && bytes.front() == '\n')
            bytes.remove_prefix(1);
        m_lfMayFollow = false;
        return bytes;
    }

private:
    // Gathers the line's bytes from its first non-space on, up to longWordBytes: enough for
    // FirstWordOf to find the word in them, or to tell that it is longer than any block name.
    // `part` holds no terminator; `ends`: the line ends after it. Gives how many bytes it took.
    std::size_t Gather(std::string_view part, bool ends) {
        const std::size_t from = m_head.empty() ? std::min(part.find_first_not_of(' '), part.size())
                                                : 0; // spaces before the content are not in it
        m_leadingSpaces += m_head.empty() ? from : 0;
        const std::size_t taken = std::min(part.size() - from, longWordBytes - m_head.size());
        m_head.append(part.substr(from, taken));
        m_headDone = ends || m_head.size() == longWordBytes;
        return from + taken;
    }

    bool m_active = false;
    LineIndex m_index = 0;
    bool m_headDone = false; // the first word can be told from m_head
    bool m_lfMayFollow = false;
    std::string m_head;
    std::size_t m_leadingSpaces = 0; // before the content: not in m_head
};

// Whether the whole of `bytes` is one line whose end has not come: a line longer than a piece, in
// the whole file. It is cut once its end comes, so that its bytes are not searched again with
// every piece. `searched` bytes at its start are known to hold no line break.
inline bool LineGoesOn(std::string_view bytes, std::size_t searched, bool atEnd,
                       std::size_t carryRoom) noexcept {
    return searched > 0 && !atEnd && bytes.size() <= carryRoom &&
           FindLineBreak(bytes, searched) == bytes.size();
}

// The next piece after `carry`, with what the consumer is told around it: the lines handed so far
// may leave memory (none have come before the first piece), and where the piece's lines with
// another blank start.
template <typename Consumer>
Result<PieceReader::Piece> NextPiece(PieceReader& reader, std::string_view carry,
                                     Consumer& consumer) {
    if constexpr (requires { consumer.LinesLeaving(); })
        consumer.LinesLeaving();
    Result<PieceReader::Piece> got = reader.Next(carry);
    if constexpr (TakesOtherBlankLines<Consumer>) {
        if (got.ok())
            consumer.LinesWithOtherBlanks(got.value().otherBlankLines);
    }
    return got;
}

// Whether the consumer ends the cut before the next piece is read.
template <typename Consumer> bool StopsBeforePiece(Consumer& consumer) {
    if constexpr (requires { consumer.StopBeforePiece(); })
        return consumer.StopBeforePiece();
    else
        return false;
}

// The text's first bytes without a UTF-8 byte order mark, told to the consumer; nothing while
// too few came to tell whether a mark is there.
template <typename Consumer>
std::optional<std::string_view> TextStart(std::string_view bytes, bool atEnd, Consumer& consumer) {
    if (bytes.size() < utf8Bom.size() && !atEnd)
        return std::nullopt;
    bytes = StripUtf8Bom(bytes);
    if constexpr (requires { consumer.TextStarts(bytes); })
        consumer.TextStarts(bytes);
    return bytes;
}

} // namespace detail

// The one driver that turns a file's pieces into lines, for every reader of block files: the
// window's load, ini-outline, and whatever else walks a file. A UTF-8 byte order mark at the
// start belongs to no line; a line's end follows parse/line_ends.h across pieces (a CR LF pair
// may straddle two); an unfinished line is carried into the next piece, and one too long to
// carry is handed on as it comes; the last line needs no terminator. Gives whether the consumer
// let the cut run to the end of the file, or the read's failure. `Masks`: as for
// CutCompleteLinesFast.
template <typename Masks = detail::Sse2Masks, LineConsumer Consumer>
Result<bool> CutPieces(PieceReader& reader, Consumer& consumer) {
    detail::LongLineCut longLine;
    LineIndex next = 0;
    bool stopped = false;
    std::string_view carry;
    std::size_t searched = 0; // bytes at the carry's start known to hold no line break
    bool bomChecked = false;
    for (bool first = true;; first = false) {
        if (!first && detail::StopsBeforePiece(consumer))
            return false;
        Result<PieceReader::Piece> got = detail::NextPiece(reader, carry, consumer);
        if (!got.ok())
            return got.failure();
        const PieceReader::Piece& piece = got.value();
        std::string_view bytes = longLine.AfterTerminator(piece.bytes);
        if (!bomChecked) {
            // Nothing is cut before the first bytes tell whether a mark is there.
            const std::optional<std::string_view> start =
                detail::TextStart(bytes, piece.atEnd, consumer);
            if (!start) {
                carry = bytes;
                continue;
            }
            bytes = *start;
            bomChecked = true;
        }
        if (longLine.Active()) {
            const auto taken = longLine.Take(bytes, piece.atEnd, consumer);
            bytes.remove_prefix(taken.bytes);
            carry = {};
            if (taken.stopped)
                return false;
            if (longLine.Active())
                continue;
        }
        if (detail::LineGoesOn(bytes, searched, piece.atEnd, reader.CarryRoom())) {
            carry = bytes;
            searched = bytes.size();
            continue;
        }
        const std::size_t readable = piece.readable - (piece.bytes.size() - bytes.size());
        const std::size_t consumed = CutCompleteLinesFast<Masks>(
            bytes, piece.atEnd,
            [&](const CutLine& line) {
                stopped = !consumer.Line(next++, line);
                return !stopped;
            },
            readable);
        if (stopped || piece.atEnd)
            return !stopped;
        carry = bytes.substr(consumed);
        // The carry is one unfinished line: a CR may end it, nothing else breaks it.
        searched = carry.empty() || carry.back() == '\r' ? 0 : carry.size();
        if (carry.size() > reader.CarryRoom() &&
            longLine.StartWith(next++, std::exchange(carry, {}), consumer))
            return false;
    }
}

} // namespace ini
