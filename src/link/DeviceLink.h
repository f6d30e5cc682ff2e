#pragma once
// A device screen's link to the device: paced sending, Delay, the packet filters on the port, the
// checked command with reply time-out and repetition, the measurement stream's switch, the liveness
// tick, the reaction to a port failure, and the count of the screen's running handlers. Each screen holds one
// as a member; what differs per screen is a LinkPolicy and a few hooks (LinkHooks). The link's state carries
// the screens' member names and is written by the link only: screens and tests read it through the const
// accessors below.
#include "link/ComPort.h"
#include "link/DataPacket.h"
#include "link/Dialogs.h"
#include "link/ThreadedTimer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace mirota {

inline constexpr char CR = '\r';
inline constexpr char ESC = '\x1b';

// The link's messages.
inline constexpr const char* kDeviceSilentMessage =
    "The device does not respond. \r\nPlease restart the device!";
inline constexpr const char* kLinkFailedMessage = "The communication with the device failed.\r\n"
                                                  "Make sure that the device is properly connected.\r\n"
                                                  "Please restart the device.";
inline constexpr const char* kLastCommandFailedMessage = "The last command was not executed properly!";
inline constexpr const char* kLinkTimeoutCaption = "Timeout...";

// What the owning main window tells its screens.
class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;
    // The launcher reported the device as removed; screens then close without traffic or messages.
    virtual bool Unplugged() const = 0;
};

// How the reply to a checked command is taken.
enum class ReplyPolicy {
    // Any reply ends the time-out; a comparing command (bCheckValue) needs its answer, any other reads
    // the answer as a value. The screen's follow-up runs after every reply.
    Reference,
    // Every reply is compared with strValueToCheck; the time-out keeps running, so a wrong answer is
    // left to it and repeated. The follow-up runs for an accepted answer only.
    CompareOnly,
};

// How the liveness tick works.
enum class LivenessPolicy {
    None,
    // The tick clears bIsAlive, the screen's packets set it; a whole silent interval is fatal.
    Reference,
    // bIsAlive is false while a step's reply is outstanding; a missed reply is retried once through
    // LinkHooks::RetryMissedReply, the keep-alive goes out only while no pass runs.
    Sequencer,
};

struct LinkPolicy {
    int PauseMs = 80;         // pause after each character
    bool WriteAsText = false; // each character as a one-character WriteStr (terminal)
    int ResendLimit = 4;      // repetitions before "The last command was not executed properly!"
    std::uint32_t ReplyTimeoutMs = 500;
    std::uint32_t LivenessMs = 5000;
    ReplyPolicy Replies = ReplyPolicy::Reference;
    LivenessPolicy Liveness = LivenessPolicy::Reference;
    bool WithErrorHandler = true;     // OnError is attached as well as OnException
    int FailureMessagePauseMs = 0;    // wait between giving the port up and the failure message
    bool ReportWhenUnplugged = false; // the failure message is shown also for an unplugged device
};

// How a reply was taken (see ReplyPolicy).
enum class ReplyOutcome { Ignored, Matched, Read };

// What the link calls back into its screen.
class LinkHooks {
public:
    virtual ~LinkHooks() = default;
    virtual void EnableButtons() {}
    // After the reply time-out's limit: the "%"-packet filter's OnPacket again, so that a live device
    // keeps refreshing bIsAlive.
    virtual void ReattachPacketFilter() {}
    // The screen's follow-up to a reply of the pending checked command.
    virtual void ReplyHandled(const std::string& str, ReplyOutcome outcome) {
        (void)str;
        (void)outcome;
    }
    // Closes the window because of a failure (its close handling follows).
    virtual void CloseOnFailure() = 0;
    // Sequencer liveness: the outstanding step's reply is missing. Repeats the step and returns true
    // while the screen still grants a repetition; false lets the link report the silent device.
    virtual bool RetryMissedReply() { return false; }
    // Sequencer liveness: a tick found the link alive.
    virtual void LinkAlive() {}
    // Sequencer liveness: a pass runs (no keep-alive then).
    virtual bool PassRunning() const { return false; }
};

