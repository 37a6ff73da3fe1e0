#include "outline/nodes/node_path.h"

#include "support/loaded_outline.h"
#include "support/temp_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ini {
namespace {

using NodeId = OutlineNodes::NodeId;

test::LoadedOutline Load(const std::string& bytes) {
    Keywords keywords;
    keywords.InitKeywords();
    const test::TempFile file(bytes);
    return test::LoadOutline(file.Path(), keywords);
}

NodeId Node(const test::LoadedOutline& loaded, LineIndex line) {
    return loaded.outline.Nodes().Find(NodeKey{line});
}

// The line a path names in another version of the file, or -1 when it names nothing there.
long long LineIn(const test::LoadedOutline& loaded, const NodePath& path) {
    const OutlineNodes& nodes = loaded.outline.Nodes();
    const NodeId root = FindRoots(nodes, loaded.lines, {path}).front();
    if (root == OutlineNodes::none)
        return -1;
    const NodeId node = FindBelow(nodes, loaded.lines, root, path);
    return node == OutlineNodes::none ? -1 : static_cast<long long>(nodes.KeyOf(node).line);
}

const std::string before = "Object Tank\n"     // 0
                           "  Speed = 1\n"     // 1
                           "  Draw = ModelA\n" // 2
                           "    Model = M1\n"  // 3
                           "  End\n"           // 4
                           "  Draw = ModelA\n" // 5: the second of its text
                           "    Model = M2\n"  // 6
                           "  End\n"           // 7
                           "End\n"             // 8
                           "Object Tank\n"     // 9: the second of its text
                           "  Speed = 2\n"     // 10
                           "End\n";            // 11

// Nodes are found again by text and occurrence after lines were added above them, whatever
// their indentation; a node whose text is gone, or whose occurrence is past the last, is not.
TEST(NodePath, NamesANodeByWhatItIsNotWhereItStands) {
    const test::LoadedOutline old = Load(before);
    const std::vector<NodePath> paths =
        PathsOf(old.outline.Nodes(), old.lines, {Node(old, 6), Node(old, 9), Node(old, 10)});
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], (NodePath{{"Object Tank", 0}, {"Draw = ModelA", 1}, {"Model = M2", 0}}));
    EXPECT_EQ(paths[1], (NodePath{{"Object Tank", 1}}));

    const test::LoadedOutline edited = Load("Weapon Gun\nEnd\n\n" + before);
    EXPECT_EQ(LineIn(edited, paths[0]), 6 + 3);
    EXPECT_EQ(LineIn(edited, paths[1]), 9 + 3);
    EXPECT_EQ(LineIn(edited, paths[2]), 10 + 3);

    // Re-indented lines are the same lines; a removed block takes its nodes with it.
    const test::LoadedOutline reindented =
        Load("Object Tank\n\tSpeed = 1\nEnd\nObject Tank\n\t\tSpeed = 2   \nEnd\n");
    EXPECT_EQ(LineIn(reindented, paths[2]), 4);
    EXPECT_EQ(LineIn(reindented, paths[0]), -1);
    const test::LoadedOutline shorter = Load("Object Tank\n  Speed = 2\nEnd\n");
    EXPECT_EQ(LineIn(shorter, paths[1]), -1);
}

// The hashes one pass over the roots makes let the next pass over the same outline look at a
// few lines only, with the same paths; hashes of another outline's roots are not used.
TEST(NodePath, HashesOfOnePassGiveTheNextTheSamePaths) {
    std::string bytes = before;
    for (int i = 0; i < 300; ++i)
        bytes += "Weapon Gun" + std::to_string(i) + "\nEnd\n";
    bytes += "Object Tank\n  Speed = 3\nEnd\n";
    const test::LoadedOutline loaded = Load(bytes);
    const OutlineNodes& nodes = loaded.outline.Nodes();
    const std::vector<NodeId> wanted = {Node(loaded, 6), Node(loaded, 9),
                                        Node(loaded, 12 + 2 * 300 + 1)};
    const std::vector<NodePath> plain = PathsOf(nodes, loaded.lines, wanted);
    ASSERT_EQ(plain[2], (NodePath{{"Object Tank", 2}, {"Speed = 3", 0}}));

    RootTextHashes made;
    const std::vector<NodeId> roots = FindRoots(nodes, loaded.lines, plain, &made);
    EXPECT_EQ(made.size(), nodes.RootCount());
    EXPECT_EQ(PathsOf(nodes, loaded.lines, wanted, made), plain);
    EXPECT_EQ(PathsOf(nodes, loaded.lines, wanted, RootTextHashes(3)), plain);
    EXPECT_EQ(nodes.KeyOf(roots[2]).line, 12u + 2 * 300);
}

// Hashes made a few roots at a time are those one pass makes, whether the roots lie close
// together (one pass over the lines between) or far apart (each found from its mark); hashes of
// an outline with more roots are dropped and made again.
TEST(NodePath, HashesMadeInSlicesAreThoseOfOnePass) {
    std::string dense, sparse;
    for (int i = 0; i < 100; ++i) {
        dense += "Weapon Gun" + std::to_string(i % 7) + "\nEnd\n";
        sparse += "Object Tank" + std::to_string(i % 5) + "\n";
        for (int line = 0; line < 20; ++line)
            sparse += "  Speed = " + std::to_string(line) + "\n";
        sparse += "End\n";
    }
    for (const std::string& bytes : {dense, sparse}) {
        const test::LoadedOutline loaded = Load(bytes);
        const OutlineNodes& nodes = loaded.outline.Nodes();
        RootTextHashes made;
        FindRoots(nodes, loaded.lines, {NodePath{{"Weapon Gun1", 0}}}, &made);
        ASSERT_EQ(made.size(), nodes.RootCount());

        RootTextHashes sliced(nodes.RootCount() + 1);
        int slices = 1;
        while (!HashMoreRoots(nodes, loaded.lines, sliced, 7))
            ++slices;
        EXPECT_EQ(slices, 15);
        EXPECT_EQ(sliced, made);
        EXPECT_TRUE(HashMoreRoots(nodes, loaded.lines, sliced, 7));
        EXPECT_EQ(sliced, made);
    }
}

// A line without a node of its own (an end, a comment) leads to the node before it.
TEST(NodePath, NodeAtOrBeforeALineWithoutANode) {
    const test::LoadedOutline loaded = Load("; head\n" + before);
    const OutlineNodes& nodes = loaded.outline.Nodes();
    EXPECT_EQ(nodes.NodeAtOrBefore(NodeKey{0}), OutlineNodes::none);
    EXPECT_EQ(nodes.KeyOf(nodes.NodeAtOrBefore(NodeKey{5})).line, 4u);   // "  End" after M1
    EXPECT_EQ(nodes.KeyOf(nodes.NodeAtOrBefore(NodeKey{7})).line, 7u);   // a node itself
    EXPECT_EQ(nodes.KeyOf(nodes.NodeAtOrBefore(NodeKey{12})).line, 11u); // past the last line
    EXPECT_EQ(nodes.KeyOf(nodes.NodeAtOrBefore(NodeKey{99})).line, 11u);
}

} // namespace
} // namespace ini
