// Linux has no native foreground service of its own: windows are raised through the window toolkit,
// and the launcher asks X11 for the active window itself.
#include "messages/Messages.h"

namespace mirota {

std::unique_ptr<ForegroundWindow> CreatePlatformForegroundWindow(WindowHandle) {
    return nullptr;
}

std::optional<WindowHandle> PlatformForegroundWindow() {
    return std::nullopt;
}

} // namespace mirota
