#pragma once

#include "outline/read/file_reader.h"
#include "outline/read/line_store.h"
#include "outline/nodes/outline_nodes.h"
#include "parse/keywords.h"
#include "parse/line_splitter.h"
#include "parse/result.h"

#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace ini {

// The outline as text, one node per line: two spaces per depth level, the node's key, a TAB and
// the node's text with the file's bytes unchanged, then LF. This is what ini-outline prints and
// what the checked outlines under tests/golden hold.
class OutlineText {
public:
    // The most bytes the output line of a node at `depth` for a line of `lineSize` bytes takes.
    static std::size_t MostBytes(std::size_t depth, std::size_t lineSize) noexcept {
        // The node text is never longer than the line with the comment's lead added.
        return 2 * depth + KeyText::mostBytes + 1 + lineSize + SplitLine::commentLead.size() + 1;
    }
    // Writes a node's output line at `at`, which has room for MostBytes; gives its end.
    char* WriteNode(char* at, std::size_t depth, const KeyText& key, std::string_view line,
                    bool showComments);
    // The same for a line the cutter classed, copied in blocks: LineSplitter::copySlack bytes
    // past the line may be read, and past MostBytes written.
    static char* WriteClassedNode(char* at, std::size_t depth, const KeyText& key,
                                  std::string_view line, bool showComments,
                                  LineBytes bytes) noexcept {
        at = LineSplitter::WriteNodeText(WriteLead(at, depth, key), line, showComments, bytes);
        *at++ = '\n';
        return at;
    }
    void AppendNode(std::string& out, std::size_t depth, NodeKey key, std::string_view line,
                    bool showComments);
    // A node's indentation, key and TAB: what comes before its text (which NodeTextParts makes
    // for a line written in parts).
    static char* WriteLead(char* at, std::size_t depth, const KeyText& key) noexcept {
        for (std::size_t i = 0; i < depth; ++i, at += 2)
            std::memcpy(at, "  ", 2);
        at = key.WriteTo(at);
        *at++ = '\t';
        return at;
    }

private:
    LineSplitter m_splitter;
};

// The whole text of an outline in memory, in pre-order.
std::string RenderOutline(const OutlineNodes& nodes, const LineStore& lines);

struct StreamOptions {
    bool showComments = false;
    bool topLevelOnly = false;
    // Put before every output line (a file name and a TAB when several files are printed).
    std::string prefix;
};

// Writes the outline of `file` while it is read, through a few reused pieces, so memory does not
// grow with the file nor with its longest line. Every node that a load and one click on each
// root would make, in the order the outline shows them: a walk over the whole file sees at each
// line the same open blocks as the fill of its block does, so the outline in pre-order is just
// the nodes in file order, each at the depth of its open blocks.
//
// `write` takes whole lines, in large pieces, and returns false when the output failed. Fails
// when the file cannot be read or changes while it is read, and when `write` did.
Result<void> StreamOutline(FileReader file, const Keywords& keywords, const StreamOptions& options,
                           const std::function<bool(std::string_view)>& write);

} // namespace ini
