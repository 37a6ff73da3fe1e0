#include "outline/check/structure_checks.h"
#include "outline/text/outline_text.h"
#include "outline/walk/outline_builder.h"

#include "outline_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ini {
namespace {

// The checks of the stream, as ini-outline --check runs them.
Result<StructureChecks> Streamed(const std::string& bytes) {
    const test::TempFile file(bytes);
    return CheckStructure(FileReader::Open(file.Path()).value(), test::TheKeywords());
}

std::vector<Problem> ProblemsOf(const std::string& bytes) {
    Result<StructureChecks> checked = Streamed(bytes);
    EXPECT_TRUE(checked.ok()) << checked.error();
    if (!checked.ok())
        return {};
    // The load runs the same checks in its own walk, with the lines it keeps at hand.
    const test::TempFile file(bytes);
    Result<TopLevel> loaded =
        ReadTopLevel(FileReader::Open(file.Path()).value(), test::TheKeywords(), nullptr);
    EXPECT_TRUE(loaded.ok());
    if (loaded.ok()) {
        EXPECT_EQ(loaded.value().problems, checked.value().Problems());
        EXPECT_EQ(loaded.value().problemsNotKept, checked.value().Uncounted());
    }
    return checked.value().Problems();
}

// Each mistake is named at the lines it is about, in file order, and says what the rules made
// of it; a file without mistakes has none, whatever else is odd about it.
TEST(StructureChecks, EachMistakeIsNamedWhereItIs) {
    const std::string utf16 = "the file is UTF-16 text, which is read byte for byte: none of its "
                              "block names or end lines is read as such; save it as ANSI or "
                              "UTF-8 text";
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
         {{2,
           "'end' at line 3 closes no block: none is open here, so it is passed over; the last "
           "block, opened at line 1, was closed at line 2: is an End too many in it, or a "
           "block name misspelt?",
           true}}},
        {"tab after a block name",
         "Object\tTank\n  Speed = 3\n",
         {{0, "'Object<TAB>Tank' at line 1 opens no block: only spaces separate words, so its "
              "first word is 'Object<TAB>Tank', not 'Object'"}}},
        {"no-break space inside a block",
         "Object A\n  Draw\xC2\xA0= ModelA\nEnd\n",
         {{1, "'Draw<NBSP>=' at line 2 opens no block: only spaces separate words, so its first "
              "word is 'Draw<NBSP>=', not 'Draw'"}}},
        {"byte order mark, then spaces",
         "\xEF\xBB\xBF  Object\tTank\n",
         {{0, "'Object<TAB>Tank' at line 1 opens no block: only spaces separate words, so its "
              "first word is 'Object<TAB>Tank', not 'Object'"}}},
        {"a tab after an end word, inside a block and outside",
         "Object A\n  X = 1\nEnd\t\nWeapon W\nEnd\nEnd\nend\x0B; x\n",
         {{2, "'End<TAB>' at line 3 closes no block: only spaces separate words, so its first "
              "word is 'End<TAB>', not 'End'"},
          {3, "'Weapon W' at line 4 opens no block: the block opened at line 1 is still open "
              "here; is an End missing above it?"},
          {5,
           "'End' at line 6 closes no block: none is open here, so it is passed over; the last "
           "block, opened at line 1, was closed at line 5: is an End too many in it, or a block "
           "name misspelt?",
           true},
          {6, "'end<VT>' at line 7 closes no block: none is open here, and only spaces separate "
              "words, so its first word is 'end<VT>', not 'end'"}}},
        {"indented with a tab",
         "Object Tank\n\tDraw = ModelA\n\t  Model = M1\n\tEnd\nEnd\n\tObject B\nEnd\n"
         "  \t Draw = X\nObject C\n\t \tend\n\xC3\x9C"
         "ber = 1\nEnd\n",
         {{1, "'<TAB>Draw' at line 2 opens no block: only spaces indent a line, so its first word "
              "is '<TAB>Draw', not 'Draw'; indent with spaces"},
          {3, "'<TAB>End' at line 4 closes no block: only spaces indent a line, so its first word "
              "is '<TAB>End', not 'End'; indent with spaces"},
          {5, "'<TAB>Object' at line 6 opens no block: only spaces indent a line, so its first "
              "word is '<TAB>Object', not 'Object'; indent with spaces"},
          {6,
           "'End' at line 7 closes no block: none is open here, so it is passed over; the last "
           "block, opened at line 1, was closed at line 5: is an End too many in it, or a block "
           "name misspelt?",
           true},
          {9, "'<TAB> <TAB>end' at line 10 closes no block: only spaces indent a line, so its "
              "first word is '<TAB>', not 'end'; indent with spaces"}}},
        {"bytes that do not show: a byte order mark from joined files, an end-of-file byte",
         "Object TankA\nEnd\n\xEF\xBB\xBFObject TankB\n  Speed = 1\nEnd\nObject C\nEnd\x1A\n",
         {{2, "'<BOM>Object' at line 3 opens no block: bytes that do not show stand before it, so "
              "its first word is '<BOM>Object', not 'Object'; remove them"},
          {4,
           "'End' at line 5 closes no block: none is open here, so it is passed over; the last "
           "block, opened at line 1, was closed at line 2: is an End too many in it, or a block "
           "name misspelt?",
           true},
          {5, "'Object C' at line 6 is never closed: every line after it belongs to it"},
          {6, "'End<0x1A>' at line 7 closes no block: a byte that does not show stands in it, so "
              "its first word is 'End<0x1A>', not 'End'; remove it"}}},
        {"NUL bytes before a block",
         std::string("\0\0Object A\nEnd\n", 14),
         {{0, "'<0x00><0x00>Object' at line 1 opens no block: bytes that do not show stand "
              "before it, so its first word is '<0x00><0x00>Object', not 'Object'; remove them"},
          {1, "'End' at line 2 closes no block: none is open here, so it is passed over", true}}},
        {"a tab after a name not known there",
         "Draw\tX\nObject A\n  Weapon\tB\nEnd\nNote\tx\n",
         {}},
        {"defined twice",
         "Weapon LancerGun\nEnd\nweapon  LancerGun ; again\nEnd\nWeapon lancergun\nEnd\n"
         "Weapon LancerGun\nEnd\n",
         {{0, "'Weapon LancerGun' at line 1 is defined again at line 3"},
          {2, "'weapon LancerGun' at line 3 is defined again: it was first defined at line 1"},
          {6, "'Weapon LancerGun' at line 7 is defined again: it was first defined at line 1"}}},
        {"UTF-16, either way round",
         std::string("\xFF\xFEO\0b\0j\0 \0A\0\r\0\n\0", 16),
         {{0, utf16}}},
        {"UTF-16 big end first", std::string("\xFE\xFF\0E\0n\0d", 8), {{0, utf16}}},
        {"UTF-16 without a mark, either way round",
         std::string("O\0b\0j\0 \0A\0", 10),
         {{0, utf16}}},
        {"UTF-16 big end first without a mark", std::string("\0E\0n\0d", 6), {{0, utf16}}},
        {"UTF-16 without a mark that starts with other letters",
         std::string("\xC9\0d\0i\0t\0", 8),
         {{0, utf16}}},
        {"UTF-16 big end first that starts with other letters",
         std::string("\x4E\x2D\0O\0b\0j", 8),
         {{0, utf16}}},
        {"a few NUL bytes in text", std::string("Version = 1\0\0 ; x\0y\n", 20), {}},
        {"NUL bytes that are no text", std::string("\0\0\0\0Version = 1\n", 16), {}},
        {"control bytes are quoted by their value, not sent to the terminal",
         "End \x1b[31m\x7f\n",
         {{0,
           "'End <0x1B>[31m<0x7F>' at line 1 closes no block: none is open here, so it is "
           "passed over",
           true}}},
        {"value lines left outside their block, and a name that holds a tab",
         "Object = Factory\nEnd\nObject = Factory\nEnd\nObject TankA\t; the tank\nEnd\n"
         "Object =Factory\nEnd\n",
         {{0, "'Object =' at line 1 opens a block named '=': that is the form of a value inside "
              "a block; is an End too many above it?"},
          {2, "'Object =' at line 3 opens a block named '=': that is the form of a value inside "
              "a block; is an End too many above it?"},
          {4, "'Object TankA<TAB>' at line 5 names its block 'TankA<TAB>': only spaces separate "
              "words, so the blank is part of its name"},
          {6, "'Object =Factory' at line 7 opens a block named '=Factory': that is the form of a "
              "value inside a block; is an End too many above it?"}}},
        {"a first line that only starts like one", "\xFFVersion = 1\n", {}},
        {"a top-level opener inside a block: an End missing above it",
         "Weapon GunA\n  Damage = 1\nWeapon GunB ; the End of GunA was lost\n  Damage = 2\nEnd\n"
         "Object A\n  Weapon = GunB\n  Weapon\n  Draw = ModelA\n  End\n  Weapon GunC\nEnd\n",
         {{2, "'Weapon GunB' at line 3 opens no block: the block opened at line 1 is still open "
              "here; is an End missing above it?"}}},
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
            EXPECT_EQ(got[i].betweenBlocks, c.problems[i].betweenBlocks) << c.name;
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

// A file of stray ends keeps a bounded list of the first problems by line and counts the rest,
// though a block defined twice is only known at the end.
TEST(StructureChecks, ProblemsPastTheMostAreCountedNotKept) {
    std::string bytes = "Weapon A\nEnd\n";
    for (std::size_t i = 0; i < StructureChecks::mostProblems + 5; ++i)
        bytes += "End\n";
    bytes += "Weapon A\nEnd\n";
    Result<StructureChecks> checked = Streamed(bytes);
    ASSERT_TRUE(checked.ok());
    const std::vector<Problem>& kept = checked.value().Problems();
    ASSERT_EQ(kept.size(), StructureChecks::mostProblems);
    EXPECT_EQ(kept.front().line, 0u);
    EXPECT_EQ(kept.back().line, StructureChecks::mostProblems);
    EXPECT_EQ(checked.value().Uncounted(), 7u);
    EXPECT_EQ(ProblemsOf(bytes), kept);
}

// A top-level block whose line is longer than the stream holds is still a definition.
TEST(StructureChecks, ALongOpenerIsStillADefinition) {
    const std::string bytes = "Object  A " + std::string(PieceReader::pieceBytes * 2, 'x') +
                              "\nEnd\nObject A\nEnd\nObject " +
                              std::string(PieceReader::pieceBytes * 2, 'B') + " ; b\nEnd\n";
    const std::vector<Problem> got = ProblemsOf(bytes);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, "'Object A' at line 1 is defined again at line 3");
    EXPECT_EQ(got[1].line, 2u);
}

