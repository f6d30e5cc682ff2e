#pragma once
// What the device screens' Qt windows share: the window-state code of HostedScreen and the handle the
// control screen holds for a screen window.
#include "control/Screens.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdint>

namespace mirota {

// Shows `window` centred over the window that was active (the control screen), else on the screen.
inline void ShowCentred(QWidget& window) {
    QRect area;
    if (QWidget* owner = QApplication::activeWindow(); owner && owner != &window)
        area = owner->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isValid())
        window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
    window.show();
}

// Shows `window` (ShowCentred) and then, once it has been painted, runs `start` (the screen logic's
// Start, which begins the device traffic): the window is on the screen before the first byte goes out.
template <class TStart>
void ShowThenStart(QWidget& window, TStart start) {
    ShowCentred(window);
    QPointer<QWidget> shown = &window;
    QTimer::singleShot(0, &window, [shown, start] {
        if (!shown)
            return;
        if (shown->isVisible())
            shown->repaint(); // painted before the traffic's waits begin
        start();
    });
}

inline WindowState StateOfWindow(const QWidget& window) {
    if (window.isMinimized())
        return WindowState::Minimized;
    if (window.isMaximized())
        return WindowState::Maximized;
    return WindowState::Normal;
}

// Restores a minimised window, raises and activates it.
inline void RaiseWindow(QWidget& window) {
    if (window.isMinimized())
        window.showNormal();
    window.raise();
    window.activateWindow();
}

// What the control screen holds of a screen window. Destroying it lets the screen go at once (no
// traffic, ticks or handlers from then on) but deletes the window only once none of its handlers is
// running: the host may destroy it from inside a nested wait that would otherwise return into a
// deleted screen. TWindow is a QWidget and HostedScreen whose Logic() has Detach() and WhenIdle().
template <class TWindow>
class ScreenWindowHandle : public HostedScreen {
public:
    explicit ScreenWindowHandle(TWindow* window) : window_(window) {}
    ~ScreenWindowHandle() override {
        if (!window_)
            return;
        window_->hide();
        window_->Logic().Detach();
        QPointer<TWindow> window = window_;
        window_->Logic().WhenIdle([window] {
            if (window)
                window->deleteLater();
        });
    }
    std::uint32_t Handle() const override { return window_ ? window_->Handle() : 0; }
    void Show() override {
        if (window_)
            window_->Show();
    }
    void Close() override {
        if (window_)
            window_->Close();
    }
    WindowState State() const override { return window_ ? window_->State() : WindowState::Normal; }
    void ShowNormal() override {
        if (window_)
            window_->ShowNormal();
    }
    void BringToForeground() override {
        if (window_)
            window_->BringToForeground();
    }
    TWindow* Window() const { return window_; }

private:
    QPointer<TWindow> window_;
};

} // namespace mirota
