// Arbitrary file contents through the load and every subtree build, against the outline's
// invariants: keys unique, every child's key above its parent's, no more nodes than lines, a
// second load gives the same outline, and ini-outline's one-pass stream prints exactly the
// outline that the load and the clicks build.

#include "outline/walk/outline_builder.h"
#include "outline/text/outline_text.h"
#include "outline/nodes/plain_outline.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

const ini::Keywords& Table() {
    static const ini::Keywords keywords = [] {
        ini::Keywords k;
        k.InitKeywords();
        return k;
    }();
    return keywords;
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

std::string LoadAndFill(const std::string& bytes, bool comments, ini::LineStore& lines,
                        ini::PlainOutline& outline) {
    ini::FileLoader loader;
    const std::atomic<bool> showComments{comments};
    ini::WalkHooks hooks;
    hooks.showComments = &showComments;
    const ini::WalkResult loaded =
        loader.LoadLines(ini::LineStore::FromBytes(bytes), lines, outline, Table(), hooks);
    Check(loaded.status == ini::WalkStatus::Done && loaded.addsRefused == 0);
    const ini::OutlineNodes& nodes = outline.Nodes();
    for (std::size_t row = 0; row < nodes.RootCount(); ++row) {
        const ini::NodeKey root = nodes.KeyOf(nodes.RootAt(row));
        const ini::WalkResult built = ini::ClickNode(root, lines, outline, Table(), hooks);
        Check(built.addsRefused == 0 && !built.error);
        // Filled once: a second click adds nothing.
        Check(ini::ClickNode(root, lines, outline, Table(), hooks).nodesAdded == 0);
    }
    std::vector<ini::OutlineNodes::NodeId> pending;
    for (std::size_t row = 0; row < nodes.RootCount(); ++row)
        pending.push_back(ini::OutlineNodes::RootAt(row));
    std::size_t visited = 0;
    while (!pending.empty()) {
        const ini::OutlineNodes::NodeId id = pending.back();
        pending.pop_back();
        ++visited;
        const ini::OutlineNodes::NodeId parent = nodes.ParentOf(id);
        Check(parent == ini::OutlineNodes::none || nodes.KeyOf(parent) < nodes.KeyOf(id));
        Check(nodes.Find(nodes.KeyOf(id)) == id); // a key names one node
        for (std::size_t row = 0; row < nodes.ChildCountOf(id); ++row) {
            const ini::OutlineNodes::NodeId child = nodes.ChildAt(id, row);
            Check(nodes.ParentOf(child) == id && nodes.RowOf(child) == row);
            pending.push_back(child);
        }
    }
    Check(visited == nodes.Size() && nodes.Size() <= lines.Count());
    return ini::RenderOutline(nodes, lines);
}

std::string Streamed(const std::string& bytes, bool comments) {
    const int fd = ::memfd_create("fuzz", 0);
    Check(fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    std::string out;
    ini::Result<ini::FileReader> file =
        ini::FileReader::Open("/proc/self/fd/" + std::to_string(fd));
    Check(file.ok());
    ini::StreamOptions options;
    options.showComments = comments;
    const ini::Result<void> streamed =
        ini::StreamOutline(std::move(file).value(), Table(), options, [&](std::string_view piece) {
            out.append(piece);
            return true;
        });
    ::close(fd);
    Check(streamed.ok());
    return out;
}

// Bytes 1 to 3 stand for long runs of spaces, letters and semicolons, so that short inputs reach
// lines longer than the stream carries from one piece to the next, and longer than a piece.
std::string Expanded(std::string_view input) {
    std::string bytes;
    for (const char c : input) {
        if (c == '\x01')
            bytes.append(70'000, ' ');
        else if (c == '\x02')
            bytes.append(70'000, 'x');
        else if (c == '\x03')
            bytes.append(700'000, ';');
        else
            bytes.push_back(c);
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool comments = data[0] & 1;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string bytes = (data[0] & 2) != 0 ? Expanded(input) : std::string(input);
    ini::LineStore lines;
    ini::PlainOutline outline;
    const std::string first = LoadAndFill(bytes, comments, lines, outline);
    Check(LoadAndFill(bytes, comments, lines, outline) == first);
    Check(Streamed(bytes, comments) == first);
    return 0;
}
