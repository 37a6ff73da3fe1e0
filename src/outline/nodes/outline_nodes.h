#pragma once

#include "outline/nodes/outline_tree.h"
#include "parse/big_buffer.h"

#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ini {

// Node storage behind both outline trees, in flat arrays.
//
// Root nodes are the bulk of a large file's outline, so roots are kept as bits over the lines,
// 64 lines to a group: whether a line holds a root, and that root's flags. A group also counts
// the roots before it, so a line's root is found by counting bits, and a root's line by a search
// over the groups (or a step from a Cursor that its reader keeps). The nodes of filled blocks
// share one pool, a block's nodes side by side in file order, which is also the tree's
// depth-first order: a node's first child is the node after it, and its next sibling the first
// node after its descendants. Keys are line indices and nodes keep file order (roots rise; a
// block's nodes rise and lie between its root's line and the next root's), so an inner key is
// found by a binary search in its root's block.
//
// Const members only read, so an outline that nobody changes may be read from several threads.
class OutlineNodes {
public:
    // A node: its root's position in the upper 32 bits, its position in that root's block below
    // (0 for the root itself). Stable for as long as the outline is not cleared.
    using NodeId = std::uint64_t;
    static constexpr NodeId none = UINT64_MAX;

    struct ChildAdd {
        AddResult result;
        NodeId node = none;         // the child, when it was added
        NodeId parent = none;       // the node it went under
        std::size_t childCount = 0; // the parent's children, the new one included
    };

    void Clear();
    // A new last root; its line must lie after every node's line so far. `opensBlock` says
    // whether its line opens a block, when the caller knows.
    AddResult AddRoot(NodeKey key, bool showsComment, std::optional<bool> opensBlock = {}) {
        // A load adds millions of roots in rising order before any block is filled: that case
        // is told apart at once, the rest is checked in full.
        if (m_blocks.empty() && key.line < noBlock && m_rootCount < noBlock &&
            (m_rootCount == 0 || key.line > m_lastRootLine)) {
            Append(key, showsComment, opensBlock);
            return AddResult::Added;
        }
        return AddRootChecked(key, showsComment, opensBlock);
    }
    // A new last child of `relative`, inside the block of `relative`'s root. So that file order
    // stays depth-first order, `relative` must be the block's last node or one of its ancestors,
    // as the innermost open block always is during a walk; any other is OutOfOrder.
    ChildAdd AddChild(NodeKey relative, NodeKey key, bool showsComment) {
        // A fill adds its block's nodes one after another, so an add after the last node of the
        // block grown last needs only the walk up to its relative; the rest is checked in full.
        if (m_growing != noBlock) {
            Block& block = m_blocks[m_growing];
            const Inner* const nodes = m_pool.data() + block.first;
            std::uint32_t parent = block.size - 1;
            if (relative.line >= nodes[0].line && key.line > nodes[parent].line &&
                key.line < m_growingLimit && block.size < commentBit) {
                while (parent != 0 && nodes[parent].line > relative.line)
                    parent = ParentIn(nodes, parent);
                if (nodes[parent].line == relative.line)
                    return AppendChild(m_growingRoot, block, parent, key, showsComment);
            }
        }
        return AddChildChecked(relative, key, showsComment);
    }

    // Takes away every node under root `key` and gives the pool's room they held back: a fill
    // that ran out of memory leaves the root unfilled, as it was, not a block cut short.
    void DropChildren(NodeKey key) noexcept;

    NodeId Find(NodeKey key) const noexcept {
        if (RootBit(key.line, &LineGroup::roots))
            return RootAt(RootsBefore(key.line));
        return FindInBlock(key);
    }
    // Whether `id` names a node of this outline (ids from before a Clear() may not).
    bool IsNode(NodeId id) const noexcept;
    std::size_t Size() const noexcept { return m_rootCount + m_childCount; }

    // Where a reader's last looks by position ended: at a root, and at a row under a parent. A
    // reader that goes through roots or rows in order (a view laying out and painting rows, a
    // pass over the whole outline) keeps one and hands it in, so that the next root's line, or
    // the next row, is a step from there instead of a search; the outline keeps nothing of it.
    // One from another outline, or from before a Clear(), is noticed and costs the search.
    class Cursor {
        friend class OutlineNodes;
        std::uint64_t m_outline = 0; // the stamp of the outline it speaks of
        std::size_t m_root = SIZE_MAX;
        LineIndex m_line = 0;
        NodeId m_parent = none;
        std::uint32_t m_row = 0;
        std::uint32_t m_place = 0;
    };

    OutlineNodes() noexcept : m_stamp(NewStamp()) {}

