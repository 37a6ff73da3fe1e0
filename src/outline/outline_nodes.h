#pragma once

#include "outline/outline_tree.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace ini {

class LineStore;

// An array that grows by fixed-size chunks: appending never moves or copies what is there, so
// millions of nodes cost neither a doubling's spare half nor its copy.
template <typename T> class ChunkedArray {
public:
    std::size_t size() const noexcept { return m_size; }
    T& operator[](std::size_t i) noexcept { return m_chunks[i >> chunkBits][i & chunkMask]; }
    const T& operator[](std::size_t i) const noexcept {
        return m_chunks[i >> chunkBits][i & chunkMask];
    }
    void push_back(const T& value) {
        if ((m_size >> chunkBits) == m_chunks.size())
            m_chunks.push_back(std::make_unique_for_overwrite<T[]>(std::size_t{1} << chunkBits));
        (*this)[m_size++] = value;
    }
    void clear() noexcept {
        std::vector<std::unique_ptr<T[]>>().swap(m_chunks);
        m_size = 0;
    }

private:
    static constexpr unsigned chunkBits = 16;
    static constexpr std::size_t chunkMask = (std::size_t{1} << chunkBits) - 1;
    std::vector<std::unique_ptr<T[]>> m_chunks;
    std::size_t m_size = 0;
};

// Compact node storage behind both outline trees: about 20 bytes a node, found by key in O(1)
// because keys are line indices. Node ids are positions in creation order, so a parent's id is
// always below its children's.
class OutlineNodes {
public:
    using NodeId = std::uint32_t;
    static constexpr NodeId none = UINT32_MAX;

    void Clear();
    // Sizes the key lookup for keys below `lineCount` at once instead of growing it step by step.
    void ReserveLines(std::size_t lineCount);
    AddResult AddRoot(NodeKey key, bool showsComment);
    AddResult AddChild(NodeKey relative, NodeKey key, bool showsComment);

    NodeId Find(NodeKey key) const noexcept;
    std::size_t Size() const noexcept { return m_nodes.size(); }

    NodeKey KeyOf(NodeId id) const noexcept { return NodeKey{m_nodes[id].line}; }
    bool ShowsComment(NodeId id) const noexcept { return m_nodes[id].showsComment; }
    NodeId ParentOf(NodeId id) const noexcept { return m_nodes[id].parent; }
    std::size_t RowOf(NodeId id) const noexcept { return m_nodes[id].row; }
    std::size_t ChildCountOf(NodeId id) const noexcept;
    NodeId ChildAt(NodeId id, std::size_t row) const noexcept;
    std::size_t RootCount() const noexcept { return m_roots.size(); }
    NodeId RootAt(std::size_t row) const noexcept { return m_roots[row]; }
    // The node's text made again from its line: content, then the comment if it was shown.
    std::string TextOf(NodeId id, const LineStore& lines) const;

    // The OutlineTree questions, by key.
    std::size_t ChildCount(NodeKey key) const noexcept;
    std::optional<NodeKey> Parent(NodeKey key) const noexcept;
    std::optional<NodeKey> NextSibling(NodeKey key) const noexcept;

private:
    struct Node {
        std::uint32_t line;
        NodeId parent;
        std::uint32_t row;
        std::uint32_t childList; // index into m_childLists, or none while it has no children
        bool showsComment;
    };

    AddResult Add(NodeId parent, NodeKey key, bool showsComment);

    ChunkedArray<Node> m_nodes;
    std::vector<NodeId> m_roots;
    std::vector<std::vector<NodeId>> m_childLists;
    std::vector<NodeId> m_byLine; // node of each line index, none where a line has no node
};

} // namespace ini
