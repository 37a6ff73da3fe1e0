#include "outline/check/structure_checks.h"
#include "outline/text/outline_text.h"
#include "outline/walk/outline_builder.h"

#include "outline_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ini {
namespace {

std::vector<Problem> ProblemsOf(const std::string& bytes) {
    Keywords keywords;
    keywords.InitKeywords();
    const test::TempFile file(bytes);
    Result<StructureChecks> checked =
        CheckStructure(FileReader::Open(file.Path()).value(), keywords);
    EXPECT_TRUE(checked.ok()) << checked.error();
    if (!checked.ok())
        return {};
    // The load runs the same checks in its own walk, with the lines it keeps at hand.
    Result<TopLevel> loaded =
        ReadTopLevel(FileReader::Open(file.Path()).value(), keywords, nullptr);
    EXPECT_TRUE(loaded.ok());
    if (loaded.ok()) {
        EXPECT_EQ(loaded.value().problems, checked.value().Problems());
    }
    return checked.value().Problems();
}

// Each mistake is named at the lines it is about, in file order, and says what the rules made
// of it; a file without mistakes has none, whatever else is odd about it.
TEST(StructureChecks, EachMistakeIsNamedWhereItIs) {
    struct Case {
        std::string name;
        std::string bytes;
        std::vector<Problem> problems;
    };
    const Case cases[] = {
        {"sound file",
         "Object Tank ; x\r\n  Draw = ModelA\r\n    DefaultConditionState\r\n    End\r\n  End\r\n"
         "End\r\nVersion = 1\r\nobject tank2\r\nEND\r\n",
         {}},
        {"never closed",
         "Object Tank\n  Speed = 1\n  Draw = ModelA\n    Model = M1\n",
         {{0, "'Object Tank' at line 1 is never closed: every line after it belongs to it"},
          {2, "'Draw = ModelA' at line 3 is never closed: every line after it belongs to it"}}},
        {"stray end",
         "Object A\nEnd\n  end ; again\n",
         {{2, "'end' at line 3 closes no block: none is open here, so it is passed over"}}},
        {"tab after a block name",
         "Object\tTank\n  Speed = 3\n",
         {{0, "'Object<TAB>Tank' at line 1 opens no block: only spaces separate words, so its "
              "first word is 'Object<TAB>Tank', not 'Object'"}}},
        {"no-break space inside a block",
         "Object A\n  Draw\xC2\xA0= ModelA\nEnd\n",
         {{1, "'Draw<NBSP>=' at line 2 opens no block: only spaces separate words, so its first "
              "word is 'Draw<NBSP>=', not 'Draw'"}}},
        {"a tab after a name not known there",
         "Draw\tX\nObject A\n  Weapon\tB\nEnd\nNote\tx\n",
         {}},
        {"defined twice",
         "Weapon LancerGun\nEnd\nweapon  LancerGun ; again\nEnd\nWeapon lancergun\nEnd\n"
         "Weapon LancerGun\nEnd\n",
         {{0, "'Weapon LancerGun' at line 1 is defined again at line 3"},
          {2, "'weapon LancerGun' at line 3 is defined again: it was first defined at line 1"},
          {6, "'Weapon LancerGun' at line 7 is defined again: it was first defined at line 1"}}},
        {"nested blocks of one name are not definitions",
         "Object A\n  Draw = ModelA\n  End\n  Draw = ModelA\n  End\nEnd\n",
         {}},
    };
    for (const Case& c : cases) {
        const std::vector<Problem> got = ProblemsOf(c.bytes);
        EXPECT_EQ(got.size(), c.problems.size()) << c.name;
        for (std::size_t i = 0; i < std::min(got.size(), c.problems.size()); ++i) {
            EXPECT_EQ(got[i].line, c.problems[i].line) << c.name;
            EXPECT_EQ(got[i].message, c.problems[i].message) << c.name;
        }
    }
}

// Among many definitions, only the ones defined again are named, each with its first: the table
// that finds them must tell apart names whose hashes meet.
TEST(StructureChecks, AmongManyDefinitionsOnlyTheRepeatedAreNamed) {
    std::string bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += "Weapon Gun" + std::to_string(i) + "\nEnd\n";
    bytes += "OBJECT Gun7\nEnd\nweapon Gun2999\nEnd\n";
    const std::vector<Problem> got = ProblemsOf(bytes);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, "'Weapon Gun2999' at line 5999 is defined again at line 6003");
    EXPECT_EQ(got[1].message,
              "'weapon Gun2999' at line 6003 is defined again: it was first defined at line 5999");
}

// A file of nothing but stray ends keeps a bounded list and counts the rest.
TEST(StructureChecks, ProblemsPastTheMostAreCountedNotKept) {
    std::string bytes;
    for (std::size_t i = 0; i < StructureChecks::mostProblems + 5; ++i)
        bytes += "End\n";
    Keywords keywords;
    keywords.InitKeywords();
    const test::TempFile file(bytes);
    Result<StructureChecks> checked =
        CheckStructure(FileReader::Open(file.Path()).value(), keywords);
    ASSERT_TRUE(checked.ok());
    EXPECT_EQ(checked.value().Problems().size(), StructureChecks::mostProblems);
    EXPECT_EQ(checked.value().Uncounted(), 5u);
}

// The eight-at-a-time blank test agrees with the byte loop for every word length, every place
// of the byte, and however many bytes of the line follow the word (the fast one reads none past
// the line).
TEST(StructureChecks, FastBlankTestAgreesWithTheByteLoop) {
    for (const char odd : {'\0', '\t', '\x1f', ' ', '\x7f', '\x80', '\xa0', '\xc2', '\xff'}) {
        for (std::size_t length = 0; length <= 20; ++length) {
            for (std::size_t place = 0; place <= length; ++place) {
                for (std::size_t after = 0; after <= 9; ++after) {
                    std::string line(length + after, 'a');
                    if (place < length)
                        line[place] = odd;
                    const std::string_view word = std::string_view(line).substr(0, length);
                    // Copied to a buffer of exactly the line's size, so reading past it shows.
                    const std::vector<char> exact(line.begin(), line.end());
                    const std::string_view inExact(exact.data(), exact.size());
                    EXPECT_EQ(MayHoldOtherBlankFast(inExact.substr(0, length), inExact),
                              MayHoldOtherBlank(word))
                        << "length " << length << ", byte " << int(odd) << " at " << place << ", "
                        << after << " after";
                }
            }
        }
    }
}

} // namespace
} // namespace ini
