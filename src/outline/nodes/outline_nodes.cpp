#include "outline/nodes/outline_nodes.h"

#include "outline/read/line_store.h"
#include "parse/line_splitter.h"

#include <algorithm>

namespace ini {

void OutlineNodes::Clear() {
    // Give the memory back: a new file may be much smaller than the last.
    m_groups.clear();
    m_rootCount = 0;
    m_lastRootLine = 0;
    std::vector<std::unique_ptr<std::uint32_t[]>>().swap(m_blockPages);
    std::vector<Block>().swap(m_blocks);
    m_pool.clear();
    m_childCount = 0;
    m_growing = noBlock;
    m_lastRootAsked = SIZE_MAX;
    m_cursors = {};
}

const OutlineNodes::Inner& OutlineNodes::InnerOf(NodeId id) const noexcept {
    return m_pool[BlockOf(RootOf(id))->first + PlaceOf(id)];
}

std::size_t OutlineNodes::BlockSize(NodeId root) const noexcept {
    const Block* block = BlockOf(RootOf(root));
    return block == nullptr ? 1 : block->size;
}

LineIndex OutlineNodes::NextRootLine(LineIndex line) const noexcept {
    std::size_t group = line / groupLines;
    std::uint64_t bits = m_groups[group].roots & (~std::uint64_t{1} << (line % groupLines));
    while (bits == 0)
        bits = m_groups[++group].roots;
    return group * groupLines + static_cast<LineIndex>(std::countr_zero(bits));
}

LineIndex OutlineNodes::RootLine(std::size_t root) const noexcept {
    // Views and walks mostly ask for the root asked last or the next one: a step from there.
    if (root == m_lastRootAsked)
        return m_lastLineFound;
    LineIndex line = 0;
    if (m_lastRootAsked != SIZE_MAX && root == m_lastRootAsked + 1) {
        line = NextRootLine(m_lastLineFound);
    } else {
        // The group holding it is the last whose count of roots before it is not above it.
        const LineGroup* const after = std::upper_bound(
            m_groups.begin(), m_groups.end(), root,
            [](std::size_t wanted, const LineGroup& group) { return wanted < group.rootsBefore; });
        const LineGroup& group = after[-1];
        std::uint64_t bits = group.roots;
        for (std::size_t skip = root - group.rootsBefore; skip > 0; --skip)
            bits &= bits - 1;
        line = static_cast<LineIndex>(&group - m_groups.begin()) * groupLines +
               static_cast<LineIndex>(std::countr_zero(bits));
    }
    m_lastRootAsked = root;
    m_lastLineFound = line;
    return line;
}

OutlineNodes::NodeId OutlineNodes::FindInBlock(NodeKey key) const noexcept {
    const std::size_t root = RootPositionAtOrBefore(key.line);
    if (root == m_rootCount)
        return none;
    const Block* block = BlockOf(root);
    if (block == nullptr)
        return none;
    const Inner* const begin = m_pool.begin() + block->first;
    const Inner* const end = begin + block->size;
    const Inner* const found =
        std::lower_bound(begin + 1, end, key.line,
                         [](const Inner& node, LineIndex line) { return node.line < line; });
    if (found == end || found->line != key.line)
        return none;
    return RootAt(root) | static_cast<std::uint32_t>(found - begin);
}

bool OutlineNodes::IsNode(NodeId id) const noexcept {
    if (RootOf(id) >= m_rootCount)
        return false;
    if (IsRoot(id))
        return true;
    const Block* block = BlockOf(RootOf(id));
    return block != nullptr && PlaceOf(id) < block->size;
}

AddResult OutlineNodes::AddRootChecked(NodeKey key, bool showsComment,
                                       std::optional<bool> opensBlock) {
    // Lines and root positions are 32-bit; the line store refuses files that would need more.
    if (key.line >= noBlock || m_rootCount >= noBlock)
        return AddResult::OutOfOrder;
    if (m_rootCount > 0) {
        // Every node so far lies at or before the last root's block's last line, so a key after
        // it is new; only a refused key needs the lookup that tells why.
        const std::size_t last = m_rootCount - 1;
        const Block* block = BlockOf(last);
        const LineIndex lastLine =
            block ? m_pool[block->first + block->size - 1].line : m_lastRootLine;
        if (key.line <= lastLine)
            return Find(key) != none ? AddResult::KeyInUse : AddResult::OutOfOrder;
    }
    m_growing = noBlock; // its limit was the end of the file
    Append(key, showsComment, opensBlock);
    return AddResult::Added;
}

OutlineNodes::Block& OutlineNodes::BlockToGrow(std::size_t root) {
    m_growing = noBlock; // until the block to grow is at the pool's end again
    const std::size_t page = root / rootsPerPage;
    if (m_blockPages.size() <= page)
        m_blockPages.resize(page + 1);
    if (!m_blockPages[page]) {
        m_blockPages[page] = std::make_unique_for_overwrite<std::uint32_t[]>(rootsPerPage);
        std::fill_n(m_blockPages[page].get(), rootsPerPage, noBlock);
    }
    std::uint32_t& blockOfRoot = m_blockPages[page][root % rootsPerPage];
    m_growingRoot = root;
    m_growingLimit = root + 1 < m_rootCount ? RootLine(root + 1) : noBlock;
    if (blockOfRoot == noBlock) {
        // Running out of memory in either push leaves the root unfilled (and at most one place
        // in the pool unused).
        m_pool.push_back(Inner{static_cast<std::uint32_t>(RootLine(root)), 0, 0});
        m_blocks.push_back(Block{m_pool.size() - 1, 1});
        m_growing = static_cast<std::uint32_t>(m_blocks.size() - 1);
        blockOfRoot = m_growing;
        return m_blocks.back();
    }
    Block& block = m_blocks[blockOfRoot];
    if (block.first + block.size != m_pool.size()) {
        // Blocks fill one after another, so this is rare: the block moves to the end, where
        // it can grow, and leaves its old place unused.
        const std::size_t first = m_pool.size();
        m_pool.reserve(first + block.size + 1);
        for (std::size_t i = 0; i < block.size; ++i)
            m_pool.push_back(m_pool[block.first + i]);
        block.first = first;
    }
    m_growing = blockOfRoot;
    return block;
}

OutlineNodes::ChildAdd OutlineNodes::AddChildChecked(NodeKey relative, NodeKey key,
                                                     bool showsComment) {
    const std::size_t root = RootPositionAtOrBefore(relative.line);
    if (root == m_rootCount)
        return {AddResult::NoSuchRelative};
    const Block* existing = BlockOf(root);
    const std::uint32_t size = existing ? existing->size : 1;
    const Inner* const nodes = existing ? m_pool.begin() + existing->first : nullptr;
    // Walk up from the block's last node: the relative must be on that path.
    std::uint32_t parent = size - 1;
    if (existing) {
        while (parent != 0 && nodes[parent].line > relative.line)
            parent = ParentIn(nodes, parent);
    }
    const LineIndex parentLine = existing ? nodes[parent].line : RootLine(root);
    if (parentLine != relative.line)
        return {Find(relative) != none ? AddResult::OutOfOrder : AddResult::NoSuchRelative};

    // Every node in this block's range lies at or before its last line, so a key after it and
    // before the next root is new; only a refused key needs the lookup that tells why.
    const LineIndex lastInBlock = existing ? nodes[size - 1].line : RootLine(root);
    const bool lastRoot = root + 1 == m_rootCount;
    if (key.line <= lastInBlock || key.line >= noBlock ||
        (!lastRoot && key.line >= RootLine(root + 1)) || size >= commentBit)
        return {Find(key) != none ? AddResult::KeyInUse : AddResult::OutOfOrder};

    return AppendChild(root, BlockToGrow(root), parent, key, showsComment);
}

NodeKey OutlineNodes::KeyOf(NodeId id) const noexcept {
    if (IsRoot(id))
        return NodeKey{RootLine(RootOf(id))};
    return NodeKey{InnerOf(id).line};
}

bool OutlineNodes::ShowsComment(NodeId id) const noexcept {
    if (IsRoot(id))
        return RootBit(RootLine(RootOf(id)), &LineGroup::comments);
    return (InnerOf(id).rowAndComment & commentBit) != 0;
}

bool OutlineNodes::OpensBlock(NodeId id) const noexcept {
    return IsRoot(id) && RootBit(RootLine(RootOf(id)), &LineGroup::opens);
}

OutlineNodes::NodeId OutlineNodes::ParentOf(NodeId id) const noexcept {
    if (IsRoot(id))
        return none;
    const Block& block = *BlockOf(RootOf(id));
    return RootOfNode(id) | ParentIn(m_pool.begin() + block.first, PlaceOf(id));
}

std::size_t OutlineNodes::RowOf(NodeId id) const noexcept {
    if (IsRoot(id))
        return RootOf(id);
    return RowIn(InnerOf(id));
}

std::size_t OutlineNodes::ChildCountOf(NodeId id) const noexcept {
    const Block* block = BlockOf(RootOf(id));
    return block == nullptr ? 0
                            : ChildCountIn(m_pool.begin() + block->first, block->size, PlaceOf(id));
}

std::uint32_t OutlineNodes::NextSiblingIn(const Inner* nodes, std::uint32_t size,
                                          std::uint32_t place) noexcept {
    // Descendants have parents at or after `place`; the first node that does not is the next
    // sibling when it shares the parent.
    std::uint32_t next = place + 1;
    while (next < size && ParentIn(nodes, next) >= place)
        ++next;
    return next < size && ParentIn(nodes, next) == ParentIn(nodes, place) ? next : 0;
}

OutlineNodes::NodeId OutlineNodes::ChildAt(NodeId id, std::size_t row) const noexcept {
    const Block& block = *BlockOf(RootOf(id));
    const Inner* const nodes = m_pool.begin() + block.first;
    // A row is reached by stepping over its older siblings' descendants, from the first child
    // or from where the last lookup under this parent ended. A tree view asks for rows in order,
    // one level inside another, so a cursor per level keeps the steps few.
    Cursor& cursor = m_cursors[(id ^ (id >> 32)) % m_cursors.size()];
    if (cursor.parent != id || cursor.row > row)
        cursor = Cursor{id, 0, PlaceOf(id) + 1};
    while (cursor.row < row) {
        cursor.place = NextSiblingIn(nodes, block.size, cursor.place);
        ++cursor.row;
    }
    return RootOfNode(id) | cursor.place;
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
    if (RootBit(key.line, &LineGroup::roots)) {
        if (key.line == m_lastRootLine)
            return std::nullopt;
        return NodeKey{NextRootLine(key.line)};
    }
    const NodeId id = Find(key);
    if (id == none)
        return std::nullopt;
    const Block& block = *BlockOf(RootOf(id));
    const std::uint32_t next = NextSiblingIn(m_pool.begin() + block.first, block.size, PlaceOf(id));
    if (next == 0)
        return std::nullopt;
    return KeyOf(RootOfNode(id) | next);
}

} // namespace ini
