#include "outline/find/outline_search.h"

#include "outline/nodes/outline_nodes.h"
#include "parse/keywords.h"
#include "parse/line_splitter.h"

#include <algorithm>
#include <cstring>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ini {

namespace {

using NodeId = OutlineNodes::NodeId;

// One byte of a lower-case needle and what to OR into a text byte before comparing with it:
// 0x20 folds ASCII capitals for letters; other bytes compare exactly.
struct FoldedByte {
    char byte;
    char fold;
    explicit FoldedByte(char lower) : byte(lower), fold(lower >= 'a' && lower <= 'z' ? 0x20 : 0) {}
    bool Matches(char c) const noexcept { return static_cast<char>(c | fold) == byte; }
};

bool RestMatches(const char* at, std::string_view needle) noexcept {
    for (std::size_t i = 1; i < needle.size(); ++i) {
        if (ToLowerAscii(at[i]) != needle[i])
            return false;
    }
    return true;
}

// The first place at or after `from` and before `limit` where `needle` (lower case) starts and
// ends by `end`; nullptr when there is none. Sixteen places are tested at once on the needle's
// first and last byte, so most of a large text is passed over without a byte-wise loop.
const char* FindFolded(const char* from, const char* limit, const char* end,
                       std::string_view needle) noexcept {
    if (needle.empty())
        return from < limit ? from : nullptr;
    const std::size_t span = needle.size() - 1;
    if (end - from <= static_cast<std::ptrdiff_t>(span))
        return nullptr;
    limit = std::min(limit, end - span);
    const FoldedByte first(needle.front()), last(needle.back());
    const char* at = from;
#ifdef __SSE2__
    const __m128i firstByte = _mm_set1_epi8(first.byte), firstFold = _mm_set1_epi8(first.fold);
    const __m128i lastByte = _mm_set1_epi8(last.byte), lastFold = _mm_set1_epi8(last.fold);
    for (; limit - at >= 16; at += 16) {
        const auto* const head = reinterpret_cast<const __m128i*>(at);
        const auto* const tail = reinterpret_cast<const __m128i*>(at + span);
        const __m128i heads =
            _mm_cmpeq_epi8(_mm_or_si128(_mm_loadu_si128(head), firstFold), firstByte);
        const __m128i tails =
            _mm_cmpeq_epi8(_mm_or_si128(_mm_loadu_si128(tail), lastFold), lastByte);
        for (auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(heads, tails)));
             bits != 0; bits &= bits - 1) {
            const char* const candidate = at + __builtin_ctz(bits);
            if (RestMatches(candidate, needle))
                return candidate;
        }
    }
#endif
    for (; at < limit; ++at) {
        if (first.Matches(*at) && last.Matches(at[span]) && RestMatches(at, needle))
            return at;
    }
    return nullptr;
}

// The longest run of the needle without spaces. Only spaces are changed when a line becomes a
// node text (trimmed, collapsed, four put before the comment), so any line whose node text holds
// the needle holds this run as it stands: a cheap test that turns most lines away unparsed.
std::string_view LongestWord(std::string_view needle) {
    std::string_view best;
    std::size_t start = 0;
    while (start < needle.size()) {
        const std::size_t end = std::min(needle.find(' ', start), needle.size());
        if (end - start > best.size())
            best = needle.substr(start, end - start);
        start = end + 1;
    }
    return best;
}

// Whether a line split into content and comment holds the needle in its node text (content,
// four spaces, comment) without joining the parts: a match lies in one part or spans the seam.
bool NodeTextHolds(const SplitLine& split, std::string_view needle, std::string& seam) {
    if (ContainsFolded(split.content, needle))
        return true;
    if (!split.HasComment())
        return false;
    if (ContainsFolded(split.commentTail, needle))
        return true;
    const std::size_t reach = needle.size() - 1;
    seam.assign(split.content.substr(split.content.size() - std::min(reach, split.content.size())));
    seam.append(SplitLine::commentLead);
    seam.append(split.commentTail.substr(0, reach));
    return ContainsFolded(seam, needle);
}

} // namespace