class DeviceLink {
public:
    using TResendProcedure = std::function<void(void* sender)>;
    using ValueReader = std::function<bool(const std::string& str)>;

    // One checked command.
    struct Ask {
        std::string Command;                 // sent with SendCommand
        std::string ReplyStart;              // the reply filter's start string
        std::optional<std::string> Expected; // a comparing command's answer (strValueToCheck)
        // Reads a reply that is not compared (shows it); true when it could be read.
        ValueReader Reader;
        TResendProcedure Resend; // rpResend: the routine that arms and sends the command again
        std::string Lead;        // sent before the command, followed by LeadPauseMs
        int LeadPauseMs = 0;
        bool Timeout = true; // false: the reply is awaited as long as it takes
    };

    // replyFilter: the screen's reply filter, whose OnPacket the link sets for a checked command and
    // clears at the time-out (may be null for a screen without checked commands).
    DeviceLink(MessageLoop& loop, Dialogs& dialogs, TComPort* port, MainWindowLink* mainWindow,
               LinkPolicy policy, LinkHooks& hooks, TComDataPacket* replyFilter = nullptr);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // ---- acting --------------------------------------------------------------------------------
    // Sends str one character at a time with the screen's pause after each; stops as soon as the port
    // has been given up.
    void SendCommand(const std::string& str);
    void Delay(int milliseconds);
    // A checked command: arms the reply filter and the flags, sets rpResend, sends (Lead first) and
    // starts the reply time-out.
    void SendChecked(const Ask& ask);
    // The reply of the pending checked command (the reply filter's OnPacket), as the policy takes it.
    void Reply(const std::string& str);

    // How the measurement stream is switched (see SwitchStream).
    struct StreamSwitch {
        std::string Lead{}; // sent before the command, followed by LeadPauseMs
        int LeadPauseMs = 0;
        ValueReader Reader{}; // reads the replies that are not compared (ReplyPolicy::Reference)
    };
    // The device's measurement stream switched on ("$6661" CR, answered "1") or off ("$6660" CR,
    // answered "0"): a checked command with the reply start "&666" that repeats itself when it goes
    // unanswered. Switching off sends nothing while a checked command is pending.
    void SwitchStream(bool on, const StreamSwitch& how);
    void SwitchStream(bool on) { SwitchStream(on, StreamSwitch{}); }
    // Ends the time-out of the pending checked command (its reply is not awaited any more).
    void StopReplyTimeout();

    // Binds the screen's two packet filters to the port: first `packets`, for the unasked packets that
    // begin with packetStart, so that it sees each chunk before the reply filter; then the reply filter,
    // its OnPacket cleared and its start string empty until a checked command arms it. Both end at ESC.
    // Detach, and the link's end, unbind both and clear their OnPacket.
    void BindPacketFilters(TComDataPacket& packets, const std::string& packetStart);

    // Attaches the port's OnException (and OnError, as the policy says); they are this screen's until
    // ReleasePortHandlers.
    void AttachPortHandlers();
    // Clears the port's handlers if this screen installed them: once the screen hands back to the main
    // window, they are the main window's.
    void ReleasePortHandlers();
    // Creates and enables the liveness timer (bIsAlive true).
    void StartLiveness();
    // The device sent something (bIsAlive := true).
    void SignOfLife();
    // A step's command is about to go out; its reply is outstanding (bIsAlive := false).
    void AwaitReply();
    void PauseLiveness();
    // Enables the liveness timer again unless the port was given up or the close handling began.
    void ResumeLiveness();
    // The close handling begins (bAlreadyClosing, liveness stopped); false when it had begun already.
    bool BeginClosing();

