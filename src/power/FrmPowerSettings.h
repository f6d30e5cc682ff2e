#pragma once
// The power screen: shows the device's output frequency (unasked "%007" packets) and voltage, and
// changes the voltage in four steps or lets the device detect it. The reference member of the device
// windows' command toolkit: 80 ms per character, reply time-out 500 ms, 4 repetitions, liveness.
#include "link/DeviceLink.h"
#include "screen/Screens.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mirota {

// What the power screen's window shows; the Qt window implements it, tests use a fake.
class PowerFrameView {
public:
    virtual ~PowerFrameView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    // adspFrequenzy / adspCurrentVoltage: set the display's value (no change when it holds it already).
    virtual void ShowFrequency(double value) = 0;
    virtual void ShowVoltage(double value) = 0;
    // All five buttons at once.
    virtual void SetButtonsEnabled(bool enabled) = 0;
    // true: the voltage display is hidden and the running animation shown in its place; false: back.
    virtual void ShowAnimation(bool running) = 0;
    // Closes the window; its close handling runs FormClose.
    virtual void CloseWindow() = 0;
    // The closing wait has begun: the window shows that it is closing until it goes.
    virtual void ShowClosing() {}
};

// A decimal number as the device sends it: optional sign, digits with an optional "." part, an optional
// exponent, surrounding blanks allowed; "." whatever the locale. Nothing else (no "inf", no ",").
std::optional<double> ParseDecimal(std::string_view text);

class TfrmPowerFrame : private LinkHooks {
public:
    using TResendProcedure = DeviceLink::TResendProcedure;
    static LinkPolicy Policy() { return LinkPolicy{}; }

    TfrmPowerFrame(ScreenHost& aOwner, MessageLoop& loop, Dialogs& dialogs, TComPort* aComPort,
                   const std::string& aSerialNumber, PowerFrameView& view);
    ~TfrmPowerFrame() override;

    // The device traffic once the window is shown: filters, the start-up voltage query, liveness.
    // Runs once.
    void Start();

    void btnMinusMinusClick(void* sender);
    void btnMinusClick(void* sender);
    void btnAutoDetectClick(void* sender);
    void btnPlusClick(void* sender);
    void btnPlusPlusClick(void* sender);

    void cmdtpcktCommandFilterPacket(TComDataPacket* sender, const std::string& str);
    void cmdtpcktContinuesFilterPacket(TComDataPacket* sender, const std::string& str);

    // The close handling; ends in the owner's ClosingCurrentFrame (unless the device was unplugged).
    void FormClose();

    // Lets the screen go (see DeviceLink::Detach, which also unbinds the packet filters).
    void Detach();
    bool Detached() const { return link.Detached(); }
    void WhenIdle(std::function<void()> job) { link.WhenIdle(std::move(job)); }
    // The link to the device and its state.
    const DeviceLink& Link() const { return link; }
    bool CommandPending() const { return link.CommandPending(); }

    TComDataPacket cmdtpcktCommandFilter;
    TComDataPacket cmdtpcktContinuesFilter;
    bool bReadStartUpVoltage = false;
    bool bAutoDetect = false;
    const std::string& Caption() const { return caption_; }

private:
    // LinkHooks
    void EnableButtons() override;
    void ReattachPacketFilter() override;
    void ReplyHandled(const std::string& str, ReplyOutcome outcome) override;
    void CloseOnFailure() override;

    void DisableButtons();
    void SetupPacketFilters();
    void RequestStartUpVoltage();
    void SendStartUpQuery();
    void StartContinuousMode();
    void StopContinuousMode();
    void FinishAutoDetect();
    // A checked command of this screen; replies that are not compared are read as the voltage.
    void Ask(const std::string& code, const std::string& command, TResendProcedure self,
             const char* expected = nullptr, bool timeout = true);
    bool ReadVoltage(const std::string& str);
    DeviceLink::ValueReader VoltageReader();
    void VoltageStep(const char* code, TResendProcedure self);
    void AttachContinuesFilter();

    ScreenHost& owner_;
    PowerFrameView& view_;
    std::string caption_;
    DeviceLink link;
};

} // namespace mirota
