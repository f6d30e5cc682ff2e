#pragma once
// BringToForeground's view of a Qt top-level window (header only; the user links Qt6::Widgets). Where
// the platform forces windows to the front itself (Windows), its native window does the work; elsewhere
// Qt's raise and activate do.
#include "messages/Messages.h"
#include "messages/qt/QtWindowHandle.h"

#include <QApplication>
#include <QWidget>

#include <memory>

namespace mirota {

class QtForegroundWindow : public ForegroundWindow {
public:
    explicit QtForegroundWindow(QWidget* window) : window_(window) {
        if (QGuiApplication::platformName() == QLatin1String("windows"))
            native_ = CreatePlatformForegroundWindow(NativeWindowHandle(window->window()));
    }
    bool IsMinimized() const override { return native_ ? native_->IsMinimized() : window_->isMinimized(); }
    void Restore() override {
        if (native_) {
            native_->Restore();
            return;
        }
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
        window_->show();
    }
    bool IsForeground() const override {
        if (native_) return native_->IsForeground();
        return window_->isVisible() && QApplication::activeWindow() == window_->window();
    }
    void RaiseAndActivate() override {
        if (native_) {
            native_->RaiseAndActivate();
            return;
        }
        window_->raise();
        window_->activateWindow();
    }

private:
    QWidget* window_;
    std::unique_ptr<ForegroundWindow> native_;
};

} // namespace mirota
