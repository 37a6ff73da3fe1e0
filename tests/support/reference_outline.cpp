#include "support/reference_outline.h"

#include "parse/line_splitter.h"

namespace ini::test {

namespace {

void WriteNode(std::string& out, const OutlineNodes& nodes, const LineStore& lines,
               OutlineNodes::NodeId id, std::size_t depth, LineSplitter& splitter) {
    const NodeKey key = nodes.KeyOf(id);
    out.append(2 * depth, ' ');
    out += key.ToString();
    out += '\t';
    out += splitter.ParseLine(lines.Line(key.line), nodes.ShowsComment(id)).NodeText();
    out += '\n';
    for (std::size_t row = 0; row < nodes.ChildCountOf(id); ++row)
        WriteNode(out, nodes, lines, nodes.ChildAt(id, row), depth + 1, splitter);
}

} // namespace

std::string ReferenceOutline(const OutlineNodes& nodes, const LineStore& lines) {
    std::string out;
    LineSplitter splitter;
    for (std::size_t root = 0; root < nodes.RootCount(); ++root)
        WriteNode(out, nodes, lines, OutlineNodes::RootAt(root), 0, splitter);
    return out;
}

} // namespace ini::test
