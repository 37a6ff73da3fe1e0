#include "outline/outline_text.h"

#include "parse/line_ends.h"
#include "parse/line_walk.h"

#include <charconv>
#include <cstring>
#include <iterator>
#include <new>
#include <vector>

namespace ini {

void OutlineText::AppendNode(std::string& out, std::size_t depth, NodeKey key,
                             std::string_view line, bool showComments) {
    out.append(2 * depth, ' ');
    out.append(NodeKey::prefix);
    char digits[24];
    const auto written = std::to_chars(std::begin(digits), std::end(digits), key.line);
    out.append(digits, written.ptr);
    out.push_back('\t');
    m_splitter.ParseLine(line, showComments).AppendNodeText(out);
    out.push_back('\n');
}

std::string RenderOutline(const OutlineNodes& nodes, const LineStore& lines) {
    using NodeId = OutlineNodes::NodeId;
    OutlineText text;
    std::string out;
    std::vector<NodeId> ancestors; // of the node being written, the root first
    for (std::size_t root = 0; root < nodes.RootCount(); ++root) {
        // A block's nodes lie in file order, which is depth-first order.
        const NodeId rootId = OutlineNodes::RootAt(root);
        ancestors.clear();
        for (std::size_t place = 0, size = nodes.BlockSize(rootId); place < size; ++place) {
            const NodeId id = rootId | place;
            const NodeId parent = nodes.ParentOf(id);
            while (!ancestors.empty() && ancestors.back() != parent)
                ancestors.pop_back();
            const NodeKey key = nodes.KeyOf(id);
            text.AppendNode(out, ancestors.size(), key, lines.Line(key.line),
                            nodes.ShowsComment(id));
            ancestors.push_back(id);
        }
    }
    return out;
}

namespace {

Result<void> Stream(FileReader& file, const Keywords& keywords, const StreamOptions& options,
                    const std::function<bool(std::string_view)>& write) {
    // Output goes out in pieces of about this size; input comes in pieces of the same size.
    constexpr std::size_t piece = std::size_t{1} << 20;
    std::string out;
    out.reserve(piece + 4096);
    bool writeFailed = false;
    OutlineText text;
    const bool comments = options.showComments;
    LineWalker walker(
        keywords, [comments] { return comments; },
        [&](const WalkedLine& line) {
            if (line.lineClass == LineClass::End)
                return;
            const std::size_t depth = line.stacks.Depth();
            if (depth > 0 && options.topLevelOnly)
                return;
            out.append(options.prefix);
            text.AppendNode(out, depth, NodeKey{line.index}, line.text.line, comments);
            if (out.size() >= piece) {
                writeFailed = !write(out);
                out.clear();
            }
        },
        [&] { return !writeFailed; });

    std::vector<char> buffer(piece);
    std::size_t filled = 0;   // bytes in the buffer
    std::size_t consumed = 0; // of those, bytes of lines already walked
    LineIndex next = 0;
    bool first = true;
    for (;;) {
        // Keep the unfinished line at the front; a line longer than the buffer doubles it.
        if (consumed > 0) {
            std::memmove(buffer.data(), buffer.data() + consumed, filled - consumed);
            filled -= consumed;
            consumed = 0;
        }
        if (filled == buffer.size())
            buffer.resize(buffer.size() * 2);
        Result<std::size_t> got = file.Read(buffer.data() + filled, buffer.size() - filled);
        if (!got.ok())
            return got.failure();
        filled += got.value();
        if (first) {
            first = false;
            consumed = filled - StripUtf8Bom({buffer.data(), filled}).size();
        }
        const bool atEnd = file.Remaining() == 0;
        consumed += CutCompleteLines(
            {buffer.data() + consumed, filled - consumed}, atEnd,
            [&](const CutLine& line) { return walker.Step(next++, line.text, line.firstWord); });
        if (writeFailed)
            return Failure{"cannot write the outline"};
        if (atEnd)
            break;
    }
    if (!out.empty() && !write(out))
        return Failure{"cannot write the outline"};
    return file.CheckUnchanged();
}

} // namespace

Result<void> StreamOutline(FileReader file, const Keywords& keywords, const StreamOptions& options,
                           const std::function<bool(std::string_view)>& write) {
    try {
        return Stream(file, keywords, options, write);
    } catch (const std::bad_alloc&) {
        // Only a line too long for the memory left can get here: it must be held whole.
        return file.Fail("not enough memory to hold its longest line");
    }
}

} // namespace ini
