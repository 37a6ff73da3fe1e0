#pragma once

#include "outline/big_buffer.h"
#include "outline/outline_tree.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ini {

class LineStore;

// Node storage behind both outline trees, in flat arrays.
//
// Root nodes are the bulk of a large file's outline, so a root costs five bytes: its line and
// two flags, in arrays that grow without copying. The nodes of filled blocks share one pool, a
// block's nodes side by side in file order, which is also the tree's depth-first order: a node's
// first child is the node after it, and its next sibling the first node after its descendants.
// Keys are line indices and nodes keep
// file order (roots rise; a block's nodes rise and lie between its root's line and the next
// root's), so a key is found by two binary searches and no per-line table is needed.
//
// Const members remember where the last lookups ended, so an OutlineNodes must not be read from
// two threads at once.
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
        if (m_blockOfRoot.empty() && key.line < noBlock && m_rootLines.size() < noBlock &&
            (m_rootLines.empty() || key.line > m_rootLines.back())) {
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

    NodeId Find(NodeKey key) const noexcept {
        // A walk over the roots asks for the root it is at, or the next one: told apart at once.
        const std::size_t count = m_rootLines.size();
        if (m_rootHint < count && m_rootLines[m_rootHint] == key.line)
            return RootAt(m_rootHint);
        if (m_rootHint + 1 < count && m_rootLines[m_rootHint + 1] == key.line)
            return RootAt(++m_rootHint);
        return FindAnywhere(key);
    }
    // Whether `id` names a node of this outline (ids from before a Clear() may not).
    bool IsNode(NodeId id) const noexcept;
    std::size_t Size() const noexcept { return m_rootLines.size() + m_childCount; }

    NodeKey KeyOf(NodeId id) const noexcept;
    bool ShowsComment(NodeId id) const noexcept;
    // Whether the node's line opens a block (known for roots only; a block's inner nodes say no).
    bool OpensBlock(NodeId id) const noexcept;
    // Whether the node is a root whose line is known to open no block (see AddRoot).
    bool OpensNoBlock(NodeId id) const noexcept {
        return IsRoot(id) && (m_rootFlags[RootOf(id)] & opensNoBlockFlag) != 0;
    }
    NodeId ParentOf(NodeId id) const noexcept;
    std::size_t RowOf(NodeId id) const noexcept;
    std::size_t ChildCountOf(NodeId id) const noexcept;
    // Quick for rows asked in order, or near the last row asked of the same parent.
    NodeId ChildAt(NodeId id, std::size_t row) const noexcept;
    std::size_t RootCount() const noexcept { return m_rootLines.size(); }
    static NodeId RootAt(std::size_t row) noexcept { return static_cast<NodeId>(row) << 32; }
    static bool IsRoot(NodeId id) noexcept { return (id & 0xFFFFFFFFu) == 0; }
    static NodeId RootOfNode(NodeId id) noexcept { return id & ~NodeId{0xFFFFFFFFu}; }
    // The nodes of a root's block, the root included: the root's id plus 0 up to this, less one,
    // lists them in file order.
    std::size_t BlockSize(NodeId root) const noexcept;
    // The node's text made again from its line: content, then the comment if it was shown.
    std::string TextOf(NodeId id, const LineStore& lines) const;

    // The OutlineTree questions, by key.
    std::size_t ChildCount(NodeKey key) const noexcept;
    std::optional<NodeKey> Parent(NodeKey key) const noexcept;
    std::optional<NodeKey> NextSibling(NodeKey key) const noexcept;
    // A root known to open no block, and still without children: a fill would add nothing.
    bool FillsNothing(NodeKey key) const noexcept {
        const NodeId id = Find(key);
        return OpensNoBlock(id) && BlockOf(RootOf(id)) == nullptr;
    }

private:
    static constexpr std::uint32_t noBlock = UINT32_MAX;
    static constexpr std::uint32_t commentBit = 0x80000000u;
    enum RootFlag : std::uint8_t { showsCommentFlag = 1, opensBlockFlag = 2, opensNoBlockFlag = 4 };
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
    // Where a child lookup ended, to go on from there.
    struct Cursor {
        NodeId parent = none;
        std::uint32_t row = 0;
        std::uint32_t place = 0;
    };

    static std::size_t RootOf(NodeId id) noexcept { return static_cast<std::size_t>(id >> 32); }
    static std::uint32_t PlaceOf(NodeId id) noexcept { return static_cast<std::uint32_t>(id); }
    const Block* BlockOf(std::size_t root) const noexcept {
        if (root >= m_blockOfRoot.size() || m_blockOfRoot[root] == noBlock)
            return nullptr;
        return &m_blocks[m_blockOfRoot[root]];
    }
    NodeId FindAnywhere(NodeKey key) const noexcept;
    const Inner& InnerOf(NodeId id) const noexcept;
    std::size_t RootAtOrBefore(LineIndex line) const noexcept;
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
        m_rootLines.push_back(static_cast<std::uint32_t>(root.line));
        const int blockFlag = !opensBlock ? 0 : *opensBlock ? opensBlockFlag : opensNoBlockFlag;
        m_rootFlags.push_back(
            static_cast<std::uint8_t>((showsComment ? showsCommentFlag : 0) | blockFlag));
    }
    ChildAdd AddChildChecked(NodeKey relative, NodeKey key, bool showsComment);
    // Makes `root`'s block the last in the pool, so that it can grow; returns it.
    Block& BlockToGrow(std::size_t root);
    // Adds `key` as the last child of the node at `parent` in `root`'s block, the pool's last.
    ChildAdd AppendChild(std::size_t root, Block& block, std::uint32_t parent, NodeKey key,
                         bool showsComment) {
        Inner* const nodes = m_pool.data() + block.first;
        // A parent without children is the block's last node, so a first child lands right
        // after it.
        const std::uint32_t row = ChildCountIn(nodes, block.size, parent);
        if (row > 0)
            nodes[parent + 1].parentOrCount = row + 1;
        m_pool.push_back(Inner{static_cast<std::uint32_t>(key.line), row == 0 ? 1 : parent,
                               row | (showsComment ? commentBit : 0)});
        ++block.size;
        ++m_childCount;
        return {AddResult::Added, RootAt(root) | (block.size - 1), RootAt(root) | parent,
                std::size_t{row} + 1};
    }

    BigArray<std::uint32_t> m_rootLines;
    BigArray<std::uint8_t> m_rootFlags;
    std::vector<std::uint32_t> m_blockOfRoot; // sized at the first fill; noBlock where unfilled
    std::vector<Block> m_blocks;
    BigArray<Inner> m_pool;
    std::size_t m_childCount = 0;
    // The block BlockToGrow returned last, which is still the pool's last: its index in
    // m_blocks (noBlock when there is none), its root, and the next root's line.
    std::uint32_t m_growing = noBlock;
    std::size_t m_growingRoot = 0;
    LineIndex m_growingLimit = noBlock;
    mutable std::size_t m_rootHint = 0; // where the last root lookup ended
    mutable std::array<Cursor, 8> m_cursors;
};

} // namespace ini
