#include "outline/outline_text.h"

#include "outline/outline_writer.h"
#include "outline/piece_reader.h"
#include "parse/line_ends.h"
#include "parse/line_walk.h"

#include <cstring>
#include <new>
#include <vector>

namespace ini {

namespace {

char* Put(char* at, std::string_view bytes) noexcept {
    std::memcpy(at, bytes.data(), bytes.size());
    return at + bytes.size();
}

} // namespace

char* OutlineText::WriteNode(char* at, std::size_t depth, const KeyText& key, std::string_view line,
                             bool showComments) {
    at = WriteLead(at, depth, key);
    const SplitLine parts = m_splitter.ParseLine(line, showComments);
    at = Put(at, parts.content);
    if (parts.HasComment())
        at = Put(Put(at, SplitLine::commentLead), parts.commentTail);
    *at++ = '\n';
    return at;
}

void OutlineText::AppendNode(std::string& out, std::size_t depth, NodeKey key,
                             std::string_view line, bool showComments) {
    const std::size_t used = out.size();
    out.resize(used + MostBytes(depth, line.size()));
    char* const end = WriteNode(out.data() + used, depth, KeyText(key), line, showComments);
    out.resize(static_cast<std::size_t>(end - out.data()));
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
    OutlineWriter writer(options.prefix, write);
    const bool comments = options.showComments;
    const CutLine* cut = nullptr; // the line being walked, with what the cutter found out
    std::size_t readable = 0;     // bytes that may be read from the start of what is cut
    LineWalker walker(
        keywords, [comments] { return comments; },
        [&](const WalkedLine& line) {
            if (line.lineClass == LineClass::End)
                return;
            const std::size_t depth = line.stacks.Depth();
            if (depth > 0 && options.topLevelOnly)
                return;
            writer.Add(depth, line.index, line.text.line, comments,
                       cut->classed ? &cut->bytes : nullptr,
                       cut->start + LineSplitter::copySlack <= readable);
        },
        [&] { return !writer.Failed(); });

    {
        // The file is read on a thread of its own while the lines read so far are walked.
        PieceReader reader(file);
        std::string_view carry; // the unfinished line at the end of the last piece
        LineIndex next = 0;
        for (bool first = true;; first = false) {
            Result<PieceReader::Text> got = reader.Next(carry);
            if (!got.ok())
                return got.failure();
            const PieceReader::Text& text = got.value();
            const std::string_view bytes = first ? StripUtf8Bom(text.bytes) : text.bytes;
            const std::size_t skipped = text.bytes.size() - bytes.size();
            readable = text.readable - skipped;
            const std::size_t consumed = CutCompleteLines(
                bytes, text.atEnd,
                [&](const CutLine& line) {
                    cut = &line;
                    return walker.Step(next++, line.text, line.firstWord);
                },
                readable);
            if (text.atEnd || writer.Failed())
                break;
            carry = bytes.substr(consumed);
        }
    }
    if (!writer.Finish())
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