    NodeKey KeyOf(NodeId id) const noexcept {
        Cursor fresh;
        return KeyOf(id, fresh);
    }
    NodeKey KeyOf(NodeId id, Cursor& cursor) const noexcept;
    bool ShowsComment(NodeId id) const noexcept {
        Cursor fresh;
        return ShowsComment(id, fresh);
    }
    bool ShowsComment(NodeId id, Cursor& cursor) const noexcept;
    // Whether the node's line opens a block (known for roots only; a block's inner nodes say no).
    bool OpensBlock(NodeId id) const noexcept {
        Cursor fresh;
        return OpensBlock(id, fresh);
    }
    bool OpensBlock(NodeId id, Cursor& cursor) const noexcept;
    NodeId ParentOf(NodeId id) const noexcept;
    std::size_t RowOf(NodeId id) const noexcept;
    std::size_t ChildCountOf(NodeId id) const noexcept;
    // A binary search over the parent's descendants, or a step from the row before when the
    // cursor was left there; `row` must be below ChildCountOf(id).
    NodeId ChildAt(NodeId id, std::size_t row) const noexcept;
    NodeId ChildAt(NodeId id, std::size_t row, Cursor& cursor) const noexcept;
    std::size_t RootCount() const noexcept { return m_rootCount; }
    // The last root at or before `line`, or none.
    NodeId RootAtOrBefore(NodeKey key) const noexcept {
        const std::size_t root = RootPositionAtOrBefore(key.line);
        return root == m_rootCount ? none : RootAt(root);
    }
    // The last node at or before `key`'s line: the node of that line, or the one a line without
    // a node (an end line, say) follows; none before the first root.
    NodeId NodeAtOrBefore(NodeKey key) const noexcept;
    static NodeId RootAt(std::size_t row) noexcept { return static_cast<NodeId>(row) << 32; }
    static bool IsRoot(NodeId id) noexcept { return (id & 0xFFFFFFFFu) == 0; }
    static NodeId RootOfNode(NodeId id) noexcept { return id & ~NodeId{0xFFFFFFFFu}; }
    // The nodes of a root's block, the root included: the root's id plus 0 up to this, less one,
    // lists them in file order.
    std::size_t BlockSize(NodeId root) const noexcept;

