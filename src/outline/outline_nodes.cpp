#include "outline/outline_nodes.h"

#include "outline/line_store.h"
#include "parse/line_splitter.h"

#include <algorithm>

namespace ini {

void OutlineNodes::Clear() {
    // Give the memory back: a new file may be much smaller than the last.
    m_rootLines.clear();
    m_rootFlags.clear();
    std::vector<std::uint32_t>().swap(m_blockOfRoot);
    std::vector<Block>().swap(m_blocks);
    m_childCount = 0;
}

const OutlineNodes::Block* OutlineNodes::BlockOf(std::size_t root) const noexcept {
    if (root >= m_blockOfRoot.size() || m_blockOfRoot[root] == noList)
        return nullptr;
    return &m_blocks[m_blockOfRoot[root]];
}

OutlineNodes::NodeId OutlineNodes::Find(NodeKey key) const noexcept {
    const auto* const rootsEnd = m_rootLines.end();
    const auto* const after = std::upper_bound(m_rootLines.begin(), rootsEnd, key.line);
    if (after == m_rootLines.begin())
        return none;
    const auto root = static_cast<std::size_t>(after - m_rootLines.begin() - 1);
    if (m_rootLines[root] == key.line)
        return RootAt(root);
    const Block* block = BlockOf(root);
    if (block == nullptr)
        return none;
    const auto found =
        std::lower_bound(block->nodes.begin() + 1, block->nodes.end(), key.line,
                         [](const Inner& node, LineIndex line) { return node.line < line; });
    if (found == block->nodes.end() || found->line != key.line)
        return none;
    return RootAt(root) | static_cast<std::uint32_t>(found - block->nodes.begin());
}

bool OutlineNodes::IsNode(NodeId id) const noexcept {
    if (RootOf(id) >= m_rootLines.size())
        return false;
    if (IsRoot(id))
        return true;
    const Block* block = BlockOf(RootOf(id));
    return block != nullptr && PlaceOf(id) < block->nodes.size();
}

AddResult OutlineNodes::AddRoot(NodeKey key, bool showsComment, bool opensBlock) {
    // Lines and root positions are 32-bit; the line store refuses files that would need more.
    if (key.line >= noList || m_rootLines.size() >= noList)
        return AddResult::OutOfOrder;
    if (!m_rootLines.empty()) {
        // Every node so far lies at or before the last root's block's last line, so a key after
        // it is new; only a refused key needs the lookup that tells why.
        const std::size_t last = m_rootLines.size() - 1;
        const Block* block = BlockOf(last);
        const LineIndex lastLine = block ? block->nodes.back().line : m_rootLines[last];
        if (key.line <= lastLine)
            return Find(key) != none ? AddResult::KeyInUse : AddResult::OutOfOrder;
    }
    m_rootLines.push_back(static_cast<std::uint32_t>(key.line));
    m_rootFlags.push_back(static_cast<std::uint8_t>((showsComment ? showsCommentFlag : 0) |
                                                    (opensBlock ? opensBlockFlag : 0)));
    return AddResult::Added;
}

AddResult OutlineNodes::AddChild(NodeKey relative, NodeKey key, bool showsComment) {
    const NodeId parent = Find(relative);
    if (parent == none)
        return AddResult::NoSuchRelative;
    const std::size_t root = RootOf(parent);
    const Block* existing = BlockOf(root);
    const LineIndex lastInBlock = existing ? existing->nodes.back().line : m_rootLines[root];
    const bool lastRoot = root + 1 == m_rootLines.size();
    // Every node in this block's range lies at or before its last line, so a key after it and
    // before the next root is new; only a refused key needs the lookup that tells why.
    if (key.line <= lastInBlock || key.line >= noList ||
        (!lastRoot && key.line >= m_rootLines[root + 1]) ||
        (existing && existing->nodes.size() >= noList))
        return Find(key) != none ? AddResult::KeyInUse : AddResult::OutOfOrder;
    if (m_blockOfRoot.size() <= root)
        m_blockOfRoot.resize(m_rootLines.size(), noList);
    if (m_blockOfRoot[root] == noList) {
        m_blockOfRoot[root] = static_cast<std::uint32_t>(m_blocks.size());
        Block& fresh = m_blocks.emplace_back();
        fresh.nodes.push_back(Inner{m_rootLines[root], 0, static_cast<std::uint32_t>(root), noList,
                                    (m_rootFlags[root] & showsCommentFlag) != 0});
    }
    Block& block = m_blocks[m_blockOfRoot[root]];

    Inner& owner = block.nodes[PlaceOf(parent)];
    if (owner.childList == noList) {
        owner.childList = static_cast<std::uint32_t>(block.childLists.size());
        block.childLists.emplace_back();
    }
    std::vector<std::uint32_t>& siblings = block.childLists[owner.childList];
    const auto place = static_cast<std::uint32_t>(block.nodes.size());
    siblings.push_back(place);
    block.nodes.push_back(Inner{static_cast<std::uint32_t>(key.line), PlaceOf(parent),
                                static_cast<std::uint32_t>(siblings.size() - 1), noList,
                                showsComment});
    ++m_childCount;
    return AddResult::Added;
}

NodeKey OutlineNodes::KeyOf(NodeId id) const noexcept {
    if (IsRoot(id))
        return NodeKey{m_rootLines[RootOf(id)]};
    return NodeKey{BlockOf(RootOf(id))->nodes[PlaceOf(id)].line};
}

bool OutlineNodes::ShowsComment(NodeId id) const noexcept {
    if (IsRoot(id))
        return (m_rootFlags[RootOf(id)] & showsCommentFlag) != 0;
    return BlockOf(RootOf(id))->nodes[PlaceOf(id)].showsComment;
}

bool OutlineNodes::OpensBlock(NodeId id) const noexcept {
    return IsRoot(id) && (m_rootFlags[RootOf(id)] & opensBlockFlag) != 0;
}

OutlineNodes::NodeId OutlineNodes::ParentOf(NodeId id) const noexcept {
    if (IsRoot(id))
        return none;
    const std::uint32_t parent = BlockOf(RootOf(id))->nodes[PlaceOf(id)].parent;
    return RootAt(RootOf(id)) | parent;
}

std::size_t OutlineNodes::RowOf(NodeId id) const noexcept {
    if (IsRoot(id))
        return RootOf(id);
    return BlockOf(RootOf(id))->nodes[PlaceOf(id)].row;
}

const std::vector<std::uint32_t>* OutlineNodes::ChildrenOf(NodeId id) const noexcept {
    const Block* block = BlockOf(RootOf(id));
    if (block == nullptr)
        return nullptr;
    const std::uint32_t list = block->nodes[PlaceOf(id)].childList;
    return list == noList ? nullptr : &block->childLists[list];
}

std::size_t OutlineNodes::ChildCountOf(NodeId id) const noexcept {
    const std::vector<std::uint32_t>* children = ChildrenOf(id);
    return children == nullptr ? 0 : children->size();
}

OutlineNodes::NodeId OutlineNodes::ChildAt(NodeId id, std::size_t row) const noexcept {
    return RootAt(RootOf(id)) | (*ChildrenOf(id))[row];
}

std::string OutlineNodes::TextOf(NodeId id, const LineStore& lines) const {
    const NodeKey key = KeyOf(id);
    if (key.line >= lines.Count())
        return {};
    return NodeText{lines.Line(key.line), ShowsComment(id)}.ToString();
}

std::size_t OutlineNodes::ChildCount(NodeKey key) const noexcept {
    const NodeId id = Find(key);
    return id == none ? 0 : ChildCountOf(id);
}

std::optional<NodeKey> OutlineNodes::Parent(NodeKey key) const noexcept {
    const NodeId id = Find(key);
    if (id == none || IsRoot(id))
        return std::nullopt;
    return KeyOf(ParentOf(id));
}

std::optional<NodeKey> OutlineNodes::NextSibling(NodeKey key) const noexcept {
    const NodeId id = Find(key);
    if (id == none)
        return std::nullopt;
    if (IsRoot(id)) {
        const std::size_t next = RootOf(id) + 1;
        if (next >= m_rootLines.size())
            return std::nullopt;
        return NodeKey{m_rootLines[next]};
    }
    const std::vector<std::uint32_t>& siblings = *ChildrenOf(ParentOf(id));
    const std::size_t next = RowOf(id) + 1;
    if (next >= siblings.size())
        return std::nullopt;
    return KeyOf(RootAt(RootOf(id)) | siblings[next]);
}

} // namespace ini
