#pragma once

#include "parse/line_splitter.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// Avx2Masks and CpuHasAvx2 are there.
#define INI_AVX2_MASKS 1
#endif

// The one place that knows how a block file is cut into lines. LineEndScanner::Next states the
// rule plainly; CutCompleteLinesFast is the cutter the loads use, held to it by a test.
//
// A CR, a CR LF pair and a lone LF each end a line; the terminator is not part of the line.
// A last line without terminator is a line; a terminator at the very end starts no further
// empty line; an empty text has no lines. A UTF-8 byte order mark at the very start of a file
// belongs to no line.

namespace ini {

// The text without a leading UTF-8 byte order mark, if it has one.
std::string_view StripUtf8Bom(std::string_view text) noexcept;

// Whether `c` is a CR or an LF: the bytes that end lines.
constexpr bool IsLineBreak(char c) noexcept {
    return c == '\r' || c == '\n';
}

// Position of the first CR or LF at or after `from`, or the text's size when there is none.
std::size_t FindLineBreak(std::string_view text, std::size_t from) noexcept;

// Walks the lines of one text in order: the rule itself.
class LineEndScanner {
public:
    explicit LineEndScanner(std::string_view text) noexcept : m_text(text) {}

    // The next line without its terminator, or nothing once the text is used up.
    std::optional<std::string_view> Next() noexcept;

    // Offset of the first byte not consumed yet (the start of the next line).
    std::size_t Position() const noexcept { return m_pos; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// How many lines end in `text`: a CR, a CR LF pair and a lone LF each end one, and a CR at its
// very end ends one whatever follows. Counted from one line's start to another's, it is how far
// apart their numbers are.
std::size_t CountLineEnds(std::string_view text) noexcept;

// Length of the line terminator at the end of a raw line span (0, 1 or 2 bytes): what Next
// passes over after the span's line. A span is the bytes from one line's start up to the next
// line's start.
std::size_t TerminatorLength(std::string_view span) noexcept;

} // namespace ini

namespace ini {

// One line as CutCompleteLinesFast hands it out.
struct CutLine {
    std::string_view text;      // without its terminator
    std::size_t start;          // where it starts in the bytes being cut
    std::string_view firstWord; // what FirstWordOf(text) gives, found in the same pass
    // Where its spaces and semicolons are, when the line was short enough to be classed in that
    // pass (`classed`).
    LineBytes bytes;
    bool classed = false;
};

namespace detail {

// What up to 64 bytes from one place are: bit i stands for byte i; bits past the bytes looked
// at are clear.
struct ByteMasks {
    std::uint64_t lineBreak = 0; // CR or LF
    std::uint64_t space = 0;
    std::uint64_t semicolon = 0;
};

// The masks of the `count` bytes (at most 64) from `at`, one byte at a time.
inline ByteMasks MasksOfFew(const char* at, std::size_t count) noexcept {
    ByteMasks masks;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        const bool lineBreak = IsLineBreak(at[i]);
        masks.lineBreak |= lineBreak ? bit : 0;
        masks.space |= at[i] == ' ' ? bit : 0;
        masks.semicolon |= at[i] == ';' ? bit : 0;
    }
    return masks;
}

// The masks of the 64 bytes from `at`, sixteen at a time.
inline ByteMasks MasksOf64(const char* at) noexcept {
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const __m128i space = _mm_set1_epi8(' '), semicolon = _mm_set1_epi8(';');
    const auto load = [at](int part) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
    };
    const __m128i b0 = load(0), b1 = load(1), b2 = load(2), b3 = load(3);
    // Four sixteen-bit lane masks into one 64-bit mask, with constant shifts only.
    const auto join = [](__m128i m0, __m128i m1, __m128i m2, __m128i m3) {
        const auto lanes = [](__m128i m) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)));
        };
        return lanes(m0) | lanes(m1) << 16 | lanes(m2) << 32 | lanes(m3) << 48;
    };
    const auto lineBreak = [&](__m128i b) {
        return _mm_or_si128(_mm_cmpeq_epi8(b, cr), _mm_cmpeq_epi8(b, lf));
    };
    ByteMasks masks;
    masks.lineBreak = join(lineBreak(b0), lineBreak(b1), lineBreak(b2), lineBreak(b3));
    masks.space = join(_mm_cmpeq_epi8(b0, space), _mm_cmpeq_epi8(b1, space),
                       _mm_cmpeq_epi8(b2, space), _mm_cmpeq_epi8(b3, space));
    masks.semicolon = join(_mm_cmpeq_epi8(b0, semicolon), _mm_cmpeq_epi8(b1, semicolon),
                           _mm_cmpeq_epi8(b2, semicolon), _mm_cmpeq_epi8(b3, semicolon));
    return masks;
