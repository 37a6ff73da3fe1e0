#pragma once

#include "outline/big_buffer.h"
#include "outline/outline_tree.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ini {

class LineStore;

// Node storage behind both outline trees, in flat arrays.
//
// Root nodes are the bulk of a large file's outline, so a root costs five bytes: its line and
// two flags, in arrays that grow without copying. The nodes of a filled block live with that
// block. Keys are line indices and nodes keep file order (roots rise; a block's nodes rise and
// lie between its root's line and the next root's), so a key is found by two binary searches and
// no per-line table is needed.
class OutlineNodes {
public:
    // A node: its root's position in the upper 32 bits, its position in that root's block below
    // (0 for the root itself). Stable for as long as the outline is not cleared.
    using NodeId = std::uint64_t;
    static constexpr NodeId none = UINT64_MAX;

    void Clear();
    // A new last root; its line must lie after every node's line so far.
    AddResult AddRoot(NodeKey key, bool showsComment, bool opensBlock = false);
    // A new last child of `relative`, inside the block of `relative`'s root.
    AddResult AddChild(NodeKey relative, NodeKey key, bool showsComment);

    NodeId Find(NodeKey key) const noexcept;
    // Whether `id` names a node of this outline (ids from before a Clear() may not).
    bool IsNode(NodeId id) const noexcept;
    std::size_t Size() const noexcept { return m_rootLines.size() + m_childCount; }

    NodeKey KeyOf(NodeId id) const noexcept;
    bool ShowsComment(NodeId id) const noexcept;
    // Whether the node's line opens a block (known for roots only; a block's inner nodes say no).
    bool OpensBlock(NodeId id) const noexcept;
    NodeId ParentOf(NodeId id) const noexcept;
    std::size_t RowOf(NodeId id) const noexcept;
    std::size_t ChildCountOf(NodeId id) const noexcept;
    NodeId ChildAt(NodeId id, std::size_t row) const noexcept;
    std::size_t RootCount() const noexcept { return m_rootLines.size(); }
    static NodeId RootAt(std::size_t row) noexcept { return static_cast<NodeId>(row) << 32; }
    static bool IsRoot(NodeId id) noexcept { return (id & 0xFFFFFFFFu) == 0; }
    // The node's text made again from its line: content, then the comment if it was shown.
    std::string TextOf(NodeId id, const LineStore& lines) const;

    // The OutlineTree questions, by key.
    std::size_t ChildCount(NodeKey key) const noexcept;
    std::optional<NodeKey> Parent(NodeKey key) const noexcept;
    std::optional<NodeKey> NextSibling(NodeKey key) const noexcept;

private:
    static constexpr std::uint32_t noList = UINT32_MAX;
    enum RootFlag : std::uint8_t { showsCommentFlag = 1, opensBlockFlag = 2 };
    struct Inner {
        std::uint32_t line;
        std::uint32_t parent; // position in the block; 0 is the root
        std::uint32_t row;
        std::uint32_t childList; // into Block::childLists, noList while it has no children
        bool showsComment;
    };
    // A filled block: nodes[0] stands for the root, the rest in file order.
    struct Block {
        std::vector<Inner> nodes;
        std::vector<std::vector<std::uint32_t>> childLists;
    };

    static std::size_t RootOf(NodeId id) noexcept { return static_cast<std::size_t>(id >> 32); }
    static std::uint32_t PlaceOf(NodeId id) noexcept { return static_cast<std::uint32_t>(id); }
    const Block* BlockOf(std::size_t root) const noexcept;
    const std::vector<std::uint32_t>* ChildrenOf(NodeId id) const noexcept;

    BigArray<std::uint32_t> m_rootLines;
    BigArray<std::uint8_t> m_rootFlags;
    std::vector<std::uint32_t> m_blockOfRoot; // sized at the first fill; noList where unfilled
    std::vector<Block> m_blocks;
    std::size_t m_childCount = 0;
};

} // namespace ini
