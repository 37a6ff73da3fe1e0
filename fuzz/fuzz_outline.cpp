// Arbitrary file contents through the load and every subtree build, against the outline's
// invariants: keys unique, every child's key above its parent's, no more nodes than lines, and a
// second load gives the same outline.

#include "outline/outline_builder.h"
#include "outline/plain_outline.h"

#include <cstdlib>
#include <string>

namespace {

const ini::Keywords& Table() {
    static const ini::Keywords keywords = [] {
        ini::Keywords k;
        k.InitKeywords();
        return k;
    }();
    return keywords;
}

std::string LoadAndFill(const std::string& bytes, bool comments, ini::LineStore& lines,
                        ini::PlainOutline& outline) {
    ini::FileLoader loader;
    ini::WalkHooks hooks;
    hooks.showComments = [comments] { return comments; };
    const ini::WalkResult loaded =
        loader.LoadLines(ini::LineStore::FromBytes(bytes), lines, outline, Table(), hooks);
    if (loaded.status != ini::WalkStatus::Done || loaded.addsRefused != 0)
        std::abort();
    const ini::OutlineNodes& nodes = outline.Nodes();
    for (std::size_t row = 0; row < nodes.RootCount(); ++row) {
        const ini::NodeKey root = nodes.KeyOf(nodes.RootAt(row));
        const ini::WalkResult built = ini::ClickNode(root, lines, outline, Table(), hooks);
        if (built.addsRefused != 0 || built.error)
            std::abort();
        // Filled once: a second click adds nothing.
        if (ini::ClickNode(root, lines, outline, Table(), hooks).nodesAdded != 0)
            std::abort();
    }
    std::string rendered;
    for (ini::OutlineNodes::NodeId id = 0; id < nodes.Size(); ++id) {
        const ini::OutlineNodes::NodeId parent = nodes.ParentOf(id);
        if (parent != ini::OutlineNodes::none && !(nodes.KeyOf(parent) < nodes.KeyOf(id)))
            std::abort();
        if (nodes.Find(nodes.KeyOf(id)) != id)
            std::abort(); // a key that names two nodes
        rendered += nodes.KeyOf(id).ToString() + ":" + std::to_string(parent) + ":" +
                    nodes.TextOf(id, lines) + "\n";
    }
    if (nodes.Size() > lines.Count())
        std::abort();
    return rendered;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool comments = data[0] & 1;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    ini::LineStore lines;
    ini::PlainOutline outline;
    const std::string first = LoadAndFill(bytes, comments, lines, outline);
    const std::string second = LoadAndFill(bytes, comments, lines, outline);
    if (first != second)
        std::abort();
    return 0;
}
