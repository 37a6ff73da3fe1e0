#include "outline/nodes/node_path.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace ini {

namespace {

using NodeId = OutlineNodes::NodeId;

std::string_view StepText(std::string_view line) noexcept {
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t") + 1 - first);
}

std::uint16_t HashOf(std::string_view text) noexcept {
    const std::size_t hash = std::hash<std::string_view>{}(text);
    return static_cast<std::uint16_t>(hash ^ hash >> 16 ^ hash >> 32 ^ hash >> 48);
}

LineIndex RootLine(const OutlineNodes& outline, std::size_t root, OutlineNodes::Cursor& cursor) {
    return outline.KeyOf(OutlineNodes::RootAt(root), cursor).line;
}

// The lines of roots [from, to) in root order: `onRoot(root, line)` until it returns false.
template <typename OnRoot>
void EachRootLine(const OutlineNodes& outline, const LineStore& lines, std::size_t from,
                  std::size_t to, OnRoot&& onRoot) {
    if (from >= to)
        return;
    OutlineNodes::Cursor cursor;
    const LineIndex first = RootLine(outline, from, cursor);
    OutlineNodes::Cursor lastCursor;
    const LineIndex last = RootLine(outline, to - 1, lastCursor);
    // A line is found from the mark before it, a few lines at most; where roots are that dense,
    // one pass over every line between costs less.
    if ((to - from) * (LineStore::linesPerMark / 2) >= last - first) {
        std::size_t root = from;
        LineIndex rootLine = first;
        LineIndex index = first;
        lines.CutLines(first, last, [&](const CutLine& line) {
            if (index++ != rootLine)
                return true;
            if (!onRoot(root, line.text) || ++root == to)
                return false;
            rootLine = RootLine(outline, root, cursor);
            return true;
        });
        return;
    }
    OutlineNodes::Cursor aheadCursor;
    // The roots a few ahead are on their way from memory while this one is cut.
    constexpr std::size_t ahead = 8;
    for (std::size_t next = from; next < std::min(from + ahead, to); ++next)
        lines.PrefetchLine(RootLine(outline, next, aheadCursor));
    for (std::size_t root = from; root < to; ++root) {
        if (root + ahead < to)
            lines.PrefetchLine(RootLine(outline, root + ahead, aheadCursor));
        if (!onRoot(root, lines.Line(RootLine(outline, root, cursor))))
            return;
    }
}

// Every root's line with how many roots before it have the same text, for the roots whose text
// `wanted` holds (most texts are not: they are hashed and passed over). `onRoot(id, step)`.
// With `known` hashes of the outline's roots, only the lines of roots whose hash a wanted text
// shares are looked at; without, every root's is, and `made` gets their hashes.
template <typename OnRoot>
void EachWantedRoot(const OutlineNodes& outline, const LineStore& lines,
                    std::unordered_map<std::string_view, std::size_t>& wanted,
                    const RootTextHashes& known, RootTextHashes* made, OnRoot&& onRoot) {
    if (made != nullptr)
        made->clear();
    if (outline.RootCount() == 0 || lines.Empty() || wanted.empty())
        return;
    // A text whose hash no wanted text shares is not looked up.
    std::vector<bool> shared(std::size_t{1} << 16);
    for (const auto& [text, count] : wanted)
        shared[HashOf(text)] = true;
    const auto look = [&](std::size_t root, std::string_view line) {
        const std::string_view text = StepText(line);
        const std::uint16_t hash = HashOf(text);
        if (made != nullptr)
            made->push_back(hash);
        if (!shared[hash])
            return true;
        if (const auto found = wanted.find(text); found != wanted.end())
            onRoot(OutlineNodes::RootAt(root), NodeStep{std::string(text), found->second++});
        return true;
    };
    if (known.size() == outline.RootCount()) {
        for (std::size_t root = 0; root < outline.RootCount(); ++root)
            if (shared[known[root]])
                EachRootLine(outline, lines, root, root + 1, look);
        return;
    }
    if (made != nullptr)
        made->reserve(outline.RootCount());
    EachRootLine(outline, lines, 0, outline.RootCount(), look);
}

// The step from the root down to `node`, innermost last.
std::vector<NodeId> Ancestry(const OutlineNodes& outline, NodeId node) {
    std::vector<NodeId> chain;
    for (NodeId at = node; at != OutlineNodes::none; at = outline.ParentOf(at))
        chain.insert(chain.begin(), at);
    return chain;
}

NodeStep StepOf(const OutlineNodes& outline, const LineStore& lines, NodeId parent, NodeId node) {
    const std::string_view text = StepText(lines.Line(outline.KeyOf(node).line));
    NodeStep step{std::string(text), 0};
    OutlineNodes::Cursor cursor;
    for (std::size_t row = 0, rows = outline.ChildCountOf(parent); row < rows; ++row) {
        const NodeId sibling = outline.ChildAt(parent, row, cursor);
        if (sibling == node)
            break;
        if (StepText(lines.Line(outline.KeyOf(sibling).line)) == text)
            ++step.occurrence;
    }
    return step;
}

} // namespace

