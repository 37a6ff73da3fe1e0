// ini-outline: prints the outline the viewer shows for a block file, every block filled in.

#include "outline/outline_builder.h"
#include "outline/plain_outline.h"
#include "parse/keywords.h"
#include "parse/line_splitter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view usage =
    "Usage: ini-outline [--comments] [--top-level] FILE\n"
    "\n"
    "Loads FILE as the viewer's Load button does and prints its outline, one node per line,\n"
    "in pre-order: two spaces per depth level, the node's key (Key_<line index>), a TAB and the\n"
    "node's text, bytes as in the file.\n"
    "\n"
    "  --comments   show end-of-line comments in node texts (as the viewer's check box)\n"
    "  --top-level  print only the root nodes, as right after Load; by default every root\n"
    "               node is filled in, as one click on each would\n"
    "  --help       show this text\n"
    "\n"
    "Exit status: 0 on success; 1 when FILE cannot be read (the reason goes to stderr); 2 on\n"
    "a usage error.\n";

// Collects output in large blocks so that millions of nodes cost few system calls.
class Output {
public:
    explicit Output(std::FILE* stream) : m_stream(stream) { m_buffer.reserve(capacity); }
    std::string& Buffer() { return m_buffer; }
    bool FlushIfFull() { return m_buffer.size() < capacity - 4096 || Flush(); }
    bool Flush() {
        const bool ok =
            std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_stream) == m_buffer.size();
        m_buffer.clear();
        return ok;
    }

private:
    static constexpr std::size_t capacity = 1 << 20;
    std::FILE* m_stream;
    std::string m_buffer;
};

bool PrintOutline(const ini::OutlineNodes& nodes, const ini::LineStore& lines, Output& out) {
    using NodeId = ini::OutlineNodes::NodeId;
    ini::LineSplitter splitter;
    struct Frame {
        NodeId parent;
        std::size_t next;
    };
    std::vector<Frame> stack;
    std::size_t root = 0;
    while (root < nodes.RootCount() || !stack.empty()) {
        NodeId id;
        if (stack.empty()) {
            id = nodes.RootAt(root++);
        } else if (Frame& top = stack.back(); top.next < nodes.ChildCountOf(top.parent)) {
            id = nodes.ChildAt(top.parent, top.next++);
        } else {
            stack.pop_back();
            continue;
        }
        std::string& buffer = out.Buffer();
        buffer.append(2 * stack.size(), ' ');
        buffer.append(nodes.KeyOf(id).ToString());
        buffer.push_back('\t');
        const ini::LineIndex line = nodes.KeyOf(id).line;
        splitter.ParseLine(lines.Line(line), nodes.ShowsComment(id)).AppendNodeText(buffer);
        buffer.push_back('\n');
        if (!out.FlushIfFull())
            return false;
        if (nodes.ChildCountOf(id) > 0)
            stack.push_back({id, 0});
    }
    return out.Flush();
}

} // namespace

int main(int argc, char** argv) {
    bool comments = false;
    bool topLevel = false;
    const char* path = nullptr;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsDone && arg == "--help") {
            std::fwrite(usage.data(), 1, usage.size(), stdout);
            return 0;
        }
        if (!optionsDone && arg == "--comments") {
            comments = true;
        } else if (!optionsDone && arg == "--top-level") {
            topLevel = true;
        } else if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg.size() > 1 && arg.front() == '-') {
            std::fprintf(stderr, "ini-outline: unknown option '%s'\n%s", argv[i], usage.data());
            return 2;
        } else if (path == nullptr) {
            path = argv[i];
        } else {
            std::fprintf(stderr, "ini-outline: only one FILE, please\n%s", usage.data());
            return 2;
        }
    }
    if (path == nullptr) {
        std::fprintf(stderr, "ini-outline: no FILE given\n%s", usage.data());
        return 2;
    }

    ini::Keywords keywords;
    keywords.InitKeywords();
    ini::LineStore lines;
    ini::PlainOutline outline;
    ini::FileLoader loader;
    ini::WalkHooks hooks;
    hooks.showComments = [comments] { return comments; };

    const ini::WalkResult loaded = loader.LoadFile(path, lines, outline, keywords, hooks);
    if (loaded.error) {
        std::fprintf(stderr, "ini-outline: %s\n", loaded.error->Message().c_str());
        return 1;
    }
    if (!topLevel) {
        const ini::OutlineNodes& nodes = outline.Nodes();
        const std::size_t roots = nodes.RootCount();
        for (std::size_t row = 0; row < roots; ++row) {
            const ini::WalkResult built =
                ini::ClickNode(nodes.KeyOf(nodes.RootAt(row)), lines, outline, keywords, hooks);
            if (built.error) {
                std::fprintf(stderr, "ini-outline: %s\n", built.error->Message().c_str());
                return 1;
            }
        }
    }

    Output out(stdout);
    if (!PrintOutline(outline.Nodes(), lines, out) || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "ini-outline: cannot write the outline: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
