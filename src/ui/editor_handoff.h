#pragma once

#include "platform/desktop.h"

#include <optional>
#include <string>
#include <string_view>

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
    // Why it failed, ready to show.
    std::string error;
    // The started editor; it stays open on the file also when a later step failed.
    std::optional<TaskId> editor;
    // The 1-based line number typed; empty when no node or no readable key was selected.
    std::string lineNumber;

    bool ok() const { return !failedStep.has_value(); }
};

// The 1-based line number, in decimal, of a node key ("Key_41" gives "42"); empty without a
// key or with one that does not read as a line index.
std::string LineNumberText(std::optional<std::string_view> selectedKey);

// Opens the file in the editor with its caret on the selected node's line: starts
// "notepad.exe <filenameText>" (the text unchanged, as one argument), activates its window,
// then types Ctrl+G, the line number and Enter. Stops at the first step that fails, so keys are
// only ever typed once the editor's own window has the focus.
HandoffResult OpenEditorAtLine(Desktop& desktop, std::optional<std::string_view> selectedKey,
                               std::string_view filenameText);

} // namespace ini
