#pragma once

#include "parse/line_splitter.h"
#include "parse/node_key.h"

#include <cstddef>
#include <optional>

namespace ini {

// What adding a node can come to. A refused add changes nothing.
// Keys are line indices and nodes keep file order: a key that would break it is OutOfOrder.
enum class AddResult { Added, KeyInUse, NoSuchRelative, OutOfOrder };

class OutlineNodes;

// The tree operations the outline builders need. Keys are unique across the whole tree, not
// only among siblings; nodes keep the order in which they were added.
//
// A node's text is the line's content followed by its comment. Implementations keep only the
// line and whether the comment was shown, and make the text again from the line store when it is
// asked for, so an outline of a large file costs a few bytes per node.
class OutlineTree {
public:
    virtual ~OutlineTree() = default;

    // Removes all nodes and takes a whole outline built elsewhere (a load's root nodes) instead.
    virtual void Replace(OutlineNodes nodes) = 0;
    // A new node after all existing children of `relative`.
    virtual AddResult AddChild(NodeKey relative, NodeKey key, const NodeText& text) = 0;
    // Takes away every node under root `root`, which is then unfilled again.
    virtual void DropChildren(NodeKey root) = 0;

    virtual bool Contains(NodeKey key) const = 0;
    virtual std::size_t ChildCount(NodeKey key) const = 0;
    virtual std::optional<NodeKey> Parent(NodeKey key) const = 0;
    virtual std::optional<NodeKey> NextSibling(NodeKey key) const = 0;
    // Whether filling the node is known to add nothing: a root whose line the load found to open
    // no block. A fill walk is then skipped; it would end with no node added.
    virtual bool FillsNothing(NodeKey) const { return false; }
};

} // namespace ini