bool CommentPlanBuilder::Step(const OutlineNodes& nodes, std::size_t roots) {
    // Every node in file order: each root, then its block's nodes.
    const std::size_t end = std::min(nodes.RootCount(), m_nextRoot + roots);
    for (; m_nextRoot < end; ++m_nextRoot) {
        const NodeId root = OutlineNodes::RootAt(m_nextRoot);
        for (std::size_t place = 0, size = nodes.BlockSize(root); place < size; ++place) {
            const NodeId id = root | place;
            if (nodes.ShowsComment(id, m_cursor) != m_plan.m_switchOn)
                m_plan.m_flipped.push_back(
                    static_cast<std::uint32_t>(nodes.KeyOf(id, m_cursor).line));
        }
    }
    return m_nextRoot >= nodes.RootCount();
}

bool CommentPlan::ShowsComment(LineIndex line) const noexcept {
    const bool flipped =
        !m_flipped.empty() && std::binary_search(m_flipped.begin(), m_flipped.end(), line);
    return m_switchOn != flipped;
}

std::optional<NodeKey> RootHolding(const OutlineNodes& nodes, LineIndex line) noexcept {
    const OutlineNodes::NodeId root = nodes.RootAtOrBefore(NodeKey{line});
    if (root == OutlineNodes::none)
        return std::nullopt;
    return nodes.KeyOf(root);
}

bool IsNodeLine(std::string_view line) noexcept {
    const std::string_view word = FirstWordOf(line);
    if (word.empty())
        return false;
    return !(word.size() == 3 && ToLowerAscii(word[0]) == 'e' && ToLowerAscii(word[1]) == 'n' &&
             ToLowerAscii(word[2]) == 'd');
}

bool ContainsFolded(std::string_view text, std::string_view needle) noexcept {
    const char* const end = text.data() + text.size();
    return FindFolded(text.data(), end, end, needle) != nullptr;
}

OutlineSearch::~OutlineSearch() {
    Stop();
}

void OutlineSearch::Start(const LineStore& lines, std::string_view needle,
                          std::shared_ptr<const CommentPlan> plan) {
    Reset();
    if (needle.empty())
        return;
    m_complete = false;
    m_stop = false;
    const auto cutShort = [this] {
        const std::lock_guard lock(m_mutex);
        m_complete = true;
        m_cutShort = true;
    };
    try {
        m_worker.Run(
            [this, &lines, lower = ToLowerAscii(needle), plan = std::move(plan), cutShort] {
                try {
                    Scan(lines, lower, *plan);
                } catch (const std::bad_alloc&) {
                    cutShort();
                }
            });
    } catch (const std::bad_alloc&) {
        cutShort(); // no room even to start: nothing found, and it says why
    }
}

void OutlineSearch::Stop() {
    m_stop = true;
    m_worker.Wait();
}

void OutlineSearch::Reset() {
    Stop();
    const std::lock_guard lock(m_mutex);
    std::vector<std::uint32_t>().swap(m_matches);
    m_scanned = 0;
    m_complete = true;
    m_cutShort = false;
}