#else
    return MasksOfFew(at, 64);
#endif
}

// How CutCompleteLinesFast classes 64 bytes: Of64(at) gives what MasksOf64 gives.
struct Sse2Masks {
    static ByteMasks Of64(const char* at) noexcept { return MasksOf64(at); }
};

#ifdef INI_AVX2_MASKS
// Whether this processor, and the system, let the program use AVX2 and the bit instructions
// every processor with it has (BMI1, BMI2): what code compiled with INI_AVX2_TARGET needs.
inline bool CpuHasAvx2() noexcept {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                            __builtin_cpu_supports("bmi2");
    return has;
}
#define INI_AVX2_TARGET gnu::target("avx2,bmi,bmi2")

// The same, 32 bytes at a time, for processors with AVX2 (see CpuHasAvx2). Reading many files
// is mostly this classing: it makes the folder index about a tenth faster. Only a function
// compiled for AVX2 itself may inline it: WithFastestMasks runs a walk through one.
struct Avx2Masks {
    [[INI_AVX2_TARGET]] static ByteMasks Of64(const char* at) noexcept {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32));
        ByteMasks masks;
        masks.lineBreak = Join(_mm256_or_si256(Equal(low, '\r'), Equal(low, '\n')),
                               _mm256_or_si256(Equal(high, '\r'), Equal(high, '\n')));
        masks.space = Join(Equal(low, ' '), Equal(high, ' '));
        masks.semicolon = Join(Equal(low, ';'), Equal(high, ';'));
        return masks;
    }

private:
    [[INI_AVX2_TARGET]] static __m256i Equal(__m256i bytes, char c) noexcept {
        return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
    }
    // Two 32-bit lane masks into one 64-bit mask.
    [[INI_AVX2_TARGET]] static std::uint64_t Join(__m256i low, __m256i high) noexcept {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(low))) |
               static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(high))) << 32;
    }
};
#endif

// The masks of the `count` bytes (at most 64) from `at`: 64 at a time when `room` bytes may be
// read from there, with the bits past `count` cleared.
template <typename Masks = Sse2Masks>
inline ByteMasks MasksAt(const char* at, std::size_t count, std::size_t room) noexcept {
    if (room < 64)
        return MasksOfFew(at, count);
    ByteMasks masks = Masks::Of64(at);
    if (count < 64) {
        const std::uint64_t inBytes = LowBits(count);
        masks.lineBreak &= inBytes;
        masks.space &= inBytes;
        masks.semicolon &= inBytes;
    }
    return masks;
}

// The first word and byte masks of a line of `length` bytes (below 64) that starts at `line`,
// read off masks made from `shift` bytes before it.
inline void ClassFromMasks(const ByteMasks& masks, std::size_t shift, std::size_t length,
                           const char* line, CutLine& cut) noexcept {
    const std::uint64_t inLine = LowBits(length);
    const std::uint64_t spaces = (masks.space >> shift) & inLine;
    const std::uint64_t semicolons = (masks.semicolon >> shift) & inLine;
    // The word starts at the first non-space and ends at the next space, ";" or the line's end,
    // which the masks mark as the first bit past the line.
    const auto wordAt = static_cast<std::size_t>(std::countr_zero(~spaces));
    const std::uint64_t stops = spaces | semicolons | ~inLine;
    const auto wordLength = static_cast<std::size_t>(std::countr_zero(stops >> wordAt));
    cut.firstWord = std::string_view(line + wordAt, wordLength);
    cut.bytes.spaces = spaces;
    cut.bytes.semicolons = semicolons;
    cut.classed = true;
}