std::vector<NodePath> PathsOf(const OutlineNodes& outline, const LineStore& lines,
                              const std::vector<NodeId>& nodes, const RootTextHashes& known) {
    std::vector<NodePath> paths(nodes.size());
    std::unordered_map<NodeId, std::vector<std::size_t>> byRoot;
    std::unordered_map<std::string_view, std::size_t> wanted;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const std::vector<NodeId> chain = Ancestry(outline, nodes[i]);
        byRoot[chain.front()].push_back(i);
        wanted.try_emplace(StepText(lines.Line(outline.KeyOf(chain.front()).line)), 0);
        paths[i].resize(1);
        for (std::size_t level = 1; level < chain.size(); ++level)
            paths[i].push_back(StepOf(outline, lines, chain[level - 1], chain[level]));
    }
    EachWantedRoot(outline, lines, wanted, known, nullptr, [&](NodeId root, const NodeStep& step) {
        if (const auto found = byRoot.find(root); found != byRoot.end())
            for (const std::size_t i : found->second)
                paths[i].front() = step;
    });
    return paths;
}

std::vector<NodeId> FindRoots(const OutlineNodes& outline, const LineStore& lines,
                              const std::vector<NodePath>& paths, RootTextHashes* made) {
    std::vector<NodeId> roots(paths.size(), OutlineNodes::none);
    std::unordered_map<std::string_view, std::size_t> wanted;
    std::map<std::pair<std::string_view, std::size_t>, std::vector<std::size_t>> byStep;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (paths[i].empty())
            continue;
        wanted.try_emplace(paths[i].front().text, 0);
        byStep[{paths[i].front().text, paths[i].front().occurrence}].push_back(i);
    }
    EachWantedRoot(outline, lines, wanted, {}, made, [&](NodeId root, const NodeStep& step) {
        if (const auto found = byStep.find({step.text, step.occurrence}); found != byStep.end())
            for (const std::size_t i : found->second)
                roots[i] = root;
    });
    return roots;
}

bool HashMoreRoots(const OutlineNodes& outline, const LineStore& lines, RootTextHashes& hashes,
                   std::size_t count) {
    if (hashes.size() > outline.RootCount())
        hashes.clear(); // another outline's
    const std::size_t from = hashes.size();
    const std::size_t to = from + std::min(count, outline.RootCount() - from);
    hashes.reserve(outline.RootCount());
    EachRootLine(outline, lines, from, to, [&](std::size_t, std::string_view line) {
        hashes.push_back(HashOf(StepText(line)));
        return true;
    });
    return hashes.size() == outline.RootCount();
}

NodeId FindBelow(const OutlineNodes& outline, const LineStore& lines, NodeId root,
                 const NodePath& path) {
    NodeId at = root;
    for (std::size_t level = 1; level < path.size() && at != OutlineNodes::none; ++level) {
        const NodeId parent = at;
        at = OutlineNodes::none;
        std::size_t seen = 0;
        OutlineNodes::Cursor cursor;
        for (std::size_t row = 0, rows = outline.ChildCountOf(parent); row < rows; ++row) {
            const NodeId child = outline.ChildAt(parent, row, cursor);
            if (StepText(lines.Line(outline.KeyOf(child).line)) == path[level].text &&
                seen++ == path[level].occurrence) {
                at = child;
                break;
            }
        }
    }
    return at;
}

} // namespace ini
