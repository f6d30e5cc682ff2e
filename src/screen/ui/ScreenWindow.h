#pragma once
// The device screens' Qt windows are built on ScreenWindow: it implements hosting (HostedScreen),
// closing and the start of the device traffic once for all of them. ScreenWindowHandle is what the
// control screen holds of a screen window, MakeScreen the factory every screen area uses.
#include "screen/Screens.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <concepts>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

namespace mirota {

// Where a window of client size `client` goes so that its frame is centred exactly on `ownerFrame`.
// The new window gets the same decoration as the owner (ownerFrame around ownerClient).
inline QPoint CentredFramePosition(const QRect& ownerFrame, const QRect& ownerClient, QSize client) {
    const int frameWidth = client.width() + (ownerFrame.width() - ownerClient.width());
    const int frameHeight = client.height() + (ownerFrame.height() - ownerClient.height());
    return {ownerFrame.x() + (ownerFrame.width() - frameWidth) / 2,
            ownerFrame.y() + (ownerFrame.height() - frameHeight) / 2};
}

// Shows `window` centred over the window that was active (the control screen), else on the screen.
inline void ShowCentred(QWidget& window) {
    if (QWidget* owner = QApplication::activeWindow(); owner && owner != &window) {
        window.move(CentredFramePosition(owner->frameGeometry(), owner->geometry(), window.size()));
    } else if (QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect area = s->availableGeometry();
        window.move(CentredFramePosition(area, area, window.size()));
    }
    window.show();
}

inline WindowState StateOfWindow(const QWidget& window) {
    if (window.isMinimized()) return WindowState::Minimized;
    if (window.isMaximized()) return WindowState::Maximized;
    return WindowState::Normal;
}

// Restores a minimised window, raises and activates it.
inline void RaiseWindow(QWidget& window) {
    if (window.isMinimized()) window.showNormal();
    window.raise();
    window.activateWindow();
}

// The base of a device screen's window. TLogic is the screen's logic (it holds a DeviceLink and has
// FormClose(); FormClose() returning bool may refuse the close). The derived window builds its widgets,
// then creates logic_ and calls Constructed().
template <class TLogic> class ScreenWindow : public QWidget, public HostedScreen {
public:
    TLogic& Logic() { return *logic_; }

    // HostedScreen
    std::uint32_t Handle() const override { return static_cast<std::uint32_t>(winId()); }
    void Show() override {
        ShowCentred(*this);
        Shown();
        // Once the window has been shown and painted, the device traffic starts.
        QTimer::singleShot(0, this, [this] {
            if (isVisible()) repaint();
            StartLogic();
        });
    }
    void Close() override { close(); }
    WindowState State() const override { return StateOfWindow(*this); }
    void ShowNormal() override { showNormal(); }
    void BringToForeground() override { RaiseWindow(*this); }

    // Starts the logic's device traffic (its Start()), once; nothing for a logic without Start() or
    // one already let go.
    void StartLogic() {
        if (started_ || !logic_) return;
        started_ = true;
        if constexpr (requires(TLogic & l) { l.Start(); }) {
            if (!logic_->Detached()) logic_->Start();
        }
    }

protected:
    explicit ScreenWindow(const char* objectName) {
        setObjectName(QString::fromLatin1(objectName));
        setAttribute(Qt::WA_DeleteOnClose, false);
        setWindowFlag(Qt::Window);
    }
    // Derived windows reset logic_ in their destructors, before the widgets it talks to.
    ~ScreenWindow() override = default;

    // What a window does right after it is shown, before the first paint (focus, ...).
    virtual void Shown() {}

    // The window's part of the view interfaces' CloseWindow(): a close asked while the logic is being
    // built (the port was not open) happens once the control screen holds the window.
    void CloseWindowSoon() {
        if (constructing_)
            QTimer::singleShot(0, this, [this] { close(); });
        else
            close();
    }
    void Constructed() { constructing_ = false; }

    // The close handling may wait with the loop running (the window stays up meanwhile); the control
    // screen destroys the window afterwards. A let-go logic closes at once.
    void closeEvent(QCloseEvent* event) override {
        if (!logic_ || logic_->Detached()) {
            event->accept();
            return;
        }
        if constexpr (std::same_as<decltype(logic_->FormClose()), bool>) {
            if (logic_->FormClose())
                event->accept();
            else
                event->ignore();
        } else {
            logic_->FormClose();
            event->accept();
        }
    }

    std::unique_ptr<TLogic> logic_;

private:
    bool constructing_ = true;
    bool started_ = false;
};

// What the control screen holds of a screen window. Destroying it lets the screen go at once (no
// traffic, ticks or handlers from then on) but deletes the window only once none of its handlers is
// running: the host may destroy it from inside a nested wait that would otherwise return into a
// deleted screen. TWindow is a QWidget and HostedScreen whose Logic() has Detach() and WhenIdle().
template <class TWindow> class ScreenWindowHandle : public HostedScreen {
public:
    explicit ScreenWindowHandle(TWindow* window) : window_(window) {}
    ~ScreenWindowHandle() override {
        if (!window_) return;
        window_->hide();
        window_->Logic().Detach();
        QPointer<TWindow> window = window_;
        window_->Logic().WhenIdle([window] {
            if (window) window->deleteLater();
        });
    }
    std::uint32_t Handle() const override { return window_ ? window_->Handle() : 0; }
    void Show() override {
        if (window_) window_->Show();
    }
    void Close() override {
        if (window_) window_->Close();
    }
    WindowState State() const override { return window_ ? window_->State() : WindowState::Normal; }
    void ShowNormal() override {
        if (window_) window_->ShowNormal();
    }
    void BringToForeground() override {
        if (window_) window_->BringToForeground();
    }
    TWindow* Window() const { return window_; }

private:
    QPointer<TWindow> window_;
};

// The factory of a screen area: the handle of a new TWindow(args...).
template <class TWindow, class... TArgs>
std::unique_ptr<ScreenWindowHandle<TWindow>> MakeScreen(TArgs&&... args) {
    return std::make_unique<ScreenWindowHandle<TWindow>>(new TWindow(std::forward<TArgs>(args)...));
}

// The window behind a screen made by MakeScreen<TWindow> (tests, tools); null for anything else.
template <class TWindow> TWindow* WindowOf(HostedScreen* screen) {
    auto* handle = dynamic_cast<ScreenWindowHandle<TWindow>*>(screen);
    return handle ? handle->Window() : nullptr;
}

} // namespace mirota
