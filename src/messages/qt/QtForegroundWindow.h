#pragma once
// BringToForeground's view of a Qt top-level window (header only; the user links Qt6::Widgets).
#include "messages/Messages.h"

#include <QApplication>
#include <QWidget>

namespace mirota {

class QtForegroundWindow : public ForegroundWindow {
public:
    explicit QtForegroundWindow(QWidget* window) : window_(window) {}
    bool IsMinimized() const override { return window_->isMinimized(); }
    void Restore() override {
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
        window_->show();
    }
    bool IsForeground() const override {
        return window_->isVisible() && QApplication::activeWindow() == window_->window();
    }
    void RaiseAndActivate() override {
        window_->raise();
        window_->activateWindow();
    }

private:
    QWidget* window_;
};

} // namespace mirota
