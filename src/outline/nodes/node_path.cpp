#include "outline/nodes/node_path.h"

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
    const auto look = [&](std::size_t root, std::string_view line) {
        const std::string_view text = StepText(line);
        if (made != nullptr)
            made->push_back(HashOf(text));
        if (const auto found = wanted.find(text); found != wanted.end())
            onRoot(OutlineNodes::RootAt(root), NodeStep{std::string(text), found->second++});
    };
    OutlineNodes::Cursor cursor;
    OutlineNodes::Cursor aheadCursor;
    const auto lineOf = [&](std::size_t root) {
        // The roots a few ahead are on their way from memory while this one is cut.
        constexpr std::size_t ahead = 8;
        for (std::size_t next = root == 0 ? 0 : root + ahead;
             next <= root + ahead && next < outline.RootCount(); ++next)
            lines.PrefetchLine(outline.KeyOf(OutlineNodes::RootAt(next), aheadCursor).line);
        return lines.Line(outline.KeyOf(OutlineNodes::RootAt(root), cursor).line);
    };
    if (known.size() == outline.RootCount()) {
        std::vector<bool> shared(std::size_t{1} << 16);
        for (const auto& [text, count] : wanted)
            shared[HashOf(text)] = true;
        for (std::size_t root = 0; root < outline.RootCount(); ++root)
            if (shared[known[root]])
                look(root, lineOf(root));
        return;
    }
    if (made != nullptr)
        made->reserve(outline.RootCount());
    // A line is found from the mark before it, a few lines at most; where roots are that dense,
    // one pass over every line costs less.
    if (outline.RootCount() * (LineStore::linesPerMark / 2) < lines.Count()) {
        for (std::size_t root = 0; root < outline.RootCount(); ++root)
            look(root, lineOf(root));
        return;
    }
    std::size_t root = 0;
    LineIndex rootLine = outline.KeyOf(OutlineNodes::RootAt(0), cursor).line;
    LineIndex index = 0;
    lines.CutLines(0, lines.Count() - 1, [&](const CutLine& line) {
        if (index++ != rootLine)
            return true;
        look(root, line.text);
        if (++root == outline.RootCount())
            return false;
        rootLine = outline.KeyOf(OutlineNodes::RootAt(root), cursor).line;
        return true;
    });
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