// Where the line after one whose end is at `end` (a CR, an LF, or the bytes' end) starts, or
// nothing while the bytes cannot tell yet: more may follow a last line or a CR at the very end
// unless `atEnd`.
inline std::optional<std::size_t> NextLineStart(std::string_view bytes, std::size_t end,
                                                bool atEnd) noexcept {
    if (end + 1 < bytes.size()) {
        // The usual case, without branches: one byte ends the line, or a CR LF pair does.
        std::uint16_t pair;
        std::memcpy(&pair, bytes.data() + end, sizeof pair);
        constexpr std::uint16_t crLf = std::endian::native == std::endian::little ? 0x0A0D : 0x0D0A;
        return end + 1 + (pair == crLf ? 1 : 0);
    }
    if (end == bytes.size())
        return atEnd ? std::optional<std::size_t>(end) : std::nullopt;
    if (bytes[end] != '\r')
        return end + 1;
    if (end + 1 == bytes.size())
        return atEnd ? std::optional<std::size_t>(end + 1) : std::nullopt;
    return bytes[end + 1] == '\n' ? end + 2 : end + 1;
}

#ifdef INI_AVX2_MASKS
// The walk compiled for AVX2, everything it calls inlined into it (so is the classing of bytes,
// which only such a function may inline).
template <typename Walk> [[INI_AVX2_TARGET, gnu::flatten]] auto WalkWithAvx2(Walk& walk) {
    return walk(Avx2Masks{});
}
#endif

} // namespace detail

// Gives walk(masks), masks being the fastest way to class bytes this processor has (see
// CutCompleteLinesFast): a walk over many or large files is mostly that classing.
template <typename Walk> auto WithFastestMasks(Walk&& walk) {
#ifdef INI_AVX2_MASKS
    if (detail::CpuHasAvx2())
        return detail::WalkWithAvx2(walk);
#endif
    return walk(detail::Sse2Masks{});
}

// Cuts the lines at the front of `bytes` whose end is known, calling onLine(CutLine) for each:
// the lines LineEndScanner gives, with their first words as FirstWordOf finds them.
// Within a text that goes on (`atEnd` false) a line ending in CR waits for the next byte, which
// may make it CR LF, and a last line without terminator waits too. `onLine` returns false to
// stop at once. Gives the offset of the first byte not consumed: the start of the first line not
// handed out.
//
// One look at each byte serves both the line ends and the first words: the bytes are classed 64
// at a time into bit masks, and a line that fits in the masks already made is cut with a few bit
// operations. Only a line longer than that is searched again. `readable` (at least the size of
// `bytes`) says how many bytes from the start may be read: classing 64 at a time beyond the end
// of a few short lines is faster than one at a time.
//
// `Masks` classes 64 bytes at a time (detail::Sse2Masks or, on a processor that has it,
// detail::Avx2Masks).
template <typename Masks = detail::Sse2Masks, typename OnLine>
std::size_t CutCompleteLinesFast(std::string_view bytes, bool atEnd, OnLine&& onLine,
                                 std::size_t readable = 0) {
    const char* const data = bytes.data();
    const std::size_t size = bytes.size();
    readable = std::max(readable, size);
    detail::ByteMasks masks;
    std::size_t masked = 0;      // where the masks start
    std::size_t maskedCount = 0; // how many bytes they stand for
    std::size_t start = 0;
    while (start < size) {
        std::size_t shift = start - masked;
        std::uint64_t lineBreaks = shift < maskedCount ? masks.lineBreak >> shift : 0;
        if (lineBreaks == 0) {
            masked = start;
            maskedCount = std::min<std::size_t>(64, size - start);
            masks = detail::MasksAt<Masks>(data + start, maskedCount, readable - start);
            shift = 0;
            lineBreaks = masks.lineBreak;
        }
        std::size_t end;
        CutLine cut;
        if (lineBreaks != 0) {
            const auto length = static_cast<std::size_t>(std::countr_zero(lineBreaks));
            end = start + length;
            detail::ClassFromMasks(masks, shift, length, data + start, cut);
        } else {
            // A line longer than the masks reach, or one that runs to the end of the bytes.
            end = FindLineBreak(bytes, masked + maskedCount);
            cut.firstWord = FirstWordOf(bytes.substr(start, end - start));
        }
        const std::optional<std::size_t> next = detail::NextLineStart(bytes, end, atEnd);
        if (!next)
            break;
        cut.text = std::string_view(data + start, end - start);
        cut.start = start;
        if (!onLine(std::as_const(cut)))
            return start;
        start = *next;
    }
    return start;
}

} // namespace ini
