#include "outline/text/outline_text.h"

#include "outline/text/outline_writer.h"
#include "outline/read/piece_reader.h"
#include "parse/line_ends.h"
#include "parse/line_walk.h"

#include <algorithm>
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

// A line longer than the room a piece keeps for a carry, taken as its bytes come so that memory
// does not grow with it. Its first word is gathered up to one byte more than the longest block
// name, which is enough to class the line; once the line is walked, and if it makes a node, the
// writer gets the node's start, the line's bytes part by part, and its end.
//
// Everything here is kept out of line: the walk of ordinary lines must not see the walker or
// the line being cut escape into other code, or it keeps them in memory instead of registers.
class LongLine {
public:
    explicit LongLine(const Keywords& keywords) : m_wordRoom(keywords.LongestName() + 1) {
        m_word.reserve(m_wordRoom);
    }

    bool Active() const noexcept { return m_active; }
    LineIndex Index() const noexcept { return m_index; }
    std::string_view Word() const noexcept { return m_word; }
    // Whether the first word is known and the line not walked yet.
    bool NeedsWalk() const noexcept { return m_wordKnown && !m_walked; }

    [[gnu::noinline]] void Start(LineIndex index) noexcept {
        m_active = true;
        m_index = index;
        m_wordStarted = m_wordKnown = m_walked = m_printing = false;
        m_word.clear();
    }
    // Gathers the first word from the next bytes of the line (which hold no terminator); gives
    // how many bytes it took. `ends`: the line ends after them.
    [[gnu::noinline]] std::size_t Gather(std::string_view part, bool ends) noexcept {
        std::size_t at = 0;
        if (!m_wordKnown && !m_wordStarted) {
            // Spaces before the content are not part of the text.
            at = static_cast<std::size_t>(FirstWordOf(part).data() - part.data());
            m_wordStarted = at < part.size();
        }
        if (!m_wordKnown && m_wordStarted && at < part.size()) {
            // The word goes on to the next space or ";", or past the part's end.
            const std::size_t end = part[at] == ' ' ? at : at + FirstWordOf(part.substr(at)).size();
            const std::size_t taken = std::min(end - at, m_wordRoom - m_word.size());
            m_word.append(part.substr(at, taken));
            at += taken;
            m_wordKnown = end < part.size() || m_word.size() == m_wordRoom;
        }
        m_wordKnown = m_wordKnown || (ends && m_wordStarted);
        return at;
    }
    // The node step calls this when the line makes a node.
    [[gnu::noinline]] void Print(OutlineWriter& writer, std::size_t depth, bool showComments) {
        writer.StartLongNode(depth, m_index, showComments);
        m_printing = true;
    }
    // The line was walked: its word is printed if it made a node.
    [[gnu::noinline]] void Walked(OutlineWriter& writer) {
        m_walked = true;
        if (m_printing && !m_word.empty())
            writer.AddLongPart(m_word);
    }
    // Bytes of the line after those Gather took.
    [[gnu::noinline]] void Add(OutlineWriter& writer, std::string_view part) {
        if (m_printing && !part.empty())
            writer.AddLongPart(part);
    }
    [[gnu::noinline]] void End(OutlineWriter& writer) {
        if (m_printing)
            writer.EndLongNode();
        m_active = false;
    }

private:
    const std::size_t m_wordRoom;
    bool m_active = false;
    LineIndex m_index = 0;
    bool m_wordStarted = false; // a byte other than a space has come
    bool m_wordKnown = false;   // the word has ended, or is too long to open a block
    bool m_walked = false;
    bool m_printing = false; // the line made a node
    std::string m_word;      // the first word, up to m_wordRoom bytes
};

Result<void> Stream(FileReader& file, const Keywords& keywords, const StreamOptions& options,
                    const std::function<bool(std::string_view)>& write) {
    OutlineWriter writer(options.prefix, write);
    const bool comments = options.showComments;
    const CutLine* cut = nullptr; // the line being walked, with what the cutter found out
    std::size_t readable = 0;     // bytes that may be read from the start of what is cut
    LongLine longLine(keywords);
    LineWalker walker(
        keywords, [comments] { return comments; },
        [&](const WalkedLine& line) {
            if (line.lineClass == LineClass::End)
                return;
            const std::size_t depth = line.stacks.Depth();
            if (depth > 0 && options.topLevelOnly)
                return;
            if (cut == nullptr) { // a long line
                longLine.Print(writer, depth, comments);
                return;
            }
            writer.Add(depth, line.index, line.text.line, comments,
                       cut->classed ? &cut->bytes : nullptr,
                       cut->start + LineSplitter::copySlack <= readable);
        },
        [&] { return !writer.Failed(); });

    {
        // The file is read on a thread of its own while the lines read so far are walked.
        PieceReader reader(file);
        PieceReader::Text text;
        std::string_view bytes;    // what is left of `text`
        std::size_t available = 0; // bytes that may be read from the start of `bytes`
        std::string_view carry;    // the unfinished line at the end of the last piece
        bool first = true;
        bool longStarts = false;      // `bytes` starts a long line: no new piece yet
        bool terminatorFirst = false; // a long line has ended: its terminator comes next
        LineIndex next = 0;
        for (;;) {
            if (!longStarts) {
                Result<PieceReader::Text> got = reader.Next(carry);
                if (!got.ok())
                    return got.failure();
                text = got.value();
                bytes = first ? StripUtf8Bom(text.bytes) : text.bytes;
                available = text.readable - (text.bytes.size() - bytes.size());
                first = false;
            }
            longStarts = false;
            std::size_t from = 0; // where the lines to cut start
            if (longLine.Active()) {
                const std::size_t end = FindLineBreak(bytes, 0);
                const bool ends = end < bytes.size() || text.atEnd;
                std::string_view part = bytes.substr(0, end);
                part.remove_prefix(longLine.Gather(part, ends));
                if (longLine.NeedsWalk()) {
                    cut = nullptr;
                    walker.Step(longLine.Index(), longLine.Word(), longLine.Word());
                    longLine.Walked(writer);
                }
                longLine.Add(writer, part);
                if (!ends) {
                    if (writer.Failed())
                        break;
                    carry = {};
                    continue;
                }
                longLine.End(writer);
                terminatorFirst = true;
                from = end;
            }
            if (terminatorFirst && from < bytes.size()) {
                // Found out of line, so that the cut's loop stays as tight as without long lines.
                const std::size_t terminator = TerminatorAtStart(bytes.substr(from), text.atEnd);
                if (terminator == 0) {
                    carry = bytes.substr(from);
                    continue;
                }
                from += terminator;
                terminatorFirst = false;
            }
            const std::string_view lines = bytes.substr(from);
            readable = available - from;
            const std::size_t consumed = CutCompleteLines(
                lines, text.atEnd,
                [&](const CutLine& line) {
                    cut = &line;
                    return walker.Step(next++, line.text, line.firstWord);
                },
                readable);
            if (text.atEnd || writer.Failed())
                break;
            carry = lines.substr(consumed);
            if (carry.size() > PieceReader::carryRoom) {
                // Too long to carry: taken as it comes from here on, starting with these bytes.
                longLine.Start(next++);
                bytes = carry;
                available = readable - consumed;
                longStarts = true;
            }
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
        // The buffers are taken at the start; after that only the collapsed text of a line that
        // fits in a piece can grow, so whatever the file, this is a machine short of memory.
        return file.Fail("not enough memory");
    }
}

} // namespace ini