    // Lets the screen go at once: no traffic, ticks, handlers, packets or owner calls from now on. The window
    // may still be inside one of the screen's handlers (a nested wait); WhenIdle tells when none runs.
    void Detach();
    bool Detached() const { return bDetached_; }
    // Runs `job` now if no handler of the screen is running, else as soon as the last one returns.
    void WhenIdle(std::function<void()> job);
    // Runs the screen's start-up traffic f as an entry point, once: not again, and not at all once the
    // screen has been let go (for example before its window came up).
    template <class F> void StartOnce(F&& f) {
        if (bStarted_ || bDetached_) return;
        bStarted_ = true;
        Guard(std::forward<F>(f));
    }
    // Runs f as an entry point of the screen (see WhenIdle).
    template <class F> decltype(auto) Guard(F&& f) {
        Entry entry(*this);
        return std::forward<F>(f)();
    }
    // A callback that runs `f` as an entry point, and not at all once the screen is detached.
    template <class F> auto Bind(F f) {
        return [this, f = std::move(f)](auto&&... args) {
            Entry entry(*this);
            if (!bDetached_) f(std::forward<decltype(args)>(args)...);
        };
    }
    bool Busy() const { return iHandlerDepth_ > 0; }

    // ---- state, under the screens' names ---------------------------------------------------------
    TComPort* cpComController() const { return cpComController_; }
    bool bErrorOccures() const { return bErrorOccures_; }
    const TTimer& tmrCheckValue() const { return tmrCheckValue_; }
    bool CommandPending() const { return tmrCheckValue_.Enabled(); }
    bool bValueIsChecked() const { return bValueIsChecked_; }
    bool bCheckValue() const { return bCheckValue_; }
    const std::string& strValueToCheck() const { return strValueToCheck_; }
    int iResendCount() const { return iResendCount_; }
    bool HasResend() const { return static_cast<bool>(rpResend_); }
    const TThreadedTimer* ttmrCheckAlive() const { return ttmrCheckAlive_.get(); }
    bool bIsAlive() const { return bIsAlive_; }
    bool bAlreadyClosing() const { return bAlreadyClosing_; }
    MainWindowLink* frmMain() const { return frmMain_; }
    Dialogs& dialogs() const { return dialogs_; }
    const LinkPolicy& Policy() const { return policy_; }

private:
    class Entry {
    public:
        explicit Entry(DeviceLink& l) : l_(l) { ++l_.iHandlerDepth_; }
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

    private:
        DeviceLink& l_;
    };

    void tmrCheckValueTimer();
    void TI_CheckAliveTimer();
    void ReportSilentDevice();
    void ComPortError();
    void GiveUpPort();
    void DetachPortHandlers();
    void DisplayErrorMsg();
    void DisplayInfoMsg();
    void StartReplyTimeout();
    void SetLiveness(bool enabled);
    void UnbindPacketFilters();

    MessageLoop& loop_;
    Dialogs& dialogs_;
    TComPort* cpComController_;
    MainWindowLink* frmMain_;
    LinkPolicy policy_;
    LinkHooks& hooks_;
    TComDataPacket* replyFilter_;
    TComDataPacket* packetFilter_ = nullptr; // bound by BindPacketFilters

    bool bErrorOccures_ = false;
    TTimer tmrCheckValue_;
    bool bValueIsChecked_ = false;
    bool bReplied_ = false; // a reply to the pending checked command arrived (ReplyPolicy::Reference)
    bool bCheckValue_ = false;
    std::string strValueToCheck_;
    int iResendCount_ = 0;
    TResendProcedure rpResend_;
    ValueReader reader_;
    std::unique_ptr<TThreadedTimer> ttmrCheckAlive_;
    bool bIsAlive_ = true;
    bool bAlreadyClosing_ = false;

    int iHandlerDepth_ = 0;
    bool bDetached_ = false;
    bool bStarted_ = false;
    bool bPortHandlersMine_ = false;
    std::function<void()> whenIdle_;
};

} // namespace mirota
