#include "values/FrmValues.h"

#include "values/ComponentConfiguration.h"
#include "values/MeasurementText.h"

#include <chrono>

namespace mirota {

namespace {

ToolkitConfig ValuesConfig() {
    ToolkitConfig c;
    c.PauseMs = 60;
    c.ResendLimit = 3;
    c.ReplyTimeoutMs = 400;
    c.LivenessMs = 5000;
    return c;
}

constexpr std::array<const char*, 6> kDesignCaptions = {"Torque_1", "Torque_2", "Speed_1",
                                                        "Speed_2",  "Angle",    "Angle Speed"};

double WallClockSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

} // namespace


TfrmValuesFrame::TfrmValuesFrame(ScreenHost& aOwner, MessageLoop& aLoop, Dialogs& aDialogs, TComPort* aComPort,
                                 const std::string& aDescription, const std::string& aSerialNumber,
                                 ValuesView& aView, std::filesystem::path aCfgDir, Clock aClock)
    : CommandToolkit(aLoop, aDialogs, aComPort, &aOwner, ValuesConfig()),
      host(aOwner),
      view(aView),
      cfgDir(std::move(aCfgDir)),
      clock(aClock ? std::move(aClock) : Clock(WallClockSeconds)) {
    // 1. Controls and handlers.
    for (int i = 0; i < kValues; ++i) arrCaptions[i] = kDesignCaptions[i];
    tmrCheckValue.OnTimer = [this](void* sender) { TICheckValuesTimer(sender); };
    cmdtpcktContinuesFilter.OnPacket = [this](TComDataPacket* s, const std::string& str) {
        cmdtpcktContinuesFilterPacket(s, str);
    };
    cmdtpcktCommandFilter.OnPacket = [this](TComDataPacket* s, const std::string& str) {
        cmdtpcktCommandFilterPacket(s, str);
    };
    for (int b = 0; b < kCommandButtons; ++b) buttons[b].OnClick = HandlerOf(static_cast<CommandButton>(b));
    // The screen opens showing "Measure" pressed; the device's mode is neither set nor read.
    SetPressed(CommandButton::Measure, true);

    // 2., 3. Port handlers; the owner is frmMain (set by the toolkit).
    AttachPortHandlers(true);
    bAlreadyClosing = false;

    SetupPacketFilters();
    strCaption = "Values(" + aSerialNumber + ")";
    view.SetCaption(strCaption);
    strVersion = DeviceTypeOf(aDescription);
    LoadComponentConfiguration();

    bErrorOccures = false;
    iResendCount = 0;
    StartContinuousMode();
    if (!bErrorOccures) {
        StartLiveness();
    }
}

void TfrmValuesFrame::Detach() {
    if (bDetached) return;
    CommandToolkit::Detach();
    cmdtpcktContinuesFilter.OnPacket = nullptr;
    cmdtpcktCommandFilter.OnPacket = nullptr;
    cmdtpcktContinuesFilter.SetComPort(nullptr);
    cmdtpcktCommandFilter.SetComPort(nullptr);
}

TfrmValuesFrame::~TfrmValuesFrame() {
    ttmrCheckAlive.reset();
    tmrCheckValue.SetEnabled(false);
    // The port outlives the screen: nothing of this object may stay attached to it.
    ReleasePortHandlers();
    cmdtpcktContinuesFilter.OnPacket = nullptr;
    cmdtpcktCommandFilter.OnPacket = nullptr;
    cmdtpcktContinuesFilter.SetComPort(nullptr);
    cmdtpcktCommandFilter.SetComPort(nullptr);
}

void TfrmValuesFrame::SetupPacketFilters() {
    cmdtpcktCommandFilter.OnPacket = nullptr;
    cmdtpcktContinuesFilter.SetStartString("%00");
    cmdtpcktCommandFilter.SetStartString("");
    cmdtpcktContinuesFilter.SetStopString(std::string(1, ESC));
    cmdtpcktCommandFilter.SetStopString(std::string(1, ESC));
    cmdtpcktContinuesFilter.SetComPort(cpComController);
    cmdtpcktCommandFilter.SetComPort(cpComController);
}

void TfrmValuesFrame::LoadComponentConfiguration() {
    arrLabels = ReadComponentLabels(cfgDir / kComponentConfigurationFile, strVersion);
    ApplyComponentConfiguration();
}

void TfrmValuesFrame::ApplyComponentConfiguration() {
    for (int i = 0; i < kValues; ++i) {
        const std::string& label = arrLabels[i];
        if (!ComponentShown(label)) continue;
        arrShown[i] = true;
        view.SetPanelVisible(i, true);
        arrCaptions[i] = label;
        view.SetBoxCaption(i, label);
        xypltDisplayValues.ShowChannel(i, label);
    }
    view.PlotConfigurationChanged();
}

// ---- measurement stream ------------------------------------------------------------------------

void TfrmValuesFrame::StartContinuousMode() {
    strValueToCheck = std::string(1, '1');
    cmdtpcktCommandFilter.SetStartString("&666");
    cmdtpcktCommandFilter.OnPacket = [this](TComDataPacket* s, const std::string& str) {
        cmdtpcktCommandFilterPacket(s, str);
    };
    bValueIsChecked = false;
    SendCommand("*");
    Delay(500);
    SendCommand(std::string("$6661") + CR);
    // Unanswered, the switch repeats itself (never an unrelated button's command).
    rpResend = [this](void*) { StartContinuousMode(); };
    if (!bErrorOccures) tmrCheckValue.SetEnabled(true);
}

void TfrmValuesFrame::StopContinuousMode() {
    if (CommandPending()) return;
    strValueToCheck = std::string(1, '0');
    cmdtpcktCommandFilter.SetStartString("&666");
    cmdtpcktCommandFilter.OnPacket = [this](TComDataPacket* s, const std::string& str) {
        cmdtpcktCommandFilterPacket(s, str);
    };
    bValueIsChecked = false;
    SendCommand(std::string("$6660") + CR);
    rpResend = [this](void*) { StopContinuousMode(); };
    if (!bErrorOccures) tmrCheckValue.SetEnabled(true);
}

void TfrmValuesFrame::cmdtpcktContinuesFilterPacket(TComDataPacket*, const std::string& str) {
    Entry e(*this);
    bIsAlive = true; // any measurement packet is a sign of life, also one that cannot be read
    ShowMeasurement(str);
}

void TfrmValuesFrame::ShowMeasurement(const std::string& str) {
    // Numbers are read and shown with "." whatever the locale: ReadDecimalNumber and the displays
    // never consult it.
    if (str.empty()) return;
    const char first = str[0];
    if (first < '0' || first > '9') return;
    const int n = first - '0';
    if (n >= 1 && n <= kValues) {
        if (const auto v = ReadDecimalNumber(std::string_view(str).substr(1))) {
            double& held = arrValues[n - 1];
            if (*v != held) {
                held = *v;
                view.ShowValue(n - 1, held);
            }
        }
    }
    AddPlotPoints();
}

void TfrmValuesFrame::AddPlotPoints() {
    double now = 0;
    bool haveNow = false;
    for (int i = 0; i < kValues; ++i) {
        if (!arrShown[i] || !arrTicked[i]) continue;
        if (!haveNow) {
            now = clock();
            haveNow = true;
        }
        xypltDisplayValues.AddPoint(i, now, arrValues[i]);
    }
}

// ---- checked commands ----------------------------------------------------------------------------

void TfrmValuesFrame::cmdtpcktCommandFilterPacket(TComDataPacket*, const std::string& str) {
    Entry e(*this);
    // The time-out keeps running; a wrong answer is left to it.
    if (str == strValueToCheck) {
        bValueIsChecked = true;
        EnableCommandButtons();
    }
}

void TfrmValuesFrame::TICheckValuesTimer(void* sender) {
    // The reference time-out with this screen's limit (3): repetitions preceded by ESC ESC ESC, then
    // the buttons enabled, the count reset and "The last command was not executed properly!".
    Entry e(*this);
    tmrCheckValueTimer(sender);
}

void TfrmValuesFrame::DisableCommandButtons() {
    static constexpr CommandButton order[] = {CommandButton::Hundred, CommandButton::Fifty, CommandButton::Null,
                                              CommandButton::Measure, CommandButton::Nulling};
    for (CommandButton b : order) buttons[Index(b)].OnClick = nullptr;
    for (CommandButton b : order) {
        buttons[Index(b)].Enabled = false;
        view.SetButtonEnabled(b, false);
    }
}

void TfrmValuesFrame::EnableCommandButtons() {
    static constexpr CommandButton order[] = {CommandButton::Hundred, CommandButton::Fifty, CommandButton::Null,
                                              CommandButton::Measure, CommandButton::Nulling};
    for (CommandButton b : order) buttons[Index(b)].OnClick = HandlerOf(b);
    for (CommandButton b : order) {
        buttons[Index(b)].Enabled = true;
        view.SetButtonEnabled(b, true);
    }
}

std::function<void(void*)> TfrmValuesFrame::HandlerOf(CommandButton b) {
    switch (b) {
    case CommandButton::Hundred: return [this](void* s) { btnHundredClick(s); };
    case CommandButton::Fifty: return [this](void* s) { btnFiftyClick(s); };
    case CommandButton::Null: return [this](void* s) { btnNullClick(s); };
    case CommandButton::Measure: return [this](void* s) { btnMeasureClick(s); };
    case CommandButton::Nulling: return [this](void* s) { btnNullingClick(s); };
    }
    return {};
}

void TfrmValuesFrame::SetPressed(CommandButton b, bool pressed) {
    ButtonState& st = buttons[Index(b)];
    st.Pressed = pressed;
    view.SetButtonPressed(b, pressed);
}

void TfrmValuesFrame::ClickButton(CommandButton b) {
    ButtonState& st = buttons[Index(b)];
    if (!st.Enabled || bDetached) return;
    Entry e(*this);
    switch (b) {
    case CommandButton::Measure:
        SetPressed(b, !(st.Pressed && bMeasureAllowAllUp));
        break;
    case CommandButton::Null:
    case CommandButton::Fifty:
    case CommandButton::Hundred:
        if (st.Pressed && bCalibrationAllowAllUp) {
            SetPressed(b, false);
        } else {
            for (CommandButton other : {CommandButton::Null, CommandButton::Fifty, CommandButton::Hundred})
                if (other != b) SetPressed(other, false);
            SetPressed(b, true);
        }
        break;
    case CommandButton::Nulling:
        break; // momentary: never stays pressed
    }
    if (st.OnClick) {
        auto handler = st.OnClick;
        handler(this);
    }
}

void TfrmValuesFrame::RemoveCalibrationBTNFocus() {
    bCalibrationAllowAllUp = true;
    SetPressed(CommandButton::Fifty, false);
    SetPressed(CommandButton::Null, false);
    SetPressed(CommandButton::Hundred, false);
}

void TfrmValuesFrame::RemoveMeasurementBTNFocus() {
    bMeasureAllowAllUp = true;
    SetPressed(CommandButton::Measure, false);
    SetPressed(CommandButton::Nulling, false);
}

void TfrmValuesFrame::ModeCommand(CommandButton b, const char* command, const char* answer,
                                  void (TfrmValuesFrame::*self)(void*)) {
    if (CommandPending()) return;
    DisableCommandButtons();
    if (b == CommandButton::Measure) RemoveCalibrationBTNFocus();
    else RemoveMeasurementBTNFocus();
    strValueToCheck = answer;
    cmdtpcktCommandFilter.SetStartString("&201");
    cmdtpcktCommandFilter.OnPacket = [this](TComDataPacket* s, const std::string& str) {
        cmdtpcktCommandFilterPacket(s, str);
    };
    bValueIsChecked = false;
    SendCommand(std::string(command) + CR);
    rpResend = [this, self](void* sender) { (this->*self)(sender); };
    if (!bErrorOccures) tmrCheckValue.SetEnabled(true);
}

void TfrmValuesFrame::btnMeasureClick(void*) {
    ModeCommand(CommandButton::Measure, "$2010", "0", &TfrmValuesFrame::btnMeasureClick);
}
void TfrmValuesFrame::btnNullClick(void*) {
    ModeCommand(CommandButton::Null, "$2011", "1", &TfrmValuesFrame::btnNullClick);
}
void TfrmValuesFrame::btnFiftyClick(void*) {
    ModeCommand(CommandButton::Fifty, "$2013", "3", &TfrmValuesFrame::btnFiftyClick);
}
void TfrmValuesFrame::btnHundredClick(void*) {
    ModeCommand(CommandButton::Hundred, "$2012", "2", &TfrmValuesFrame::btnHundredClick);
}

void TfrmValuesFrame::btnNullingClick(void*) {
    if (CommandPending()) return;
    DisableCommandButtons();
    SetPressed(CommandButton::Nulling, false);
    strValueToCheck = std::string(1, '0');
    cmdtpcktCommandFilter.SetStartString("&200");
    cmdtpcktCommandFilter.OnPacket = [this](TComDataPacket* s, const std::string& str) {
        cmdtpcktCommandFilterPacket(s, str);
    };
    bValueIsChecked = false;
    SendCommand("$200");
    rpResend = [this](void* sender) { btnNullingClick(sender); };
    if (!bErrorOccures) tmrCheckValue.SetEnabled(true);
}

// ---- plot menu -----------------------------------------------------------------------------------

void TfrmValuesFrame::mniZoomToFitClick(void*) { xypltDisplayValues.ZoomToFit(); }
void TfrmValuesFrame::mniClearAllDataClick(void*) { xypltDisplayValues.ClearAllData(); }

void TfrmValuesFrame::SetBoxTicked(int i, bool ticked) { arrTicked.at(i) = ticked; }

// ---- closing -------------------------------------------------------------------------------------

void TfrmValuesFrame::CloseOnFailure() {
    if (bDetached) return;
    Entry e(*this);
    FormClose();
    view.CloseWindow();
}

void TfrmValuesFrame::FormClose() {
    if (bAlreadyClosing) return;
    bAlreadyClosing = true;
    Entry e(*this);
    if (ttmrCheckAlive) ttmrCheckAlive->SetEnabled(false);
    if (host.Unplugged()) return; // the main window is ending Ostrel: no traffic, no wait
    if (bErrorOccures) {
        ReleasePortHandlers();
        host.ClosingCurrentFrame(true);
        return;
    }
    StopContinuousMode(); // sends nothing while a checked command is pending
    Delay(1500);
    if (bDetached) return; // the host let the screen go meanwhile
    ReleasePortHandlers();
    host.ClosingCurrentFrame(bErrorOccures);
}

} // namespace mirota
