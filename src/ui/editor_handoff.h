#pragma once

#include "parse/result.h"
#include "platform/desktop.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// The steps of handing the selected line to the editor, in the order they run.
enum class HandoffStep {
    StartEditor,
    ActivateEditor,
    OpenGoToLine,
    TypeLineNumber,
    ConfirmLine,
};

struct HandoffResult {
    // The step that failed; empty when every step ran.
    std::optional<HandoffStep> failedStep;
    // Why it failed, set with failedStep: what the step could not do, then the desktop's reason.
    std::optional<Failure> error;
    // The started editor; it stays open on the file also when a later step failed.
    std::optional<TaskId> editor;
    // The 1-based line number typed; empty when no node or no readable key was selected.
    std::string lineNumber;

    bool ok() const { return !error.has_value(); }
};

// The 1-based line number, in decimal, of a node key ("Key_41" gives "42"); empty without a
// key or with one that does not read as a line index.
std::string LineNumberText(std::optional<std::string_view> selectedKey);

// Opens the file in the editor with its caret on the selected node's line: starts
// "notepad.exe <filenameText>" (the text as one argument, "./" in front of a name that starts
// with '-', which the editor would take for an option), activates its window,
// then types Ctrl+G, the line number and Enter. Stops at the first step that fails, so keys are
// only ever typed once the editor's own window has the focus.
HandoffResult OpenEditorAtLine(Desktop& desktop, std::optional<std::string_view> selectedKey,
                               std::string_view filenameText);

// The arguments of the user's own editor command: the command is cut at spaces, double quotes
// keeping spaces inside an argument, and never goes through a shell; then in each argument "%f"
// becomes the file path, "%l" the line number and "%%" a "%", in one pass, so a path that holds
// "%l" stays as it is. Without "%f" the path is added as the last argument. Fails for a command
// that names no program.
Result<std::vector<std::string>> EditorArguments(std::string_view command, std::string_view file,
                                                 std::string_view line);

// Opens the file in the user's own editor with the selected node's line on its command line
// (line 1 when none is selected), such as "kate --line %l %f" or "code -g %f:%l". Types no keys:
// such editors go to the line by themselves.
HandoffResult OpenOwnEditorAtLine(Desktop& desktop, std::string_view command,
                                  std::optional<std::string_view> selectedKey,
                                  std::string_view filenameText);

} // namespace ini