void OutlineSearch::Scan(const LineStore& lines, std::string_view needle, const CommentPlan& plan) {
    std::vector<std::uint32_t> found;
    const std::size_t count = lines.Count();
    // The store keeps its lines in order in one buffer: the whole text is searched for the
    // needle's longest word and each place found is traced back to its line, which is then
    // judged as a whole. Stretches of a few hundred kilobytes keep a stop prompt and let the
    // matches out while the scan goes on.
    constexpr std::ptrdiff_t stretch = std::ptrdiff_t{1} << 18;
    const std::string_view word = LongestWord(needle);
    const std::string_view last = count == 0 ? std::string_view() : lines.Line(count - 1);
    const char* const end = last.data() + last.size();
    LineSplitter splitter;
    std::string seam;
    LineIndex next = 0; // lines before it are judged
    LineStore::PlacedLine nextLine;
    if (count > 0)
        nextLine = lines.PlaceLine(0);
    const char* at = count == 0 ? end : nextLine.text.data();
    const char* published = at;
    while (at < end) {
        if (m_stop.load(std::memory_order_relaxed))
            return;
        const char* const limit = end - at > stretch ? at + stretch : end;
        if (const char* const hit = FindFolded(at, limit, end, word)) {
            const LineStore::PlacedLine line = lines.LineHolding(nextLine, hit);
            if (IsNodeLine(line.text) &&
                NodeTextHolds(splitter.ParseLine(line.text, plan.ShowsComment(line.index)), needle,
                              seam))
                found.push_back(static_cast<std::uint32_t>(line.index));
            next = line.index + 1;
            if (next < count) {
                nextLine = lines.NextLine(line);
                at = nextLine.text.data();
            } else {
                at = end;
            }
        } else {
            at = limit;
            nextLine = lines.LineHolding(nextLine, at);
            next = nextLine.index;
        }
        if (at - published >= stretch) {
            Publish(found, next, false);
            published = at;
        }
    }
    Publish(found, count, true);
}

void OutlineSearch::Publish(std::vector<std::uint32_t>& found, std::size_t scanned, bool complete) {
    // Growing copies every match so far, which takes long enough for the window to notice if it
    // waited on the lock meanwhile: the copy is made outside it. Only this thread changes the
    // matches while it runs, so reading them unlocked here is safe.
    std::vector<std::uint32_t> grown;
    if (m_matches.size() + found.size() > m_matches.capacity()) {
        grown.reserve(std::max(2 * m_matches.capacity(), m_matches.size() + found.size()));
        grown.assign(m_matches.begin(), m_matches.end());
    }
    {
        const std::lock_guard lock(m_mutex);
        if (grown.capacity() > 0)
            m_matches.swap(grown);
        m_matches.insert(m_matches.end(), found.begin(), found.end());
        m_scanned = scanned;
        m_complete = complete;
    }
    found.clear();
}

OutlineSearch::Answer OutlineSearch::Next(LineIndex line, bool inclusive) const {
    const std::lock_guard lock(m_mutex);
    const auto after = inclusive ? std::lower_bound(m_matches.begin(), m_matches.end(), line)
                                 : std::upper_bound(m_matches.begin(), m_matches.end(), line);
    // Matches are found in file order, so a known one after `line` is the next one.
    if (after != m_matches.end())
        return {State::Found, *after};
    return WrappedTo(m_matches.begin());
}

OutlineSearch::Answer OutlineSearch::Previous(LineIndex line) const {
    const std::lock_guard lock(m_mutex);
    // Lines the scan has not reached may hold matches between the known ones and `line`.
    if (!m_complete && line > m_scanned)
        return {State::Pending};
    const auto before = std::lower_bound(m_matches.begin(), m_matches.end(), line);
    if (before != m_matches.begin())
        return {State::Found, *(before - 1)};
    return WrappedTo(m_matches.end() - (m_matches.empty() ? 0 : 1));
}

OutlineSearch::Answer
OutlineSearch::WrappedTo(std::vector<std::uint32_t>::const_iterator match) const {
    // Past the last match (or before the first) the search goes round, once it knows them all.
    if (!m_complete)
        return {State::Pending};
    if (m_matches.empty())
        return {State::None};
    return {State::Found, *match};
}

OutlineSearch::Tally OutlineSearch::Count(std::optional<LineIndex> at) const {
    const std::lock_guard lock(m_mutex);
    Tally tally{m_matches.size(), m_complete, 0, m_cutShort};
    if (at) {
        const auto found = std::lower_bound(m_matches.begin(), m_matches.end(), *at);
        if (found != m_matches.end() && *found == *at)
            tally.ordinal = static_cast<std::size_t>(found - m_matches.begin()) + 1;
    }
    return tally;
}

} // namespace ini
