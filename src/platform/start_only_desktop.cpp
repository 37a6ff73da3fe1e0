// The desktop of a build without a windowing system it can drive (INI_X11=OFF): programs start,
// but their windows can be neither brought to the front nor typed into. The editor hand-off then
// opens the file and reports why the caret stayed on the first line.
#include "platform/desktop.h"
#include "platform/program_launcher.h"

namespace ini {
namespace {

class StartOnlyDesktop final : public Desktop {
public:
    Result<TaskId> StartProgram(std::string_view commandLine, WindowMode) override {
        return StartDetached(commandLine, ProgramSearchFolders());
    }
    Result<void> ActivateWindow(TaskId) override {
        return Failure{"this build cannot bring another program's window to the front"};
    }
    Result<void> SendKeys(std::string_view) override {
        return Failure{"this build cannot type into another program's window"};
    }
};

} // namespace

// Nothing here waits, so neither the event callback nor the timings are needed.
// NOLINTNEXTLINE(performance-unnecessary-value-param): the signature every desktop shares
std::unique_ptr<Desktop> MakeSystemDesktop(std::function<void()>, DesktopTimings) {
    return std::make_unique<StartOnlyDesktop>();
}

} // namespace ini
