#include "outline/index/block_files.h"
#include "outline/index/file_index.h"

#include "support/same_text.h"
#include "support/temp_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace ini {
namespace {

struct Found {
    LineIndex line;
    std::string type;
    std::string name;

    friend bool operator==(const Found&, const Found&) = default;
};

struct Use {
    LineIndex line;
    std::string text;
    int stretches = 0; // how many calls brought the line

    friend bool operator==(const Use& a, const Use& b) {
        return a.line == b.line && a.text == b.text;
    }
};

struct Indexed {
    std::vector<Found> definitions;
    std::vector<Use> uses;
};

// Gathers the uses handed on, line by line.
class UseList {
public:
    std::vector<Use> uses;
    bool lineStarts = true;

    IndexSink::OnUse Taker() {
        return [this](LineIndex line, std::string_view part, bool ends) {
            if (lineStarts)
                uses.push_back({line, {}});
            uses.back().text.append(part);
            ++uses.back().stretches;
            lineStarts = ends;
            return true;
        };
    }
};

// Definitions and the uses of `name` in a file of `bytes`, through the streaming walk. The uses
// that FindUses finds are held to the walk's.
Indexed IndexOf(const std::string& bytes, const std::string& name = "Tank") {
    Keywords keywords;
    keywords.InitKeywords();
    const test::TempFile file(bytes);
    Indexed found;
    UseList walked;
    IndexSink sink(
        [&](const DefinitionLine& at) {
            found.definitions.push_back({at.line, std::string(at.type), std::string(at.name)});
            return true;
        },
        name, walked.Taker());
    const Result<void> done = IndexFile(FileReader::Open(file.Path()).value(), keywords, sink);
    EXPECT_TRUE(done.ok()) << done.error();
    EXPECT_TRUE(walked.lineStarts) << "a use's line did not end";
    found.uses = walked.uses;

    UseList searched;
    const Result<void> search =
        FindUses(FileReader::Open(file.Path()).value(), keywords, name, searched.Taker());
    EXPECT_TRUE(search.ok()) << search.error();
    EXPECT_TRUE(searched.lineStarts) << "a use's line did not end";
    EXPECT_TRUE(searched.uses == walked.uses) << "the search differs from the walk";
    return found;
}

TEST(HoldsWord, OnlyAWholeWordCounts) {
    struct Case {
        std::string_view text;
        bool holds;
    };
    const Case cases[] = {
        {"Tank", true},   {"Tanker", false},   {"BigTank", false},      {"Tank2", false},
        {"2Tank", false}, {"Tank_", false},    {"_Tank", false},        {"Draw=Tank", true},
        {"Tank=1", true}, {"x Tank, y", true}, {"TankTank Tank", true}, {"Tanker Tank", true},
        {"tank", false},  {"Tan", false},      {"\tTank\t", true},      {"Caf\xe9Tank", true},
        {"", false},      {"(Tank)", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HoldsWord(c.text, "Tank"), c.holds) << c.text;
}

// A text that goes on: the byte in front counts, and a name at its end is not decided.
TEST(HoldsWord, ATextInPartsLeavesItsEndOpen) {
    EXPECT_FALSE(HoldsWord("Tank", "Tank", 'x'));
    EXPECT_TRUE(HoldsWord("Tank", "Tank", '='));
    EXPECT_FALSE(HoldsWord("a Tank", "Tank", ' ', false));
    EXPECT_TRUE(HoldsWord("a Tank Tank", "Tank", ' ', false));
    EXPECT_TRUE(HoldsWord("a Tanker Tank ", "Tank", ' ', false));
}

// What a line may name is exactly what a search for uses would find on it.
TEST(WholeWordsOf, AreTheWordsHoldsWordFinds) {
    for (const std::string_view content :
         {"x = Tank-2", "y = Caf\xc3\xa9", "PrimaryWeapon = LancerGun", "a,b,,c_d", "\tTab\tX=1",
          "(Tank) Tank2 _x", ""}) {
        std::set<std::string_view> found;
        for (const std::string_view word : WholeWordsOf(content, content.size()))
            found.insert(word);
        std::set<std::string_view> expected;
        for (std::size_t at = 0; at < content.size(); ++at)
            for (std::size_t size = 1; at + size <= content.size(); ++size) {
                const std::string_view word = content.substr(at, size);
                if (word.find(' ') == std::string_view::npos && HoldsWord(content, word))
                    expected.insert(word);
            }
        EXPECT_EQ(found, expected) << content;
    }
    const std::vector<std::string_view> short4 = WholeWordsOf("x = Tank-2", 4);
    EXPECT_NE(std::find(short4.begin(), short4.end(), "Tank"), short4.end());
    EXPECT_EQ(std::find(short4.begin(), short4.end(), "Tank-2"), short4.end());
}

// A name inside a longer one on the line is not what the line names; alone elsewhere it is.
TEST(OutermostNames, DropNamesInsideLongerOnes) {
    const std::string_view line = "x = Tank-2 Tank";
    const std::string_view tank = line.substr(4, 4);
    const std::string_view tank2 = line.substr(4, 6);
    const std::string_view lone = line.substr(11, 4);
    using Names = std::vector<std::string_view>;
    EXPECT_EQ(OutermostNames({tank, tank2}), Names{"Tank-2"});
    EXPECT_EQ(OutermostNames({tank, tank2, lone}), (Names{"Tank-2", "Tank"}));
    EXPECT_EQ(OutermostNames({tank}), Names{"Tank"});
}

TEST(IndexSink, DefinitionsAreNamedTopLevelOpeners) {
    const Indexed found = IndexOf("Object Tank ; the main one\n"
                                  "  Draw = Model\n"
                                  "    DefaultConditionState\n"
                                  "    End\n"
                                  "  End\n"
                                  "  Object Inner\n" // not an opener inside a block
                                  "End\n"
                                  "Object\n" // one word: no name
                                  "End\n"
                                  "Object ; Commented\n"
                                  "End\n"
                                  "   WEAPON    Gun   Extra  \r\n"
                                  "End\r\n"
                                  "Speed = 1\n"
                                  "\n"
                                  "Armor Plate;Heavy\n"
                                  "End\n"
                                  "Object\tTab\n" // a tab is no space: one word, and no opener
                                  "Unknown Block\n");
    const std::vector<Found> expected = {
        {0, "Object", "Tank"}, {11, "WEAPON", "Gun"}, {15, "Armor", "Plate"}};
    EXPECT_EQ(found.definitions, expected);
}

TEST(IndexSink, UsesAreWholeWordsBeforeTheComment) {
    const Indexed found = IndexOf("Object Tank\n"   // defines it: no use
                                  "  Draw = Tank\n" // a use inside the block
                                  "    DefaultConditionState\n"
                                  "      Model = Tank_Hull ; Tank\n" // prefix, then comment
                                  "    End\n"
                                  "  End\n"
                                  "End\n"
                                  "Object Tanker\n"
                                  "  Weapon=Tank;x\n"
                                  "  Armor = Tank2 tank TANK\n"
                                  "End\n"
                                  "Object Big Tank\n" // defines Big, uses Tank
                                  "End\n"
                                  "; Tank\n"
                                  "  List = Gun,Tank,Jeep   \r\n"
                                  "Object Tank\n" // defined twice: neither is a use
                                  "End\n");
    const std::vector<Use> expected = {{1, "  Draw = Tank"},
                                       {8, "  Weapon=Tank;x"},
                                       {11, "Object Big Tank"},
                                       {14, "  List = Gun,Tank,Jeep   "}};
    EXPECT_EQ(found.uses, expected);
}

// Bytes that are not UTF-8 are bytes like any other: found, and handed on unchanged.
TEST(IndexSink, BytesThatAreNotUtf8PassUnchanged) {
    const Indexed found = IndexOf("Object Caf\xe9\xff\nEnd\nx = \xc3(Tank\x80\n", "Tank");
    EXPECT_EQ(found.definitions, (std::vector<Found>{{0, "Object", "Caf\xe9\xff"}}));
    EXPECT_EQ(found.uses, (std::vector<Use>{{2, "x = \xc3(Tank\x80"}}));
}

// Lines longer than a piece come in parts; what the index finds in them does not depend on
// where the parts end. A piece is 1 MiB, so names are put right across that boundary.
TEST(IndexSink, LongLinesAreFollowedAcrossPieces) {
    constexpr std::size_t piece = std::size_t{1} << 20;
    std::string across(3 * piece, 'a');
    across.replace(0, 7, "Value =");
    across[piece - 3] = ' ';
    across.replace(piece - 2, 4, "Tank"); // Tank across the boundary
    across[piece + 2] = ' ';
    std::string touching(3 * piece, 'b');
    touching.replace(piece - 1, 4, "Tank"); // a word byte before it: no use
    std::string definition = "Object Tank2 " + std::string(3 * piece, ' ') + "Tank";
    std::string commented = "Speed " + std::string(3 * piece, 'c') + " ; Tank";
    std::string defines = "Object Tank " + std::string(3 * piece, ' ') + "x";
    // Printed with their indentation, however deep.
    std::string indented = std::string(6, ' ') + "Value = Tank " + std::string(3 * piece, 'd');
    std::string deep = std::string(piece + 5, ' ') + "Value = " + std::string(piece, 'e') + " Tank";
    const Indexed found =
        IndexOf(across + "\n" + touching + "\n" + definition + "\nEnd\n" + commented + "\n" +
                defines + "\nEnd\n" + "Tank\n" + indented + "\n" + deep + "\n");
    EXPECT_EQ(found.definitions,
              (std::vector<Found>{{2, "Object", "Tank2"}, {5, "Object", "Tank"}}));
    ASSERT_GE(found.uses.size(), 3u);
    EXPECT_EQ(found.uses[0].line, 0u);
    EXPECT_PRED_FORMAT2(test::SameText, found.uses[0].text, across) << "the line as it is, in full";
    EXPECT_GT(found.uses[0].stretches, 1) << "a long line is handed on in stretches";
    EXPECT_EQ(found.uses[1].line, 2u);
    EXPECT_PRED_FORMAT2(test::SameText, found.uses[1].text, definition);
    EXPECT_EQ(found.uses[2], (Use{7, "Tank"}));
    ASSERT_EQ(found.uses.size(), 5u);
    EXPECT_EQ(found.uses[3].line, 8u);
    EXPECT_PRED_FORMAT2(test::SameText, found.uses[3].text, indented);
    EXPECT_EQ(found.uses[4].line, 9u);
    EXPECT_PRED_FORMAT2(test::SameText, found.uses[4].text, deep);
}

// A walk told to stop ends before the next piece, also inside a line that fills many: an index
// that moved on to another folder does not read a huge file to its end first.
TEST(IndexSink, AStopEndsTheWalkBeforeTheNextPiece) {
    Keywords keywords;
    keywords.InitKeywords();
    const test::TempFile file("Object Early\nEnd\n" + std::string(std::size_t{8} << 20, 'x') +
                              "\nObject Late\nEnd\n");
    std::vector<std::string> names;
    IndexSink sink([&](const DefinitionLine& at) {
        names.emplace_back(at.name);
        return true;
    });
    int asked = 0;
    sink.StopWhen([&] { return ++asked == 2; });
    const Result<void> done = IndexFile(FileReader::Open(file.Path()).value(), keywords, sink);
    EXPECT_TRUE(done.ok()) << done.error();
    EXPECT_TRUE(sink.Stopped());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(names, std::vector<std::string>{"Early"});
}

// The search for uses reads a file piece by piece (1 MiB each); lines, line ends and names cut
// by a piece's end, lines longer than what it carries over, and lines that look like the name's
// definition leave it with what the walk finds.
TEST(FindUses, AgreesWithTheWalkAcrossPieces) {
    constexpr std::size_t piece = std::size_t{1} << 20;
    const auto filler = [](std::size_t bytes, const char* end) {
        std::string lines;
        while (lines.size() < bytes)
            lines += std::string("Speed = 1") + end;
        return lines;
    };
    // Every place of a CR LF pair, a use and a definition-like line at the first piece's end.
    for (std::size_t shift = 0; shift < 24; shift += 3) {
        std::string bytes = "\xEF\xBB\xBFTank = 1\r\n" + filler(piece - 20 - shift, "\r\n");
        bytes += "Value = Tank\r\nx\rTank\r\r\n" + filler(piece - piece / 16, "\n") + "Tank\n";
        // Longer than a carry, across the second piece's end: walked from there on.
        bytes += "Value = " + std::string(piece / 8, 'w') + " Tank\n";
        bytes += "Object Tank\r\n  Object Tank\r\nEnd\r\nTank;\n";
        SCOPED_TRACE(shift);
        EXPECT_EQ(IndexOf(bytes).uses.size(), 7u);
    }
}

// A long line that holds a use is kept in $TMPDIR until it ends, where the user has room: /tmp
// is often a small file system in memory.
// A long line that holds a use waits in a file in $TMPDIR. When none can be made there, that
// line alone is lost, and said so with the folder: the uses after it are still found, and a
// long line without the name loses nothing.
TEST(IndexSink, ALongLineIsKeptInTmpdir) {
    Keywords keywords;
    keywords.InitKeywords();
    const std::string longTail(std::size_t{3} << 20, 'x');
    const test::TempFile file("A = Tank\nValue = Tank " + longTail + "\nB = Other " + longTail +
                              "\nC = Tank\n");
    const char* const was = std::getenv("TMPDIR");
    const std::string saved = was != nullptr ? was : "";
    ASSERT_EQ(setenv("TMPDIR", "/nonexistent/folder-of-this-test", 1), 0);
    const auto search = [&](const std::string& name) {
        std::vector<LineIndex> found;
        const Result<void> done = FindUses(FileReader::Open(file.Path()).value(), keywords, name,
                                           [&](LineIndex line, std::string_view, bool ends) {
                                               if (ends)
                                                   found.push_back(line);
                                               return true;
                                           });
        return std::pair(done, found);
    };
    const auto [tank, tankLines] = search("Tank");
    const auto [other, otherLines] = search("Other");
    if (was != nullptr)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ASSERT_FALSE(tank.ok());
    EXPECT_NE(tank.error().find("line 2"), std::string::npos) << tank.error();
    EXPECT_NE(tank.error().find("/nonexistent/folder-of-this-test"), std::string::npos)
        << tank.error();
    EXPECT_EQ(tankLines, (std::vector<LineIndex>{0, 3}));
    ASSERT_FALSE(other.ok()) << "the line that names it is lost";
    EXPECT_TRUE(otherLines.empty());
}

// A long line that is only spaces before its name: the name is still the definition's.
TEST(IndexSink, ALongOpenerKeepsItsWholeName) {
    const std::string name(300, 'N');
    const Indexed found =
        IndexOf("Object" + std::string(std::size_t{3} << 20, ' ') + name + " x\nEnd\n", name);
    EXPECT_EQ(found.definitions, (std::vector<Found>{{0, "Object", name}}));
    EXPECT_TRUE(found.uses.empty()) << "the line that defines a name is not a use of it";
}

// A definition with the file it stands in, by that file's place in a list.
struct PlacedDefinition {
    std::size_t file = 0;
    LineIndex line = 0;
    std::string type;
    std::string name;

    friend bool operator==(const PlacedDefinition&, const PlacedDefinition&) = default;
};

std::vector<std::vector<PlacedDefinition>> Duplicates(const DefinitionGroups& groups) {
    std::vector<std::vector<PlacedDefinition>> duplicates;
    groups.ForEachDuplicate([&](std::size_t file, const DefinitionLine& definition, bool starts) {
        if (starts)
            duplicates.emplace_back();
        duplicates.back().push_back(
            {file, definition.line, std::string(definition.type), std::string(definition.name)});
    });
    return duplicates;
}

TEST(DefinitionGroups, DuplicatesMatchTypesInAnyCaseAndNamesExactly) {
    DefinitionGroups groups;
    groups.Add(0, {0, "Object", "Tank"});
    groups.Add(0, {3, "Weapon", "Gun"});
    groups.Add(1, {0, "Object", "tank"}); // another name
    groups.Add(1, {4, "WEAPON", "Gun"});
    groups.Add(2, {7, "object", "Tank"});
    groups.Add(2, {9, "Armor", "Gun"}); // another type
    const std::vector<std::vector<PlacedDefinition>> expected = {
        {{0, 0, "Object", "Tank"}, {2, 7, "object", "Tank"}},
        {{0, 3, "Weapon", "Gun"}, {1, 4, "WEAPON", "Gun"}},
    };
    EXPECT_EQ(Duplicates(groups), expected);
}

// Enough groups that the table grows several times while earlier groups gain definitions.
TEST(DefinitionGroups, GroupsSurviveTheTableGrowing) {
    DefinitionGroups groups;
    std::vector<std::vector<PlacedDefinition>> expected;
    for (LineIndex line = 0; line < 5000; ++line) {
        const std::string name = "Unit" + std::to_string(line);
        groups.Add(0, {line, "Object", name});
        if (line % 1000 == 0)
            expected.push_back({{0, line, "Object", name}});
    }
    for (std::size_t file = 1; file <= 2; ++file) {
        for (std::vector<PlacedDefinition>& group : expected) {
            groups.Add(file, {7, "OBJECT", group.front().name});
            group.push_back({file, 7, "OBJECT", group.front().name});
        }
    }
    EXPECT_EQ(Duplicates(groups), expected);
}

void Write(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "Object A\nEnd\n";
}

// A folder: every .ini file below it in byte order, links inside not followed, each file once
// under the first path given that reaches it, though a later one reaches it too (by a link
// given as a folder, which is followed, or spelled otherwise), also in a later listing that
// goes on with what one saw; a hard link is a file of its own however the paths are given; a
// file given by name is read whatever its name.
TEST(ListBlockFiles, ListsIniFilesBelowFoldersWithoutFollowingLinks) {
    namespace fs = std::filesystem;
    const test::TempFile top("", "Top.txt");
    const fs::path root = top.Folder();
    for (const char* name : {"b.ini", "a/Z.INI", "a/y.Ini", "a/deep/x.ini", "a b/c.ini", "n.txt",
                             "a/ini", "a/x.ini.bak", "other/o.ini"})
        Write(root / name);
    fs::create_directory_symlink("..", root / "a" / "loop");
    fs::create_symlink(root / "b.ini", root / "a" / "link.ini");
    fs::create_directory_symlink(root / "other", root / "a" / "to-other");
    fs::create_hard_link(root / "b.ini", root / "a" / "hard.ini");
    const std::string r = root.string();
    const BlockFiles listed = ListBlockFiles(
        {r + "/a/to-other", r, top.Path(), r + "/b.ini", r + "/a/loop", r + "/./a b"});
    const std::vector<std::string> expected = {
        r + "/Top.txt",    r + "/a b/c.ini",        r + "/a/Z.INI", r + "/a/deep/x.ini",
        r + "/a/hard.ini", r + "/a/to-other/o.ini", r + "/a/y.Ini", r + "/b.ini"};
    EXPECT_EQ(listed.files, expected);
    EXPECT_TRUE(listed.failures.empty());
    EXPECT_EQ(ListBlockFiles({r + "/a"}).files,
              (std::vector<std::string>{r + "/a/Z.INI", r + "/a/deep/x.ini", r + "/a/hard.ini",
                                        r + "/a/y.Ini"}));
    FilesSeen seen;
    EXPECT_EQ(ListBlockFiles({r + "/a/deep"}, {}, &seen).files,
              std::vector<std::string>{r + "/a/deep/x.ini"});
    EXPECT_TRUE(ListBlockFiles({r + "/a/../a/deep/x.ini"}, {}, &seen).files.empty());
}

TEST(ListBlockFiles, AFolderThatCannotBeReadIsReported) {
    namespace fs = std::filesystem;
    if (::geteuid() == 0)
        GTEST_SKIP() << "every folder can be read by the superuser";
    const test::TempFile top("", "a.ini");
    Write(top.Folder() / "shut" / "b.ini");
    fs::permissions(top.Folder() / "shut", fs::perms::none);
    const BlockFiles listed = ListBlockFiles({top.Folder().string()});
    fs::permissions(top.Folder() / "shut", fs::perms::owner_all);
    EXPECT_EQ(listed.files, std::vector<std::string>{top.Path()});
    ASSERT_EQ(listed.failures.size(), 1u);
    EXPECT_NE(listed.failures[0].message.find("shut"), std::string::npos);
}

} // namespace
} // namespace ini
