#pragma once

#include "outline/nodes/outline_nodes.h"
#include "outline/read/line_store.h"

#include <string>

namespace ini::test {

// The outline as text, made the plain way to check the program's own against: every node in
// pre-order, each on a line of two spaces per depth level, its key, a TAB and its node text.
std::string ReferenceOutline(const OutlineNodes& nodes, const LineStore& lines);

} // namespace ini::test
