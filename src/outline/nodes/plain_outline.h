#pragma once

#include "outline/nodes/outline_nodes.h"
#include "outline/nodes/outline_tree.h"

namespace ini {

// The outline without any widget: what the core tests and the benchmarks build.
class PlainOutline final : public OutlineTree {
public:
    void Replace(OutlineNodes nodes) override { m_nodes = std::move(nodes); }
    AddResult AddChild(NodeKey relative, NodeKey key, const NodeText& text) override {
        return m_nodes.AddChild(relative, key, text.showComments).result;
    }
    void DropChildren(NodeKey root) override { m_nodes.DropChildren(root); }
    bool Contains(NodeKey key) const override { return m_nodes.Find(key) != OutlineNodes::none; }
    std::size_t ChildCount(NodeKey key) const override { return m_nodes.ChildCount(key); }
    std::optional<NodeKey> Parent(NodeKey key) const override { return m_nodes.Parent(key); }
    std::optional<NodeKey> NextSibling(NodeKey key) const override {
        return m_nodes.NextSibling(key);
    }
    bool FillsNothing(NodeKey key) const override { return m_nodes.FillsNothing(key); }

    const OutlineNodes& Nodes() const noexcept { return m_nodes; }

private:
    OutlineNodes m_nodes;
};

} // namespace ini