// The load looks for blanks in first words only on the lines its reader marked, piece by
// piece; the stream only in pieces, and the lines reaching into them, that hold a byte that may
// be one. Lines cut by the ends of the pieces, a line whose blank comes just after one, and one
// whose blank is the last piece's, are found by both.
TEST(StructureChecks, LinesAcrossTheLoadsPiecesAreChecked) {
    constexpr std::size_t piece = std::size_t{1} << 20; // the load's pieces
    const std::string problem = "Object\tTank\n";
    std::string bytes;
    // Fills with comment lines so that `line` starts at `offset`.
    const auto placeAt = [&](std::size_t offset, const std::string& line) {
        while (bytes.size() + 40 < offset)
            bytes += "; filler " + std::string(29, 'x') + "\n";
        bytes += ";" + std::string(offset - bytes.size() - 2, 'y') + "\n";
        bytes += line;
    };
    placeAt(piece - 3, problem);                 // the tab in the next piece
    placeAt(2 * piece - 6, problem);             // the tab the next piece's first byte
    placeAt(3 * piece, problem);                 // the line the next piece's first
    placeAt(3 * piece + 4096, "  Version\tx\n"); // a blank past no block name
    placeAt(4 * piece - 8, problem);             // the tab in one piece, the line cut in the next
    const std::vector<Problem> got = ProblemsOf(bytes);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[1].line, static_cast<LineIndex>(
                               std::count(bytes.begin(), bytes.begin() + 2 * piece - 6, '\n')));
}

