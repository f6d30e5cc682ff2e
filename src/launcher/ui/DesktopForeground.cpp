// The desktop's active window (the platform's own answer, else X11's _NET_ACTIVE_WINDOW or input focus)
// and the handle of one of our windows.
#include "launcher/ui/DesktopForeground.h"

#include "messages/qt/QtWindowHandle.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef MIROTA_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace mirota {

namespace {

#ifdef MIROTA_HAVE_XCB
bool OnX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

xcb_connection_t* X11Connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    if (!reply) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}
#endif

} // namespace

std::optional<WindowHandle> DesktopForegroundWindow() {
    if (const std::optional<WindowHandle> native = PlatformForegroundWindow()) return native;
#if defined(MIROTA_HAVE_XCB)
    if (!OnX11()) return std::nullopt;
    xcb_connection_t* c = X11Connection();
    if (!c) return std::nullopt;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen) return std::nullopt;
    // A window manager names the active window on the root window.
    if (const xcb_atom_t active = Atom(c, "_NET_ACTIVE_WINDOW"); active != XCB_ATOM_NONE) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, screen->root, active, XCB_ATOM_WINDOW, 0, 1), nullptr);
        if (reply) {
            std::optional<WindowHandle> result;
            if (reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
                result = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
            std::free(reply);
            if (result) return result;
        }
    }
    // Without one, the window that holds the input focus.
    xcb_get_input_focus_reply_t* focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    if (!focus) return std::nullopt;
    const xcb_window_t window = focus->focus;
    std::free(focus);
    if (window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT || window == screen->root)
        return std::nullopt;
    return window;
#else
    return std::nullopt;
#endif
}

WindowHandle DesktopWindowHandle(QWidget* window) {
    return NativeWindowHandle(window);
}

} // namespace mirota
