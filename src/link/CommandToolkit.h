#pragma once
// The device windows' shared link toolkit: paced sending, Delay, the checked command with reply
// time-out and repetition, the liveness tick and the reaction to a port failure. Each window derives
// from it, sets its Config and overrides the hooks; the member names are the windows' own.
#include "link/ComPort.h"
#include "link/DataPacket.h"
#include "link/Dialogs.h"
#include "link/ThreadedTimer.h"

#include <functional>
#include <memory>
#include <string>

namespace mirota {

inline constexpr char CR = '\r';
inline constexpr char ESC = '\x1b';

// What the owning main window tells its screens.
class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;
    // The launcher reported the device as removed; screens then close without traffic or messages.
    virtual bool Unplugged() const = 0;
};

struct ToolkitConfig {
    int PauseMs = 80;             // pause after each character
    bool WriteAsText = false;     // send each character as a one-character WriteStr (terminal)
    int ResendLimit = 4;          // repetitions before "The last command was not executed properly!"
    std::uint32_t ReplyTimeoutMs = 500;
    std::uint32_t LivenessMs = 5000;
};

class CommandToolkit {
public:
    using TResendProcedure = std::function<void(void* sender)>;

    CommandToolkit(MessageLoop& loop, Dialogs& dialogs, TComPort* port, MainWindowLink* mainWindow,
                   ToolkitConfig config);
    virtual ~CommandToolkit();

    // Sends str one character at a time with the window's pause after each; stops as soon as the
    // window has given up the port.
    void SendCommand(const std::string& str);
    void Delay(int milliseconds);

    // The reply time-out (tmrCheckValue's OnTimer) as the reference windows run it.
    virtual void tmrCheckValueTimer(void* sender);
    // The liveness tick as the reference windows run it.
    virtual void TI_CheckAliveTimer(void* sender);
    // Port failure reports (attach to OnError / OnException).
    virtual void ComPortError(TCustomComPort* sender, TComErrors errors);
    virtual void ComPortException(TCustomComPort* sender, int code, const std::string& comportMessage,
                                  std::int64_t winError, const std::string& winMessage);
    void DisplayErrorMsg();
    void DisplayInfoMsg();

    // Creates and enables the liveness timer (bIsAlive true). The tick runs as a handler of the
    // screen (see WhenIdle) and not at all once it is detached; so do the reply time-out and the
    // port handlers below.
    void StartLiveness();
    // Attaches ComPortException (and ComPortError when withErrors) to the port; they are then this
    // screen's (see ReleasePortHandlers).
    void AttachPortHandlers(bool withErrors);
    // Clears the port's OnError and OnException.
    void DetachPortHandlers();
    // Gives the port up after a failure: handlers detached, timers stopped, bErrorOccures set.
    void GiveUpPort();
    // A checked command's routine: rpResend := routine (so a repetition repeats this command).
    void SetResend(TResendProcedure routine) { rpResend = std::move(routine); }
    bool CommandPending() const { return tmrCheckValue.Enabled(); }

    // Lets the screen go at once: no traffic, ticks, handlers or owner calls from now on. The window
    // that owns this object may still be inside one of its handlers (a nested wait); WhenIdle tells
    // when none is running any more, so that it is destroyed only then. A screen extends it for its
    // own filters and views.
    virtual void Detach();
    bool Detached() const { return bDetached; }
    // Runs `job` now if no handler of this screen is running, else as soon as the last one returns.
    void WhenIdle(std::function<void()> job);

    // Members as the windows name them.
    MessageLoop& loop;
    Dialogs& dialogs;
    TComPort* cpComController;
    MainWindowLink* frmMain;
    ToolkitConfig config;
    bool bErrorOccures = false;
    TTimer tmrCheckValue;
    bool bValueIsChecked = false;
    bool bCheckValue = false;
    std::string strValueToCheck;
    int iResendCount = 0;
    TResendProcedure rpResend;
    std::unique_ptr<TThreadedTimer> ttmrCheckAlive;
    bool bIsAlive = true;
    bool bAlreadyClosing = false;

protected:
    // Marks a handler of this screen as running (see WhenIdle); the first local of every entry point.
    class HandlerEntry {
    public:
        explicit HandlerEntry(CommandToolkit& t) : t_(t) { ++t_.iHandlerDepth; }
        ~HandlerEntry();
        HandlerEntry(const HandlerEntry&) = delete;
        HandlerEntry& operator=(const HandlerEntry&) = delete;

    private:
        CommandToolkit& t_;
    };
    using Entry = HandlerEntry;

    // Clears the port's handlers if this screen installed them (bPortHandlersMine); once the screen
    // has handed back to the main window, the port's handlers are the main window's.
    void ReleasePortHandlers();

    int iHandlerDepth = 0;
    bool bDetached = false;
    // The port's OnError/OnException are this screen's own.
    bool bPortHandlersMine = false;

    // Hooks of the window.
    virtual void EnableButtons() {}
    virtual void DisableButtons() {}
    // The reply filter whose OnPacket the time-out clears.
    virtual TComDataPacket* ReplyFilter() { return nullptr; }
    // Re-attaches the "%"-packet filter's OnPacket after the limit path, so that a live device keeps
    // refreshing bIsAlive.
    virtual void ReattachPacketFilter() {}
    // Closes the window because of a failure (ClosingCurrentFrame(true) follows from its close).
    virtual void CloseOnFailure() = 0;

private:
    std::function<void()> whenIdle;
};

} // namespace mirota
