#include "outline/outline_nodes.h"

#include "outline/line_store.h"
#include "parse/line_splitter.h"

#include <limits>

namespace ini {

void OutlineNodes::Clear() {
    // Give the memory back: a new file may be much smaller than the last.
    m_nodes.clear();
    std::vector<NodeId>().swap(m_roots);
    std::vector<std::vector<NodeId>>().swap(m_childLists);
    std::vector<NodeId>().swap(m_byLine);
}

void OutlineNodes::ReserveLines(std::size_t lineCount) {
    if (lineCount > m_byLine.size() && lineCount < none)
        m_byLine.resize(lineCount, none);
}

OutlineNodes::NodeId OutlineNodes::Find(NodeKey key) const noexcept {
    return key.line < m_byLine.size() ? m_byLine[key.line] : none;
}

AddResult OutlineNodes::AddRoot(NodeKey key, bool showsComment) {
    return Add(none, key, showsComment);
}

AddResult OutlineNodes::AddChild(NodeKey relative, NodeKey key, bool showsComment) {
    const NodeId parent = Find(relative);
    if (parent == none)
        return AddResult::NoSuchRelative;
    return Add(parent, key, showsComment);
}

AddResult OutlineNodes::Add(NodeId parent, NodeKey key, bool showsComment) {
    if (Find(key) != none)
        return AddResult::KeyInUse;
    // Ids and line numbers are 32-bit; the line store refuses files that would need more.
    if (key.line >= none || m_nodes.size() >= none)
        return AddResult::KeyInUse;
    if (key.line >= m_byLine.size())
        m_byLine.resize(std::max<std::size_t>(key.line + 1, m_byLine.size() * 3 / 2), none);

    const auto id = static_cast<NodeId>(m_nodes.size());
    std::vector<NodeId>* siblings = &m_roots;
    if (parent != none) {
        Node& p = m_nodes[parent];
        if (p.childList == none) {
            p.childList = static_cast<std::uint32_t>(m_childLists.size());
            m_childLists.emplace_back();
        }
        siblings = &m_childLists[p.childList];
    }
    siblings->push_back(id);
    m_nodes.push_back(Node{static_cast<std::uint32_t>(key.line), parent,
                           static_cast<std::uint32_t>(siblings->size() - 1), none, showsComment});
    m_byLine[key.line] = id;
    return AddResult::Added;
}

std::size_t OutlineNodes::ChildCountOf(NodeId id) const noexcept {
    const std::uint32_t list = m_nodes[id].childList;
    return list == none ? 0 : m_childLists[list].size();
}

OutlineNodes::NodeId OutlineNodes::ChildAt(NodeId id, std::size_t row) const noexcept {
    return m_childLists[m_nodes[id].childList][row];
}

std::string OutlineNodes::TextOf(NodeId id, const LineStore& lines) const {
    const Node& node = m_nodes[id];
    if (node.line >= lines.Count())
        return {};
    return NodeText{lines.Line(node.line), node.showsComment}.ToString();
}

std::size_t OutlineNodes::ChildCount(NodeKey key) const noexcept {
    const NodeId id = Find(key);
    return id == none ? 0 : ChildCountOf(id);
}

std::optional<NodeKey> OutlineNodes::Parent(NodeKey key) const noexcept {
    const NodeId id = Find(key);
    if (id == none || m_nodes[id].parent == none)
        return std::nullopt;
    return KeyOf(m_nodes[id].parent);
}

std::optional<NodeKey> OutlineNodes::NextSibling(NodeKey key) const noexcept {
    const NodeId id = Find(key);
    if (id == none)
        return std::nullopt;
    const Node& node = m_nodes[id];
    const std::vector<NodeId>& siblings =
        node.parent == none ? m_roots : m_childLists[m_nodes[node.parent].childList];
    if (node.row + 1 >= siblings.size())
        return std::nullopt;
    return KeyOf(siblings[node.row + 1]);
}

} // namespace ini
