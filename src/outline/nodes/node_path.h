#pragma once

#include "outline/nodes/outline_nodes.h"
#include "outline/read/line_store.h"

#include <cstdint>
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

// A 16-bit hash of each root's step text, in root order. A pass over the roots that makes them
// spares the next pass over the same outline every root but the few whose hash a wanted text
// shares: each line looked at costs a trip to memory far away.
using RootTextHashes = std::vector<std::uint16_t>;

// The paths of nodes of `outline`, whose lines `lines` holds: one pass over the file's roots
// for all of them, or over those `known` (the hashes of this outline's roots) may name.
std::vector<NodePath> PathsOf(const OutlineNodes& outline, const LineStore& lines,
                              const std::vector<OutlineNodes::NodeId>& nodes,
                              const RootTextHashes& known = {});

// The roots the first steps of `paths` name in `outline` (none where there is no such root):
// one pass over the file's roots for all of them, which puts their hashes in `made` if given.
std::vector<OutlineNodes::NodeId> FindRoots(const OutlineNodes& outline, const LineStore& lines,
                                            const std::vector<NodePath>& paths,
                                            RootTextHashes* made = nullptr);

// Hashes up to `count` more roots of `outline` after those `hashes` holds, so that the hashes
// of an outline can be made a slice at a time while nothing else runs (more hashes than roots are
// another outline's, and are dropped first). Gives whether `hashes` now holds every root's.
bool HashMoreRoots(const OutlineNodes& outline, const LineStore& lines, RootTextHashes& hashes,
                   std::size_t count);

// The node `path` names, given the root its first step names; none when a step finds no node
// (the block is not filled, or no longer holds it).
OutlineNodes::NodeId FindBelow(const OutlineNodes& outline, const LineStore& lines,
                               OutlineNodes::NodeId root, const NodePath& path);

} // namespace ini
