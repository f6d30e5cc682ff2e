#pragma once
// The terminal screen: a VT100/ANSI terminal view on the raw serial line for the device's interactive
// text mode. Opening sends "#", waits a second and sends "n"; closing sends "*". Characters are sent
// through WriteStr, 100 ms apart. No checked commands, no liveness supervision.
#include "screen/Screens.h"
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
    // The port's OnException goes to cpComControllerException.
    void ComPortException(TCustomComPort* sender, int code, const std::string& comportMessage,
                          std::int64_t winError, const std::string& winMessage) override {
        cpComControllerException(sender, code, comportMessage, winError, winMessage);
    }
    // The close handling; ends in the owner's ClosingCurrentFrame (unless the device was unplugged).
    void FormClose();

    // Also takes the port from the terminal view.
    void Detach() override;

    const std::string& Caption() const { return caption_; }
    // The text mode was requested ("#" sent); false when the port was not open at the start.
    bool bTerminalStarted = false;

protected:
    void CloseOnFailure() override;

private:
    ScreenHost& owner_;
    TerminalFrameView& view_;
    std::string caption_;
};

} // namespace mirota
