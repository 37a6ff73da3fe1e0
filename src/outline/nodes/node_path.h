#pragma once

#include "outline/nodes/outline_nodes.h"
#include "outline/read/line_store.h"

#include <string>
#include <vector>

namespace ini {

// A node named by what it is rather than by where it stands, so that the same block is found
// again after lines were added or removed above it: from its root down, each level's line (its
// text without the blanks around it) and how many of its siblings before it have the same text.
struct NodeStep {
    std::string text;
    std::size_t occurrence = 0;

    friend bool operator==(const NodeStep&, const NodeStep&) = default;
};
using NodePath = std::vector<NodeStep>;

// The paths of nodes of `outline`, whose lines `lines` holds: one pass over the file's roots
// for all of them.
std::vector<NodePath> PathsOf(const OutlineNodes& outline, const LineStore& lines,
                              const std::vector<OutlineNodes::NodeId>& nodes);

// The roots the first steps of `paths` name in `outline` (none where there is no such root):
// one pass over the file's roots for all of them.
std::vector<OutlineNodes::NodeId> FindRoots(const OutlineNodes& outline, const LineStore& lines,
                                            const std::vector<NodePath>& paths);

// The node `path` names, given the root its first step names; none when a step finds no node
// (the block is not filled, or no longer holds it).
OutlineNodes::NodeId FindBelow(const OutlineNodes& outline, const LineStore& lines,
                               OutlineNodes::NodeId root, const NodePath& path);

} // namespace ini
