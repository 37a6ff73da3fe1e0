// A build without X11 (INI_X11=OFF): the editor hand-off always goes over the stand-in
// editor's own channel.
#include "platform/desktop.h"

namespace ini {

std::optional<std::string> WhyX11Unusable() {
    return "this build has no X11 support";
}

// Never called: WhyX11Unusable() always has a reason.
std::unique_ptr<Desktop> MakeX11Desktop(std::function<void()>, DesktopTimings) {
    return nullptr;
}

} // namespace ini
