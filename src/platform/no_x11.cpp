// A build without X11 (INI_X11=OFF): the editor hand-off always goes over the stand-in
// editor's own channel.
#include "platform/desktop.h"

namespace ini {

Result<void> CheckX11Usable() {
    return Failure{"this build has no X11 support"};
}

// Never called: CheckX11Usable() always fails.
std::unique_ptr<Desktop> MakeX11Desktop(std::function<void()>, DesktopTimings) {
    return nullptr;
}

} // namespace ini
