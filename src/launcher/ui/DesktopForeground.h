#pragma once
// What the desktop can tell about its windows: the active (foreground) window and the handle of one
// of our own windows. Windows and an X11 desktop can tell; elsewhere (Wayland, offscreen) the
// foreground is unknown and the launcher's group raising holds back.
#include "messages/Messages.h"

#include <optional>

class QWidget;

namespace mirota {

// The desktop's active window; nullopt when the window system cannot tell.
std::optional<WindowHandle> DesktopForegroundWindow();

// The desktop's handle of a top-level window (its X11 window id); 0 where there is none.
WindowHandle DesktopWindowHandle(QWidget* window);

} // namespace mirota
