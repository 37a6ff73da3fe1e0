#pragma once

#include "platform/desktop.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ini {

// The desktop the editor hand-off talks to, for tests: records every call as text and fails
// the ones it is told to.
class FakeDesktop final : public Desktop {
public:
    Result<TaskId> StartProgram(std::string_view commandLine, WindowMode mode) override {
        calls.push_back("start[" + std::string(commandLine) + "] mode " +
                        std::to_string(static_cast<int>(mode)));
        if (failStart)
            return Failure{"no such program"};
        return m_nextTask++;
    }

    Result<TaskId> StartCommand(const std::vector<std::string>& arguments) override {
        std::string call = "run";
        for (const std::string& argument : arguments)
            call += " [" + argument + "]";
        calls.push_back(call);
        if (failStart)
            return Failure{"no such program"};
        return m_nextTask++;
    }

    Result<void> ActivateWindow(TaskId task) override {
        calls.push_back("activate " + std::to_string(task));
        if (whileActivating)
            std::exchange(whileActivating, {})(); // as a real wait for the window lets events run
        if (failActivate)
            return Failure{"no window appeared"};
        return {};
    }

    Result<void> SendKeys(std::string_view keys) override {
        calls.push_back("keys " + std::string(keys));
        if (failKeys == keys)
            return Failure{"keyboard gone"};
        return {};
    }

    std::vector<std::string> calls;
    bool failStart = false;
    bool failActivate = false;
    std::optional<std::string> failKeys;
    // Run once inside the next ActivateWindow.
    std::function<void()> whileActivating;

private:
    TaskId m_nextTask = 4242;
};

} // namespace ini
