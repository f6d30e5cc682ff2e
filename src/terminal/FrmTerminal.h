#pragma once
// The terminal screen: a VT100/ANSI terminal view on the raw serial line for the device's interactive
// text mode. Opening sends "#", waits a second and sends "n"; closing sends "*". Characters are sent
// through WriteStr, 100 ms apart. No checked commands, no liveness supervision.
#include "control/Screens.h"
#include "link/CommandToolkit.h"
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

class TfrmTerminalFrame : public CommandToolkit {
public:
    static ToolkitConfig Config() { return ToolkitConfig{100, true, 0, 500, 5000}; }

    TfrmTerminalFrame(ScreenHost& aOwner, MessageLoop& loop, Dialogs& dialogs, TComPort* aComPort,
                      const std::string& aSerialNumber, TerminalFrameView& view);
    ~TfrmTerminalFrame() override;

    // The rest of Create once the window exists: StartTerminal.
    void FormCreate();
    void StartTerminal();
    // The screen's own OnException handler: unlike the other screens it tells the user also when the
    // device was unplugged.
    void cpComControllerException(TCustomComPort* sender, int code, const std::string& comportMessage,
                                  std::int64_t winError, const std::string& winMessage);
    // The close handling; ends in the owner's ClosingCurrentFrame (unless the device was unplugged).
    void FormClose();

    // Lets the screen go at once: no traffic, handlers or owner calls from now on. The window that
    // owns this object may still be inside one of its handlers (a nested wait); WhenIdle tells when
    // none is running any more, so that it is destroyed only then.
    void Detach();
    bool Detached() const { return bDetached; }
    // Runs `job` now if no handler of this screen is running, else as soon as the last one returns.
    void WhenIdle(std::function<void()> job);

    const std::string& Caption() const { return caption_; }
    // The text mode was requested ("#" sent); false when the port was not open at the start.
    bool bTerminalStarted = false;

protected:
    void CloseOnFailure() override;

private:
    // Marks a handler of this screen as running (see WhenIdle); the first local of every entry point.
    class Entry {
    public:
        explicit Entry(TfrmTerminalFrame& f) : f_(f) { ++f_.iHandlerDepth; }
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

    private:
        TfrmTerminalFrame& f_;
    };

    void ReleasePortHandlers();

    ScreenHost& owner_;
    TerminalFrameView& view_;
    std::string caption_;
    int iHandlerDepth = 0;
    bool bDetached = false;
    bool bPortHandlersMine = false;
    std::function<void()> whenIdle;
};

} // namespace mirota