// The stream keeps the openers of open blocks only until their piece is read into again, and
// copies them then: blocks opened pieces before the end, and one opened by a line too long to
// carry (of which the stream keeps the start), are still quoted.
TEST(StructureChecks, BlocksOpenedPiecesBeforeTheEndAreQuoted) {
    const std::string filler = "; " + std::string(60, 'f') + "\n";
    std::string bytes = "Object Tank\n";
    while (bytes.size() < (std::size_t{5} << 20))
        bytes += filler;
    bytes += "  Draw = ModelA\n";
    for (int i = 0; i < 20000; ++i)
        bytes += filler;
    const std::vector<Problem> got = ProblemsOf(bytes);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message,
              "'Object Tank' at line 1 is never closed: every line after it belongs to it");
    EXPECT_EQ(got[1].message.substr(0, 16), "'Draw = ModelA' ");

    bytes += "  End\n  Draw " + std::string(PieceReader::carryRoom * 2, 'x') + "\n";
    for (int i = 0; i < 20000; ++i)
        bytes += filler;
    Result<StructureChecks> checked = Streamed(bytes);
    ASSERT_TRUE(checked.ok());
    ASSERT_EQ(checked.value().Problems().size(), 2u);
    EXPECT_EQ(checked.value().Problems()[0].message, got[0].message);
    const std::string& quoted = checked.value().Problems()[1].message;
    EXPECT_EQ(quoted.substr(0, 7), "'Draw x") << quoted;
    EXPECT_NE(quoted.find("x...' at line "), std::string::npos) << quoted;
}

