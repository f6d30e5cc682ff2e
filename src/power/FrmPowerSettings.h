#pragma once
// The power screen: shows the device's output frequency (unasked "%007" packets) and voltage, and
// changes the voltage in four steps or lets the device detect it. The reference member of the device
// windows' command toolkit: 80 ms per character, reply time-out 500 ms, 4 repetitions, liveness.
#include "screen/Screens.h"
#include "link/CommandToolkit.h"

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
};

// A decimal number as the device sends it: optional sign, digits with an optional "." part, an optional
// exponent, surrounding blanks allowed; "." whatever the locale. Nothing else (no "inf", no ",").
std::optional<double> ParseDecimal(std::string_view text);

class TfrmPowerFrame : public CommandToolkit {
public:
    static ToolkitConfig Config() { return ToolkitConfig{80, false, 4, 500, 5000}; }

    TfrmPowerFrame(ScreenHost& aOwner, MessageLoop& loop, Dialogs& dialogs, TComPort* aComPort,
                   const std::string& aSerialNumber, PowerFrameView& view);
    ~TfrmPowerFrame() override;

    // The rest of Create once the window exists: filters, the start-up voltage query, liveness.
    void FormCreate();

    void btnMinusMinusClick(void* sender);
    void btnMinusClick(void* sender);
    void btnAutoDetectClick(void* sender);
    void btnPlusClick(void* sender);
    void btnPlusPlusClick(void* sender);

    void cmdtpcktCommandFilterPacket(TComDataPacket* sender, const std::string& str);
    void cmdtpcktContinuesFilterPacket(TComDataPacket* sender, const std::string& str);

    // The close handling; ends in the owner's ClosingCurrentFrame (unless the device was unplugged).
    void FormClose();

    // Also unbinds the packet filters.
    void Detach() override;

    TComDataPacket cmdtpcktCommandFilter;
    TComDataPacket cmdtpcktContinuesFilter;
    bool bReadStartUpVoltage = false;
    bool bAutoDetect = false;
    const std::string& Caption() const { return caption_; }

protected:
    void EnableButtons() override;
    void DisableButtons() override;
    TComDataPacket* ReplyFilter() override { return &cmdtpcktCommandFilter; }
    void ReattachPacketFilter() override;
    void CloseOnFailure() override;

private:
    void AttachHandlers();
    void SetupPacketFilters();
    void RequestStartUpVoltage();
    void SendStartUpQuery();
    void StartContinuousMode();
    void StopContinuousMode();
    void FinishAutoDetect();
    // Arming of a voltage step (checked command with its own repetition).
    void VoltageStep(const char* code, TResendProcedure self);
    void ArmReplyFilter(const std::string& startString);
    void StartReplyTimeout();
    void AttachContinuesFilter();

    ScreenHost& owner_;
    PowerFrameView& view_;
    std::string caption_;
};

} // namespace mirota
