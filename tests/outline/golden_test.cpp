#include "outline/outline_builder.h"

#include "outline/outline_text.h"
#include "outline_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace ini {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

// Every sample, loaded and filled as clicks on each root would, against its checked outline.
TEST(Golden, EverySampleGivesItsCheckedOutline) {
    const std::filesystem::path samples = test::SourceDir() / "samples";
    const std::filesystem::path golden = test::SourceDir() / "tests" / "golden";
    Keywords keywords;
    keywords.InitKeywords();
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(samples)) {
        if (entry.path().extension() != ".ini")
            continue;
        for (const bool comments : {false, true}) {
            const std::string name =
                entry.path().stem().string() + (comments ? ".comments" : "") + ".outline";
            LineStore lines;
            PlainOutline outline;
            FileLoader loader;
            const std::atomic<bool> showComments{comments};
            WalkHooks hooks;
            hooks.showComments = &showComments;
            ASSERT_EQ(loader.LoadFile(entry.path(), lines, outline, keywords, hooks).status,
                      WalkStatus::Done);
            const OutlineNodes& nodes = outline.Nodes();
            for (std::size_t row = 0; row < nodes.RootCount(); ++row) {
                const WalkResult built =
                    ClickNode(nodes.KeyOf(nodes.RootAt(row)), lines, outline, keywords, hooks);
                EXPECT_EQ(built.addsRefused, 0u);
            }
            EXPECT_EQ(RenderOutline(nodes, lines), ReadAll(golden / name)) << name;
            ++checked;
        }
    }
    EXPECT_GE(checked, 10);
}

} // namespace
} // namespace ini
