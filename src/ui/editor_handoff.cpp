#include "ui/editor_handoff.h"

#include "parse/node_key.h"

#include <QProcess>

#include <charconv>

namespace ini {
namespace {

// Adds one to a decimal number written as text, so the last line index still gets its right
// successor instead of wrapping round to 0.
std::string IncrementDecimal(std::string digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return digits;
        }
        *it = '0';
    }
    return '1' + digits;
}

HandoffResult Failed(HandoffResult result, HandoffStep step, std::string_view what,
                     const Failure& why) {
    result.failedStep = step;
    result.error = WithContext(what, why);
    return result;
}

HandoffResult CannotStart(HandoffResult result, const Failure& why) {
    return Failed(std::move(result), HandoffStep::StartEditor, "Cannot start the editor", why);
}

// The file as an editor's argument: a relative name that starts with '-' gets "./" in front, so
// the editor opens the file "--help" instead of taking it for an option.
std::string EditorFileArgument(std::string_view filenameText) {
    if (filenameText.starts_with('-'))
        return "./" + std::string(filenameText);
    return std::string(filenameText);
}

} // namespace

std::string LineNumberText(std::optional<std::string_view> selectedKey) {
    if (!selectedKey)
        return {};
    const auto key = NodeKey::Parse(*selectedKey);
    if (!key)
        return {};
    char digits[24];
    const auto [end, ec] = std::to_chars(std::begin(digits), std::end(digits), key->line);
    return IncrementDecimal(std::string(digits, end));
}

HandoffResult OpenEditorAtLine(Desktop& desktop, std::optional<std::string_view> selectedKey,
                               std::string_view filenameText) {
    HandoffResult result;
    result.lineNumber = LineNumberText(selectedKey);

    std::string commandLine = "notepad.exe ";
    commandLine.append(EditorFileArgument(filenameText));
    const auto started = desktop.StartProgram(commandLine, WindowMode::Normal);
    if (!started.ok())
        return CannotStart(result, started.failure());
    result.editor = started.value();

    if (auto activated = desktop.ActivateWindow(started.value()); !activated.ok()) {
        return Failed(result, HandoffStep::ActivateEditor,
                      "The editor started but its window could not be activated, so no keys were "
                      "typed",
                      activated.failure());
    }
    if (auto sent = desktop.SendKeys("^g"); !sent.ok())
        return Failed(result, HandoffStep::OpenGoToLine, "Cannot type Ctrl+G", sent.failure());
    if (!result.lineNumber.empty()) {
        if (auto sent = desktop.SendKeys(result.lineNumber); !sent.ok())
            return Failed(result, HandoffStep::TypeLineNumber, "Cannot type the line number",
                          sent.failure());
    }
    if (auto sent = desktop.SendKeys("{ENTER}"); !sent.ok())
        return Failed(result, HandoffStep::ConfirmLine, "Cannot type Enter", sent.failure());
    return result;
}

namespace {

// Whether a double quote of the command is never closed: QProcess::splitCommand then takes the
// rest of the line, file and all, as one argument. Three quotes in a row stand for a quote.
bool LeavesQuoteOpen(std::string_view command) noexcept {
    bool inQuote = false;
    std::size_t quotes = 0;
    for (const char c : command) {
        if (c == '"') {
            quotes = quotes == 2 ? 0 : quotes + 1;
            continue;
        }
        inQuote ^= quotes == 1;
        quotes = 0;
    }
    return inQuote && quotes != 1;
}

} // namespace

Result<std::vector<std::string>> EditorArguments(std::string_view command, std::string_view file,
                                                 std::string_view line) {
    if (LeavesQuoteOpen(command))
        return Failure{"The editor command \"" + std::string(command) +
                       "\" opens a double quote that it never closes."};
    const QStringList words =
        QProcess::splitCommand(QString::fromUtf8(command.data(), qsizetype(command.size())));
    if (words.isEmpty() || words.front().isEmpty())
        return Failure{"The editor command \"" + std::string(command) + "\" names no program."};
    std::vector<std::string> arguments;
    bool fileGiven = false;
    for (const QString& word : words) {
        const std::string text = word.toStdString();
        std::string argument;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if (text[i] == '%' && (next == 'f' || next == 'l' || next == '%')) {
                fileGiven |= next == 'f';
                argument += next == 'f' ? file : next == 'l' ? line : "%";
                ++i;
            } else {
                argument += text[i];
            }
        }
        arguments.push_back(std::move(argument));
    }
    if (!fileGiven)
        arguments.emplace_back(file);
    return arguments;
}

HandoffResult OpenOwnEditorAtLine(Desktop& desktop, std::string_view command,
                                  std::optional<std::string_view> selectedKey,
                                  std::string_view filenameText) {
    HandoffResult result;
    result.lineNumber = LineNumberText(selectedKey);
    const auto arguments = EditorArguments(command, EditorFileArgument(filenameText),
                                           result.lineNumber.empty() ? "1" : result.lineNumber);
    if (!arguments.ok())
        return CannotStart(result, arguments.failure());
    const auto started = desktop.StartCommand(arguments.value());
    if (!started.ok())
        return CannotStart(result, started.failure());
    result.editor = started.value();
    return result;
}

} // namespace ini
