#pragma once
// The handle by which other programs address a Qt top-level window (header only; the user links
// Qt6::Widgets): its X11 window id or its Windows window handle. 0 where the window system has no such
// handles (Wayland, offscreen); the messenger then chooses one.
#include "messages/Messages.h"

#include <QGuiApplication>
#include <QWidget>

namespace mirota {

inline WindowHandle NativeWindowHandle(QWidget* window) {
    if (!window) return 0;
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && platform != QLatin1String("windows")) return 0;
    const auto id = static_cast<unsigned long long>(window->winId());
    return id <= 0xFFFFFFFFull ? static_cast<WindowHandle>(id) : 0;
}

} // namespace mirota
