#include "ui/editor_handoff.h"

#include "path_bytes.h"
#include "support/fake_desktop.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ini {
namespace {

using Calls = std::vector<std::string>;

// What the argument probe (tests/platform/argv_probe.cpp) at `out` was given: its process id,
// then each argument; empty when it has not written within a while.
std::vector<std::string> ProbeOutput(const std::string& out) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(out)) {
        if (std::chrono::steady_clock::now() > end)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ifstream file(out, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    std::vector<std::string> fields;
    for (std::size_t at = 0, nul; (nul = text.find('\0', at)) != std::string::npos; at = nul + 1)
        fields.push_back(text.substr(at, nul - at));
    return fields;
}

struct LineCase {
    std::optional<std::string> key;
    std::string lineNumber;
};

TEST(EditorHandoff, TypesTheOneBasedLineOfTheSelectedKeyBetweenCtrlGAndEnter) {
    const std::vector<LineCase> cases = {
        {"Key_0", "1"},
        {"Key_41", "42"},
        {"Key_9", "10"},
        {"Key_999", "1000"},
        {"Key_Key_7", "8"},
        {"7", "8"},
        {"Key_18446744073709551615", "18446744073709551616"},
        // Nothing selected or an unreadable key: the editor still opens its prompt and closes it.
        {std::nullopt, ""},
        {"Key_", ""},
        {"Key_x", ""},
        {"Key_-1", ""},
        {"Key_ 1", ""},
        {"Key_18446744073709551616", ""},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE("key: " + c.key.value_or("(none)"));
        FakeDesktop desktop;
        const auto key = c.key ? std::optional<std::string_view>(*c.key) : std::nullopt;
        const HandoffResult result = OpenEditorAtLine(desktop, key, "/data/a.ini");

        EXPECT_TRUE(result.ok()) << result.error->message;
        EXPECT_EQ(result.lineNumber, c.lineNumber);
        EXPECT_EQ(result.editor, TaskId{4242});
        Calls expected{"start[notepad.exe /data/a.ini] mode 1", "activate 4242", "keys ^g"};
        if (!c.lineNumber.empty())
            expected.push_back("keys " + c.lineNumber);
        expected.push_back("keys {ENTER}");
        EXPECT_EQ(desktop.calls, expected);
    }
}

TEST(EditorHandoff, PassesTheFileNameTextUnchangedAfterOneSpace) {
    const std::vector<std::string> names = {
        "/home/me/my files/units.ini",
        "C:\\Data\\units.ini",
        "it's \"quoted\"; rm -rf ~ $(reboot) `id` & | > x.ini",
        "  leading and trailing  ",
        "",
    };
    for (const std::string& name : names) {
        SCOPED_TRACE("file name: " + name);
        FakeDesktop desktop;
        (void)OpenEditorAtLine(desktop, "Key_1", name);
        ASSERT_FALSE(desktop.calls.empty());
        EXPECT_EQ(desktop.calls.front(), "start[notepad.exe " + name + "] mode 1");
    }
    // A file named like an option would be read as one by the editor.
    FakeDesktop desktop;
    (void)OpenEditorAtLine(desktop, "Key_1", "--help");
    ASSERT_FALSE(desktop.calls.empty());
    EXPECT_EQ(desktop.calls.front(), "start[notepad.exe ./--help] mode 1");
}

struct FailureCase {
    std::string name;
    void (*arrange)(FakeDesktop&);
    HandoffStep step;
    Calls calls;
    std::optional<TaskId> editor;
};

TEST(EditorHandoff, StopsAtTheFirstFailingStepSoNoKeysGoAstray) {
    const std::vector<FailureCase> cases = {
        {"start fails",
         [](FakeDesktop& d) { d.failStart = true; },
         HandoffStep::StartEditor,
         {"start[notepad.exe f.ini] mode 1"},
         std::nullopt},
        {"activation fails",
         [](FakeDesktop& d) { d.failActivate = true; },
         HandoffStep::ActivateEditor,
         {"start[notepad.exe f.ini] mode 1", "activate 4242"},
         4242},
        {"ctrl+g fails",
         [](FakeDesktop& d) { d.failKeys = "^g"; },
         HandoffStep::OpenGoToLine,
         {"start[notepad.exe f.ini] mode 1", "activate 4242", "keys ^g"},
         4242},
        {"line number fails",
         [](FakeDesktop& d) { d.failKeys = "6"; },
         HandoffStep::TypeLineNumber,
         {"start[notepad.exe f.ini] mode 1", "activate 4242", "keys ^g", "keys 6"},
         4242},
        {"enter fails",
         [](FakeDesktop& d) { d.failKeys = "{ENTER}"; },
         HandoffStep::ConfirmLine,
         {"start[notepad.exe f.ini] mode 1", "activate 4242", "keys ^g", "keys 6", "keys {ENTER}"},
         4242},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        c.arrange(desktop);
        const HandoffResult result = OpenEditorAtLine(desktop, "Key_5", "f.ini");

        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.failedStep, c.step);
        EXPECT_EQ(desktop.calls, c.calls);
        EXPECT_EQ(result.editor, c.editor);
        ASSERT_TRUE(result.error);
        EXPECT_FALSE(result.error->message.empty());
    }
}

