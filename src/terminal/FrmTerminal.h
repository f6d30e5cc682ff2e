#pragma once
// The terminal screen: a VT100/ANSI terminal view on the raw serial line for the device's interactive
// text mode. Opening sends "#", waits a second and sends "n"; closing sends "*". Characters are sent
// through WriteStr, 100 ms apart. No checked commands, no liveness supervision.
#include "link/DeviceLink.h"
#include "screen/Screens.h"
#include "terminal/TerminalSession.h"

#include <functional>
#include <string>

namespace mirota {

// What the terminal screen's window provides; the Qt window implements it, tests use a fake.
class TerminalFrameView {
public:
    virtual ~TerminalFrameView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    // ctTerminal, the terminal view.
    virtual TerminalSession& Terminal() = 0;
    // Closes the window; its close handling runs FormClose.
    virtual void CloseWindow() = 0;
};

inline constexpr const char* kTerminalNotStarted = "The terminal could not be started";

class TfrmTerminalFrame : private LinkHooks {
public:
    // 100 ms per character as one-character texts; OnException only; no checked commands and no
    // liveness; the failure message is shown also for an unplugged device.
    static LinkPolicy Policy() {
        LinkPolicy p;
        p.PauseMs = 100;
        p.WriteAsText = true;
        p.ResendLimit = 0;
        p.Liveness = LivenessPolicy::None;
        p.WithErrorHandler = false;
        p.ReportWhenUnplugged = true;
        return p;
    }

    TfrmTerminalFrame(ScreenHost& aOwner, MessageLoop& loop, Dialogs& dialogs, TComPort* aComPort,
                      const std::string& aSerialNumber, TerminalFrameView& view);
    ~TfrmTerminalFrame() override;

    // The device traffic once the window is shown: StartTerminal. Runs once.
    void Start();
    void StartTerminal();
    // The close handling; ends in the owner's ClosingCurrentFrame (unless the device was unplugged).
    void FormClose();

    // Lets the screen go (see DeviceLink::Detach); also takes the port from the terminal view.
    void Detach();
    bool Detached() const { return link.Detached(); }
    void WhenIdle(std::function<void()> job) { link.WhenIdle(std::move(job)); }
    // The link to the device and its state.
    const DeviceLink& Link() const { return link; }

    const std::string& Caption() const { return caption_; }
    // The text mode was requested ("#" sent); false when the port was not open at the start.
    bool bTerminalStarted = false;

private:
    // LinkHooks
    void CloseOnFailure() override;

    ScreenHost& owner_;
    TerminalFrameView& view_;
    std::string caption_;
    DeviceLink link;
};

} // namespace mirota
