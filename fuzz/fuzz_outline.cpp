// Arbitrary file contents through the load and every subtree build, against the outline's
// invariants: keys unique, every child's key above its parent's, no more nodes than lines, a
// second load gives the same outline, and ini-outline's one-pass stream prints exactly the
// outline that the load and the clicks build.

#include "outline/text/outline_text.h"
#include "support/loaded_outline.h"
#include "support/reference_outline.h"
#include "support/temp_file.h"

#include <cstdlib>
#include <string>
#include <string_view>
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

// The load and a click on every root, checked against the outline's invariants; gives the
// outline as text.
std::string LoadAndFill(const std::string& path, bool comments) {
    ini::test::LoadedOutline loaded = ini::test::LoadOutline(path, Table(), {.comments = comments});
    Check(loaded.load.status == ini::WalkStatus::Done && loaded.load.addsRefused == 0);
    Check(loaded.clicksRefused == 0 && !loaded.clickError);
    const ini::OutlineNodes& nodes = loaded.outline.Nodes();
    std::vector<ini::OutlineNodes::NodeId> pending;
    for (std::size_t row = 0; row < nodes.RootCount(); ++row) {
        const ini::NodeKey root = nodes.KeyOf(ini::OutlineNodes::RootAt(row));
        // Filled once: a second click adds nothing.
        Check(ini::ClickNode(root, loaded.lines, loaded.outline, Table(), {}).nodesAdded == 0);
        pending.push_back(ini::OutlineNodes::RootAt(row));
    }
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
    Check(visited == nodes.Size() && nodes.Size() <= loaded.lines.Count());
    return ini::test::ReferenceOutline(nodes, loaded.lines);
}

std::string Streamed(const std::string& path, bool comments) {
    std::string out;
    ini::Result<ini::FileReader> file = ini::FileReader::Open(path);
    Check(file.ok());
    ini::StreamOptions options;
    options.showComments = comments;
    const ini::Result<void> streamed =
        ini::StreamOutline(std::move(file).value(), Table(), options, [&](std::string_view piece) {
            out.append(piece);
            return true;
        });
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
    const ini::test::MemoryFile file(bytes);
    Check(!file.Path().empty());
    const std::string first = LoadAndFill(file.Path(), comments);
    Check(LoadAndFill(file.Path(), comments) == first);
    Check(Streamed(file.Path(), comments) == first);
    return 0;
}