// A long word is quoted the same way whether its line fits in a piece or not: cut after its
// first bytes, with a mark.
TEST(StructureChecks, LongWordsAreQuotedCutAndMarked) {
    const std::string word = "Object\t" + std::string(PieceReader::carryRoom * 2, 'T');
    const std::vector<Problem> shortLine = ProblemsOf(word + "\nEnd\n");
    ASSERT_FALSE(shortLine.empty());
    EXPECT_EQ(shortLine[0].message.substr(0, 14), "'Object<TAB>TT") << shortLine[0].message;
    EXPECT_LT(shortLine[0].message.size(), 400u);
    EXPECT_NE(shortLine[0].message.find("TT...' at line 1"), std::string::npos);
    std::string bytes = word;
    bytes.resize(PieceReader::pieceBytes + 10, 'T'); // longer than the carry of a piece
    Result<StructureChecks> longLine = Streamed(bytes + "\nEnd\n");
    ASSERT_TRUE(longLine.ok());
    ASSERT_FALSE(longLine.value().Problems().empty());
    EXPECT_EQ(longLine.value().Problems()[0].message, shortLine[0].message);

    // A block never closed is quoted by its opener's line, also when that is longer than a
    // piece: its start, not its first word alone.
    const std::string opener = "Object LongLine abc " + std::string(PieceReader::pieceBytes, 'x');
    Result<StructureChecks> unclosed = Streamed(opener + "\n  Speed = 1\n");
    ASSERT_TRUE(unclosed.ok());
    ASSERT_EQ(unclosed.value().Problems().size(), 1u);
    EXPECT_EQ(unclosed.value().Problems()[0].message,
              "'Object LongLine abc " + std::string(100, 'x') +
                  "...' at line 1 is never closed: every line after it belongs to it");
}

} // namespace
} // namespace ini