    // The OutlineTree questions, by key.
    std::size_t ChildCount(NodeKey key) const noexcept;
    std::optional<NodeKey> Parent(NodeKey key) const noexcept;
    std::optional<NodeKey> NextSibling(NodeKey key) const noexcept;
    // A root known to open no block, and still without children: a fill would add nothing.
    bool FillsNothing(NodeKey key) const noexcept {
        return RootBit(key.line, &LineGroup::opensNone) &&
               BlockOf(RootsBefore(key.line)) == nullptr;
    }

private:
    static constexpr std::uint32_t noBlock = UINT32_MAX;
    static constexpr std::uint32_t commentBit = 0x80000000u;
    // 64 lines: which hold roots, and which of those show their comment, or are known to open a
    // block or to open none.
    struct LineGroup {
        std::uint64_t roots;
        std::uint64_t comments;
        std::uint64_t opens;
        std::uint64_t opensNone;
        std::uint32_t rootsBefore; // roots in the groups before this one
    };
    static constexpr LineIndex groupLines = 64;
    // A node of a filled block; places are positions in the block, 0 standing for the root.
    // A first child always comes right after its parent, so its parent needs no field: there
    // the field holds the parent's child count instead.
    struct Inner {
        std::uint32_t line;
        std::uint32_t parentOrCount;
        std::uint32_t rowAndComment; // the row, and commentBit when the comment is shown
    };
    // Where a filled block's nodes lie in the pool.
    struct Block {
        std::size_t first;
        std::uint32_t size;
    };
    static std::size_t RootOf(NodeId id) noexcept { return static_cast<std::size_t>(id >> 32); }
    static std::uint32_t PlaceOf(NodeId id) noexcept { return static_cast<std::uint32_t>(id); }
    const Block* BlockOf(std::size_t root) const noexcept {
        const std::size_t page = root / rootsPerPage;
        if (page >= m_blockPages.size() || !m_blockPages[page])
            return nullptr;
        const std::uint32_t block = m_blockPages[page][root % rootsPerPage];
        return block == noBlock ? nullptr : &m_blocks[block];
    }
    NodeId FindInBlock(NodeKey key) const noexcept;
    // Whether `line` holds a root with the given bit set.
    bool RootBit(LineIndex line, std::uint64_t LineGroup::*bits) const noexcept {
        const std::size_t group = line / groupLines;
        return group < m_groups.size() && ((m_groups[group].*bits >> (line % groupLines)) & 1) != 0;
    }
    // The number of roots on the lines before `line`.
    std::size_t RootsBefore(LineIndex line) const noexcept {
        const std::size_t group = line / groupLines;
        if (group >= m_groups.size())
            return m_rootCount;
        const std::uint64_t below = (std::uint64_t{1} << (line % groupLines)) - 1;
        return m_groups[group].rootsBefore +
               static_cast<std::size_t>(std::popcount(m_groups[group].roots & below));
    }
    // The position of the last root at or before `line`, or RootCount() when there is none.
    std::size_t RootPositionAtOrBefore(LineIndex line) const noexcept {
        // Past the last group every root is before; the test also keeps line + 1 from wrapping.
        const std::size_t before =
            line / groupLines >= m_groups.size() ? m_rootCount : RootsBefore(line + 1);
        return before == 0 ? m_rootCount : before - 1;
    }
    // The line of the first root after `line`, which must lie before the last root's line.
    LineIndex NextRootLine(LineIndex line) const noexcept;
    // The line of root `root`, which must exist: a search, or a step from `cursor`, which then
    // points there.
    LineIndex RootLine(std::size_t root) const noexcept;
    LineIndex RootLine(std::size_t root, Cursor& cursor) const noexcept;
    // A stamp no other outline made or cleared in this process has had.
    static std::uint64_t NewStamp() noexcept;
    // Forgets what `cursor` knew of another outline.
    void Claim(Cursor& cursor) const noexcept {
        if (cursor.m_outline != m_stamp) {
            cursor = Cursor{};
            cursor.m_outline = m_stamp;
        }
    }
    const Inner& InnerOf(NodeId id) const noexcept;
    static std::uint32_t RowIn(const Inner& node) noexcept {
        return node.rowAndComment & ~commentBit;
    }
    static std::uint32_t ParentIn(const Inner* nodes, std::uint32_t place) noexcept {
        return RowIn(nodes[place]) == 0 ? place - 1 : nodes[place].parentOrCount;
    }
    static std::uint32_t ChildCountIn(const Inner* nodes, std::uint32_t size,
                                      std::uint32_t place) noexcept {
        return place + 1 < size && RowIn(nodes[place + 1]) == 0 ? nodes[place + 1].parentOrCount
                                                                : 0;
    }
    // The place of the node after `place`'s descendants if it is `place`'s next sibling, else 0.
    static std::uint32_t NextSiblingIn(const Inner* nodes, std::uint32_t size,
                                       std::uint32_t place) noexcept;
    AddResult AddRootChecked(NodeKey key, bool showsComment, std::optional<bool> opensBlock);
    void Append(NodeKey root, bool showsComment, std::optional<bool> opensBlock) {
        const std::size_t group = root.line / groupLines;
        while (m_groups.size() <= group)
            m_groups.push_back(LineGroup{0, 0, 0, 0, static_cast<std::uint32_t>(m_rootCount)});
        LineGroup& bits = m_groups[group];
        const std::uint64_t bit = std::uint64_t{1} << (root.line % groupLines);
        bits.roots |= bit;
        if (showsComment)
            bits.comments |= bit;
        if (opensBlock)
            (*opensBlock ? bits.opens : bits.opensNone) |= bit;
        ++m_rootCount;
        m_lastRootLine = root.line;
    }
    ChildAdd AddChildChecked(NodeKey relative, NodeKey key, bool showsComment);
    // Makes `root`'s block (its root on `rootLine`, the next root's on `limit`) the last in the
    // pool, so that it can grow; returns it.
    Block& BlockToGrow(std::size_t root, LineIndex rootLine, LineIndex limit);
    // Adds `key` as the last child of the node at `parent` in `root`'s block, the pool's last.
    ChildAdd AppendChild(std::size_t root, Block& block, std::uint32_t parent, NodeKey key,
                         bool showsComment) {
        // A parent without children is the block's last node, so a first child lands right
        // after it. The count goes up once the push, which may run out of memory, is done.
        const std::uint32_t row = ChildCountIn(m_pool.data() + block.first, block.size, parent);
        m_pool.push_back(Inner{static_cast<std::uint32_t>(key.line), row == 0 ? 1 : parent,
                               row | (showsComment ? commentBit : 0)});
        if (row > 0)
            m_pool[block.first + parent + 1].parentOrCount = row + 1;
        ++block.size;
        ++m_childCount;
        return {AddResult::Added, RootAt(root) | (block.size - 1), RootAt(root) | parent,
                std::size_t{row} + 1};
    }

    // Until a Clear(), roots are only added after the others and a node keeps its place in its
    // block, so what a cursor found under this stamp stays true.
    std::uint64_t m_stamp;
    BigArray<LineGroup> m_groups; // up to the last root's line
    std::size_t m_rootCount = 0;
    LineIndex m_lastRootLine = 0;
    // Where each root's block lies in m_blocks (noBlock while unfilled), in pages of roots made
    // when one of their blocks is first filled: a click in a file of millions of roots costs one
    // page.
    static constexpr std::size_t rootsPerPage = 4096;
    std::vector<std::unique_ptr<std::uint32_t[]>> m_blockPages;
    std::vector<Block> m_blocks;
    BigArray<Inner> m_pool;
    std::size_t m_childCount = 0;
    // The block BlockToGrow returned last, which is still the pool's last: its index in
    // m_blocks (noBlock when there is none), its root, and the next root's line.
    std::uint32_t m_growing = noBlock;
    std::size_t m_growingRoot = 0;
    LineIndex m_growingLimit = noBlock;
};

} // namespace ini
