#include "notepad/line_match.h"

#include <QHash>

#include <algorithm>
#include <optional>
#include <utility>

namespace ini {

namespace {

using Pairs = std::vector<std::pair<qsizetype, qsizetype>>;

// Beyond this many inserted and deleted lines between the shared start and end, the shortest
// edit script costs too much time and memory.
constexpr qsizetype kMaxEdits = 1000;

// Lines equal in a[a0, a1) and b[b0, b1) along a shortest edit script (Myers' greedy
// algorithm), in order; nothing when it needs more than kMaxEdits edits.
std::optional<Pairs> CommonLines(const std::vector<QString>& a, qsizetype a0, qsizetype a1,
                                 const std::vector<QString>& b, qsizetype b0, qsizetype b1) {
    const qsizetype n = a1 - a0;
    const qsizetype m = b1 - b0;
    const qsizetype offset = kMaxEdits + 1;
    std::vector<qsizetype> v(static_cast<std::size_t>(2 * offset + 1), 0);
    const auto at = [&](qsizetype k) -> qsizetype& {
        return v[static_cast<std::size_t>(k + offset)];
    };
    // trace[d][k + d]: the furthest x on diagonal k after d edits.
    std::vector<std::vector<qsizetype>> trace;
    const auto furthest = [&](qsizetype d, qsizetype k) {
        return trace[static_cast<std::size_t>(d)][static_cast<std::size_t>(k + d)];
    };
    const auto goesDown = [](qsizetype d, qsizetype k, auto&& x) {
        return k == -d || (k != d && x(k - 1) < x(k + 1));
    };

    for (qsizetype d = 0; d <= std::min(kMaxEdits, n + m); ++d) {
        bool done = false;
        for (qsizetype k = -d; k <= d; k += 2) {
            qsizetype x = goesDown(d, k, at) ? at(k + 1) : at(k - 1) + 1;
            qsizetype y = x - k;
            while (x < n && y < m && a[a0 + x] == b[b0 + y])
                ++x, ++y;
            at(k) = x;
            done = done || (x >= n && y >= m);
        }
        trace.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
        if (!done)
            continue;

        Pairs pairs;
        qsizetype x = n;
        qsizetype y = m;
        for (; d > 0; --d) {
            const qsizetype k = x - y;
            const auto before = [&](qsizetype kk) { return furthest(d - 1, kk); };
            const qsizetype previousK = goesDown(d, k, before) ? k + 1 : k - 1;
            const qsizetype previousX = furthest(d - 1, previousK);
            const qsizetype previousY = previousX - previousK;
            while (x > previousX && y > previousY)
                pairs.emplace_back(a0 + --x, b0 + --y);
            x = previousX;
            y = previousY;
        }
        while (x > 0 && y > 0)
            pairs.emplace_back(a0 + --x, b0 + --y);
        std::reverse(pairs.begin(), pairs.end());
        return pairs;
    }
    return std::nullopt;
}

// Lines that stand once in a[a0, a1) and once in b[b0, b1), the longest chain of them in an
// order both keep (as patience diff finds it): where the edit script costs too much, these
// anchor the rest, and a large paste that left most lines as they were keeps them.
Pairs UniqueCommonLines(const std::vector<QString>& a, qsizetype a0, qsizetype a1,
                        const std::vector<QString>& b, qsizetype b0, qsizetype b1) {
    constexpr qsizetype repeated = -2;
    struct Places {
        qsizetype inA = -1;
        qsizetype inB = -1;
    };
    QHash<QString, Places> places;
    const auto note = [](qsizetype& place, qsizetype i) { place = place == -1 ? i : repeated; };
    for (qsizetype i = a0; i < a1; ++i)
        note(places[a[i]].inA, i);
    for (qsizetype i = b0; i < b1; ++i)
        note(places[b[i]].inB, i);
    Pairs candidates; // in the order of b
    for (qsizetype i = b0; i < b1; ++i) {
        const Places& found = places[b[i]];
        if (found.inA >= 0 && found.inB == i)
            candidates.emplace_back(found.inA, i);
    }
    // The longest chain rising in a: tails[l] ends the best chain of l + 1 found so far, and
    // each candidate links to the one before it in its chain (to itself when it starts one).
    std::vector<std::size_t> tails;
    std::vector<std::size_t> before(candidates.size());
    const auto lowerInA = [&](std::size_t c, std::size_t d) {
        return candidates[c].first < candidates[d].first;
    };
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        const auto rank = std::lower_bound(tails.begin(), tails.end(), c, lowerInA);
        before[c] = rank == tails.begin() ? c : *(rank - 1);
        if (rank == tails.end())
            tails.push_back(c);
        else
            *rank = c;
    }
    Pairs chain;
    if (!tails.empty()) {
        for (std::size_t c = tails.back();; c = before[c]) {
            chain.push_back(candidates[c]);
            if (before[c] == c)
                break;
        }
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

// The lines equal in both ranges, in order: along a shortest edit script, or for an edit too
// large for one, through the lines that stand once in both, with a shortest script between them.
Pairs CommonLinesOfAnyEdit(const std::vector<QString>& a, qsizetype a0, qsizetype a1,
                           const std::vector<QString>& b, qsizetype b0, qsizetype b1) {
    if (std::optional<Pairs> pairs = CommonLines(a, a0, a1, b, b0, b1))
        return std::move(*pairs);
    Pairs anchors = UniqueCommonLines(a, a0, a1, b, b0, b1);
    anchors.emplace_back(a1, b1);
    Pairs pairs;
    qsizetype aFrom = a0;
    qsizetype bFrom = b0;
    for (const auto& [aAt, bAt] : anchors) {
        const Pairs between = CommonLines(a, aFrom, aAt, b, bFrom, bAt).value_or(Pairs{});
        pairs.insert(pairs.end(), between.begin(), between.end());
        if (aAt < a1)
            pairs.emplace_back(aAt, bAt);
        aFrom = aAt + 1;
        bFrom = bAt + 1;
    }
    return pairs;
}

} // namespace

std::vector<qsizetype> MatchLines(const std::vector<QString>& loaded,
                                  const std::vector<QString>& edited) {
    const auto n = static_cast<qsizetype>(loaded.size());
    const auto m = static_cast<qsizetype>(edited.size());
    std::vector<qsizetype> match(edited.size(), -1);
    const auto pair = [&](qsizetype old, qsizetype now) {
        match[static_cast<std::size_t>(now)] = old;
    };

    // Most edits leave a long shared start and end; only the rest needs the edit script.
    qsizetype head = 0;
    while (head < n && head < m && loaded[head] == edited[head])
        pair(head, head), ++head;
    qsizetype tail = 0;
    while (tail < n - head && tail < m - head && loaded[n - 1 - tail] == edited[m - 1 - tail])
        pair(n - 1 - tail, m - 1 - tail), ++tail;

    Pairs anchors = CommonLinesOfAnyEdit(loaded, head, n - tail, edited, head, m - tail);
    anchors.emplace_back(n - tail, m - tail);
    qsizetype oldStart = head;
    qsizetype newStart = head;
    for (const auto& [oldEnd, newEnd] : anchors) {
        for (qsizetype i = 1; i <= std::min(oldEnd - oldStart, newEnd - newStart); ++i)
            pair(oldEnd - i, newEnd - i);
        if (oldEnd < n - tail)
            pair(oldEnd, newEnd);
        oldStart = oldEnd + 1;
        newStart = newEnd + 1;
    }
    return match;
}

} // namespace ini
