#include "outline/nodes/outline_nodes.h"

#include <algorithm>
#include <atomic>

namespace ini {

std::uint64_t OutlineNodes::NewStamp() noexcept {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

void OutlineNodes::Clear() {
    m_stamp = NewStamp();
    // Give the memory back: a new file may be much smaller than the last.
    m_groups.clear();
    m_rootCount = 0;
    m_lastRootLine = 0;
    std::vector<std::unique_ptr<std::uint32_t[]>>().swap(m_blockPages);
    std::vector<Block>().swap(m_blocks);
    m_pool.clear();
    m_childCount = 0;
    m_growing = noBlock;
}

const OutlineNodes::Inner& OutlineNodes::InnerOf(NodeId id) const noexcept {
    return m_pool[BlockOf(RootOf(id))->first + PlaceOf(id)];
}

std::size_t OutlineNodes::BlockSize(NodeId root) const noexcept {
    const Block* block = BlockOf(RootOf(root));
    return block == nullptr ? 1 : block->size;
}

OutlineNodes::NodeId OutlineNodes::NodeAtOrBefore(NodeKey key) const noexcept {
    const NodeId root = RootAtOrBefore(key);
    if (root == none)
        return none;
    // A block's nodes rise in file order: the last place whose line is not past the key's.
    std::size_t low = 0;
    std::size_t high = BlockSize(root);
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        if (KeyOf(root | middle).line <= key.line)
            low = middle;
        else
            high = middle;
    }
    return root | low;
}

LineIndex OutlineNodes::NextRootLine(LineIndex line) const noexcept {
    std::size_t group = line / groupLines;
    std::uint64_t bits = m_groups[group].roots & (~std::uint64_t{1} << (line % groupLines));
    while (bits == 0)
        bits = m_groups[++group].roots;
    return group * groupLines + static_cast<LineIndex>(std::countr_zero(bits));
}

LineIndex OutlineNodes::RootLine(std::size_t root) const noexcept {
    // The group holding it is the last whose count of roots before it is not above it.
    const LineGroup* const after = std::upper_bound(
        m_groups.begin(), m_groups.end(), root,
        [](std::size_t wanted, const LineGroup& group) { return wanted < group.rootsBefore; });
    const LineGroup& group = after[-1];
    std::uint64_t bits = group.roots;
    for (std::size_t skip = root - group.rootsBefore; skip > 0; --skip)
        bits &= bits - 1;
    return static_cast<LineIndex>(&group - m_groups.begin()) * groupLines +
           static_cast<LineIndex>(std::countr_zero(bits));
}

LineIndex OutlineNodes::RootLine(std::size_t root, Cursor& cursor) const noexcept {
    Claim(cursor);
    if (root == cursor.m_root)
        return cursor.m_line;
    const bool next = cursor.m_root != SIZE_MAX && root == cursor.m_root + 1;
    cursor.m_line = next ? NextRootLine(cursor.m_line) : RootLine(root);
    cursor.m_root = root;
    return cursor.m_line;
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

OutlineNodes::Block& OutlineNodes::BlockToGrow(std::size_t root, LineIndex rootLine,
                                               LineIndex limit) {
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
    m_growingLimit = limit;
    if (blockOfRoot == noBlock) {
        // Running out of memory in either push leaves the root unfilled (and at most one place
        // in the pool unused).
        m_pool.push_back(Inner{static_cast<std::uint32_t>(rootLine), 0, 0});
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

void OutlineNodes::DropChildren(NodeKey key) noexcept {
    if (!RootBit(key.line, &LineGroup::roots))
        return;
    const std::size_t root = RootsBefore(key.line);
    const std::size_t page = root / rootsPerPage;
    if (page >= m_blockPages.size() || !m_blockPages[page])
        return;
    std::uint32_t& blockOfRoot = m_blockPages[page][root % rootsPerPage];
    if (blockOfRoot == noBlock)
        return;
    const Block block = m_blocks[blockOfRoot];
    m_childCount -= block.size - 1;
    // The block grown last lies at the pool's end; another's place is left unused, as a moved
    // block's is.
    if (block.first + block.size == m_pool.size())
        m_pool.shrink(block.first);
    if (blockOfRoot + 1 == m_blocks.size())
        m_blocks.pop_back();
    blockOfRoot = noBlock;
    m_growing = noBlock;
    // Cursors may have stepped onto the nodes taken away.
    m_stamp = NewStamp();
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
    // An unfilled block is its root alone: the relative must be that root, on its own line.
    const bool onPath =
        existing ? nodes[parent].line == relative.line : RootBit(relative.line, &LineGroup::roots);
    if (!onPath)
        return {Find(relative) != none ? AddResult::OutOfOrder : AddResult::NoSuchRelative};
    const LineIndex rootLine = existing ? nodes[0].line : relative.line;

    // Every node in this block's range lies at or before its last line, so a key after it and
    // before the next root is new; only a refused key needs the lookup that tells why.
    const LineIndex lastInBlock = existing ? nodes[size - 1].line : rootLine;
    const LineIndex limit = root + 1 < m_rootCount ? NextRootLine(rootLine) : noBlock;
    if (key.line <= lastInBlock || key.line >= limit || size >= commentBit)
        return {Find(key) != none ? AddResult::KeyInUse : AddResult::OutOfOrder};

    return AppendChild(root, BlockToGrow(root, rootLine, limit), parent, key, showsComment);
}

NodeKey OutlineNodes::KeyOf(NodeId id, Cursor& cursor) const noexcept {
    if (IsRoot(id))
        return NodeKey{RootLine(RootOf(id), cursor)};
    return NodeKey{InnerOf(id).line};
}

bool OutlineNodes::ShowsComment(NodeId id, Cursor& cursor) const noexcept {
    if (IsRoot(id))
        return RootBit(RootLine(RootOf(id), cursor), &LineGroup::comments);
    return (InnerOf(id).rowAndComment & commentBit) != 0;
}

bool OutlineNodes::OpensBlock(NodeId id, Cursor& cursor) const noexcept {
    return IsRoot(id) && RootBit(RootLine(RootOf(id), cursor), &LineGroup::opens);
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
    const std::uint32_t parent = PlaceOf(id);
    if (row == 0)
        return id + 1; // a first child comes right after its parent
    const Block& block = *BlockOf(RootOf(id));
    const Inner* const nodes = m_pool.begin() + block.first;
    // The row of the child a place lies under, found a few steps up (blocks are shallow): it
    // rises with the place, since each child comes before its descendants and its younger
    // siblings. Places past the parent's descendants count as past every row.
    const auto rowOver = [&](std::uint32_t place) {
        for (;;) {
            const std::uint32_t up = ParentIn(nodes, place);
            if (up == parent)
                return std::size_t{RowIn(nodes[place])};
            if (up < parent)
                return SIZE_MAX;
            place = up;
        }
    };
    // The child is the first place under it; `row` older siblings lie before it.
    std::uint32_t low = parent + 1 + static_cast<std::uint32_t>(row);
    std::uint32_t high = block.size;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (rowOver(middle) < row)
            low = middle + 1;
        else
            high = middle;
    }
    return RootOfNode(id) | low;
}

OutlineNodes::NodeId OutlineNodes::ChildAt(NodeId id, std::size_t row,
                                           Cursor& cursor) const noexcept {
    Claim(cursor);
    const bool sameParent = cursor.m_parent == id;
    if (sameParent && row == cursor.m_row)
        return RootOfNode(id) | cursor.m_place;
    if (sameParent && row == cursor.m_row + 1) {
        // A view asks for row after row: the next one is a step over this one's descendants.
        const Block& block = *BlockOf(RootOf(id));
        cursor.m_place = NextSiblingIn(m_pool.begin() + block.first, block.size, cursor.m_place);
    } else {
        cursor.m_parent = id;
        cursor.m_place = PlaceOf(ChildAt(id, row));
    }
    cursor.m_row = static_cast<std::uint32_t>(row);
    return RootOfNode(id) | cursor.m_place;
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