TEST(EditorHandoff, ErrorsCarryTheDesktopsReason) {
    FakeDesktop desktop;
    desktop.failActivate = true;
    const HandoffResult result = OpenEditorAtLine(desktop, "Key_5", "f.ini");
    ASSERT_TRUE(result.error);
    const std::string& message = result.error->message;
    EXPECT_NE(message.find("no window appeared"), std::string::npos) << message;
    EXPECT_NE(message.find("no keys were typed"), std::string::npos) << message;
}

TEST(EditorHandoff, EveryClickStartsItsOwnEditorAndTypesIntoIt) {
    FakeDesktop desktop;
    const HandoffResult first = OpenEditorAtLine(desktop, "Key_0", "a.ini");
    const HandoffResult second = OpenEditorAtLine(desktop, "Key_1", "a.ini");

    EXPECT_EQ(first.editor, TaskId{4242});
    EXPECT_EQ(second.editor, TaskId{4243});
    const Calls expected{
        "start[notepad.exe a.ini] mode 1", "activate 4242", "keys ^g", "keys 1", "keys {ENTER}",
        "start[notepad.exe a.ini] mode 1", "activate 4243", "keys ^g", "keys 2", "keys {ENTER}",
    };
    EXPECT_EQ(desktop.calls, expected);
}

struct CommandCase {
    std::string command;
    std::vector<std::string> arguments;
};

TEST(OwnEditor, PlaceholdersFillWholeArgumentsWithoutAShell) {
    const std::string file = "/my data/a %l; $(id) 'x'.ini";
    const std::vector<CommandCase> cases = {
        {"kate --line %l %f", {"kate", "--line", "42", file}},
        {"code -g %f:%l", {"code", "-g", file + ":42"}},
        {"vim +%l", {"vim", "+42", file}},
        {"\"/opt/my editor/ed\" --at=%l%% %f", {"/opt/my editor/ed", "--at=42%", file}},
        {"ed %x %", {"ed", "%x", "%", file}},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.command);
        const auto arguments = EditorArguments(c.command, file, "42");
        ASSERT_TRUE(arguments.ok()) << arguments.error();
        EXPECT_EQ(arguments.value(), c.arguments);
    }
    for (const std::string blank : {"", "   ", "\"\""}) {
        SCOPED_TRACE("command: " + blank);
        EXPECT_FALSE(EditorArguments(blank, file, "42").ok());
    }
    // The rest of the line would be the program's name.
    for (const std::string open : {"\"/opt/ed %f", "ed \"--at %l", "ed \"\"\"\"x %f"}) {
        SCOPED_TRACE("command: " + open);
        const auto arguments = EditorArguments(open, file, "42");
        ASSERT_FALSE(arguments.ok());
        EXPECT_NE(arguments.error().find("never closes"), std::string::npos);
    }
    EXPECT_EQ(EditorArguments("ed \"\"\"x\"\"\" %f", file, "42").value(),
              (std::vector<std::string>{"ed", "\"x\"", file}));
}

TEST(OwnEditor, StartsWithTheLineOnItsCommandLineAndTypesNothing) {
    FakeDesktop desktop;
    const HandoffResult selected = OpenOwnEditorAtLine(desktop, "kate -l %l %f", "Key_9", "a.ini");
    const HandoffResult none = OpenOwnEditorAtLine(desktop, "kate -l %l %f", std::nullopt, "a.ini");
    EXPECT_TRUE(selected.ok() && none.ok());
    EXPECT_EQ(selected.editor, TaskId{4242});
    (void)OpenOwnEditorAtLine(desktop, "kate %f", std::nullopt, "-x.ini");
    const Calls expected{"run [kate] [-l] [10] [a.ini]", "run [kate] [-l] [1] [a.ini]",
                         "run [kate] [./-x.ini]"};
    EXPECT_EQ(desktop.calls, expected);

    FakeDesktop failing;
    failing.failStart = true;
    const HandoffResult failed = OpenOwnEditorAtLine(failing, "kate %f", "Key_9", "a.ini");
    EXPECT_EQ(failed.failedStep, HandoffStep::StartEditor);
    ASSERT_TRUE(failed.error);
    EXPECT_NE(failed.error->message.find("no such program"), std::string::npos)
        << failed.error->message;
}

TEST(OwnEditor, GetsTheFilesBytesThroughTheSystemDesktop) {
    int argc = 1;
    char name[] = "editor_handoff_test";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    const TempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    const std::string editor = folder.Path() + "/editor";
    std::filesystem::copy_file(INI_ARGV_PROBE, editor);
    const std::string out = folder.Path() + "/args.out";
    const std::string command = "\"" + editor + "\" --line %l %f";
    const auto desktop = MakeChannelDesktop();
    for (const std::string& file : OneByteNames()) {
        const std::string path = folder.Path() + "/" + file + ".ini";
        SCOPED_TRACE("byte " + std::to_string(static_cast<unsigned char>(file.back())));
        std::filesystem::remove(out);
        const HandoffResult result = OpenOwnEditorAtLine(*desktop, command, "Key_6", path);
        ASSERT_TRUE(result.ok()) << result.error->message;
        const std::vector<std::string> expected{std::to_string(*result.editor), "--line", "7",
                                                path};
        EXPECT_EQ(ProbeOutput(out), expected);
    }
}

} // namespace
} // namespace ini
