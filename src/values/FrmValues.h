#pragma once
// The values screen's logic: the measurement stream, the six value displays, the component
// configuration, the zero and calibration buttons, and the points of the value plot. The Qt window
// (values/ui) implements ValuesView and forwards the user's actions to the handlers here.
#include "link/DeviceLink.h"
#include "link/DeviceType.h"
#include "screen/Screens.h"
#include "values/PlotModel.h"

#include <array>
#include <filesystem>
#include <functional>
#include <string>

namespace mirota {

// The five command buttons, in the order DisableCommandButtons walks them.
enum class CommandButton { Hundred, Fifty, Null, Measure, Nulling };
inline constexpr int kCommandButtons = 5;

// What the logic needs from its window.
class ValuesView {
public:
    virtual ~ValuesView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    // Value panel i (index order of the values) shown or hidden; the shown panels close up.
    virtual void SetPanelVisible(int i, bool visible) = 0;
    virtual void SetBoxCaption(int i, const std::string& caption) = 0;
    // Display i shows `value` (called only when the value changed).
    virtual void ShowValue(int i, double value) = 0;
    virtual void SetButtonEnabled(CommandButton b, bool enabled) = 0;
    virtual void SetButtonPressed(CommandButton b, bool pressed) = 0;
    // The plot's configuration changed (titles, legend, axes).
    virtual void PlotConfigurationChanged() {}
    // Closes the window after the logic's own close handling has run (FormClose then returns at once).
    virtual void CloseWindow() = 0;
};

class TfrmValuesFrame : private LinkHooks {
public:
    using TResendPrecedure = DeviceLink::TResendProcedure;
    // Seconds since 1970 of "now", the X of new plot points.
    using Clock = std::function<double()>;

    static constexpr int kValues = 6;

    // aCfgDir: the "_cfg" directory beside the program.
    TfrmValuesFrame(ScreenHost& aOwner, MessageLoop& loop, Dialogs& dialogs, TComPort* aComPort,
                    const std::string& aDescription, const std::string& aSerialNumber, ValuesView& view,
                    std::filesystem::path aCfgDir, Clock clock = {});
    ~TfrmValuesFrame() override;

    // Starts the device traffic once the window is shown: the packet filters, the measurement stream,
    // then the liveness supervision. Runs once.
    void Start();

    // Handlers.
    void cmdtpcktContinuesFilterPacket(TComDataPacket* sender, const std::string& str);
    void cmdtpcktCommandFilterPacket(TComDataPacket* sender, const std::string& str);
    void btnMeasureClick(void* sender);
    void btnNullingClick(void* sender);
    void btnNullClick(void* sender);
    void btnFiftyClick(void* sender);
    void btnHundredClick(void* sender);
    void mniZoomToFitClick(void* sender);
    void mniClearAllDataClick(void* sender);
    // The view tells the logic whenever value i's check box changes (ticked and enabled: plotted).
    void SetBoxTicked(int i, bool ticked);
    // The window's close handling; runs once, whoever closes the window.
    void FormClose();

    // Lets the screen go (see DeviceLink::Detach, which also unbinds the packet filters).
    void Detach();
    bool Detached() const { return link.Detached(); }
    void WhenIdle(std::function<void()> job) { link.WhenIdle(std::move(job)); }
    // The link to the device and its state.
    const DeviceLink& Link() const { return link; }
    Dialogs& ScreenDialogs() const { return link.dialogs(); }

    // A user's click on a command button as the latching buttons take it: the pressed state changes
    // with the click itself, then the attached handler (if any) runs.
    void ClickButton(CommandButton b);

    void ShowMeasurement(const std::string& str);
    void AddPlotPoints();
    void StartContinuousMode();
    void StopContinuousMode();
    void DisableCommandButtons();
    void EnableCommandButtons();
    void RemoveCalibrationBTNFocus();
    void RemoveMeasurementBTNFocus();

    // State as the window shows it.
    const std::string& Caption() const { return strCaption; }
    double DisplayValue(int i) const { return arrValues.at(i); }
    bool PanelShown(int i) const { return arrShown.at(i); }
    const std::string& BoxCaption(int i) const { return arrCaptions.at(i); }
    bool BoxTicked(int i) const { return arrTicked.at(i); }
    bool ButtonPressed(CommandButton b) const { return buttons[Index(b)].Pressed; }
    bool ButtonEnabled(CommandButton b) const { return buttons[Index(b)].Enabled; }
    bool HandlerAttached(CommandButton b) const { return static_cast<bool>(buttons[Index(b)].OnClick); }
    const TThreadedTimer* TI_CheckAlive() const { return link.ttmrCheckAlive(); }
    bool CommandPending() const { return link.CommandPending(); }
    PlotModel& Plot() { return xypltDisplayValues; }

    TComDataPacket cmdtpcktContinuesFilter;
    TComDataPacket cmdtpcktCommandFilter;
    std::string strVersion;

private:
    // LinkHooks
    void EnableButtons() override { EnableCommandButtons(); }
    void ReplyHandled(const std::string& str, ReplyOutcome outcome) override;
    void CloseOnFailure() override;

    struct ButtonState {
        bool Pressed = false;
        bool Enabled = true;
        std::function<void(void*)> OnClick;
    };
    static int Index(CommandButton b) { return static_cast<int>(b); }

    void SetupPacketFilters();
    void LoadComponentConfiguration();
    void ApplyComponentConfiguration();
    // The four mode buttons' common handler.
    void ModeCommand(CommandButton b, const char* command, const char* answer,
                     void (TfrmValuesFrame::*self)(void*));
    void ClickButtonHandler(CommandButton b);
    void SetPressed(CommandButton b, bool pressed);
    std::function<void(void*)> HandlerOf(CommandButton b);

    ScreenHost& host;
    ValuesView& view;
    std::filesystem::path cfgDir;
    Clock clock;
    std::string strCaption;
    std::array<std::string, kValues> arrLabels;
    std::array<std::string, kValues> arrCaptions;
    std::array<bool, kValues> arrShown{};
    std::array<bool, kValues> arrTicked{};
    std::array<double, kValues> arrValues{};
    std::array<ButtonState, kCommandButtons> buttons;
    // Groups whose buttons may all be released (set by the release routines).
    bool bMeasureAllowAllUp = false;
    bool bCalibrationAllowAllUp = false;
    PlotModel xypltDisplayValues;
    DeviceLink link;
};

} // namespace mirota
