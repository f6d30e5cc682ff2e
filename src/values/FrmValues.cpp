#include "values/FrmValues.h"

#include "values/ComponentConfiguration.h"
#include "values/MeasurementText.h"

#include <chrono>

namespace mirota {

namespace {

LinkPolicy ValuesPolicy() {
    LinkPolicy p;
    p.PauseMs = 60;
    p.ResendLimit = 3;
    p.ReplyTimeoutMs = 400;
    p.LivenessMs = 5000;
    p.Replies = ReplyPolicy::CompareOnly;
    return p;
}

constexpr std::array<const char*, 6> kDesignCaptions = {"Torque_1", "Torque_2", "Speed_1",
                                                        "Speed_2",  "Angle",    "Angle Speed"};

// Seconds since 1970 that never go back: the wall clock read once, then the monotonic clock's advance
// added to it. A wall clock set back during a long session (by hand or by time synchronisation) would
// otherwise give points older than those before them.
double WallClockSeconds() {
    using namespace std::chrono;
    static const auto steadyStart = steady_clock::now();
    static const double wallStart = duration<double>(system_clock::now().time_since_epoch()).count();
    return wallStart + duration<double>(steady_clock::now() - steadyStart).count();
}

} // namespace

TfrmValuesFrame::TfrmValuesFrame(ScreenHost& aOwner, MessageLoop& aLoop, Dialogs& aDialogs,
                                 TComPort* aComPort, const std::string& aDescription,
                                 const std::string& aSerialNumber, ValuesView& aView,
                                 std::filesystem::path aCfgDir, Clock aClock)
    : host(aOwner), view(aView), cfgDir(std::move(aCfgDir)),
      clock(aClock ? std::move(aClock) : Clock(WallClockSeconds)),
      link(aLoop, aDialogs, aComPort, &aOwner, ValuesPolicy(), *this, &cmdtpcktCommandFilter) {
    // 1. Controls and handlers.
    for (int i = 0; i < kValues; ++i)
        arrCaptions[i] = kDesignCaptions[i];
    cmdtpcktContinuesFilter.OnPacket = link.Bind(
        [this](TComDataPacket* s, const std::string& str) { cmdtpcktContinuesFilterPacket(s, str); });
    for (int b = 0; b < kCommandButtons; ++b)
        buttons[b].OnClick = HandlerOf(static_cast<CommandButton>(b));
    // The screen opens showing "Measure" pressed; the device's mode is neither set nor read.
    SetPressed(CommandButton::Measure, true);

    // 2., 3. Port handlers; the owner is frmMain (given to the link). The packet filters are bound
    // when the traffic starts.
    link.AttachPortHandlers();

    strCaption = "Values(" + aSerialNumber + ")";
    view.SetCaption(strCaption);
    strVersion = DeviceTypeOf(aDescription);
    LoadComponentConfiguration();
}

void TfrmValuesFrame::Start() {
    link.StartOnce([&] {
        SetupPacketFilters();
        StartContinuousMode();
        if (!link.bErrorOccures()) link.StartLiveness();
    });
}

void TfrmValuesFrame::Detach() {
    link.Detach(); // unbinds the packet filters
}

// The port outlives the screen: the link releases the port handlers and unbinds the packet filters.
TfrmValuesFrame::~TfrmValuesFrame() = default;

void TfrmValuesFrame::SetupPacketFilters() {
    link.BindPacketFilters(cmdtpcktContinuesFilter, "%00");
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

// "*" and a 500 ms pause before the switch; unanswered, it repeats itself, "*" included (never an
// unrelated button's command).
void TfrmValuesFrame::StartContinuousMode() {
    link.SwitchStream(true, {.Lead = "*", .LeadPauseMs = 500});
}

void TfrmValuesFrame::StopContinuousMode() {
    link.SwitchStream(false);
}

void TfrmValuesFrame::cmdtpcktContinuesFilterPacket(TComDataPacket*, const std::string& str) {
    link.SignOfLife(); // any measurement packet is a sign of life, also one that cannot be read
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
    // Compared with strValueToCheck; the time-out keeps running, a wrong answer is left to it.
    link.Reply(str);
}

void TfrmValuesFrame::ReplyHandled(const std::string&, ReplyOutcome outcome) {
    if (outcome == ReplyOutcome::Matched) EnableCommandButtons();
}

void TfrmValuesFrame::DisableCommandButtons() {
    static constexpr CommandButton order[] = {CommandButton::Hundred, CommandButton::Fifty,
                                              CommandButton::Null, CommandButton::Measure,
                                              CommandButton::Nulling};
    for (CommandButton b : order)
        buttons[Index(b)].OnClick = nullptr;
    for (CommandButton b : order) {
        buttons[Index(b)].Enabled = false;
        view.SetButtonEnabled(b, false);
    }
}

void TfrmValuesFrame::EnableCommandButtons() {
    static constexpr CommandButton order[] = {CommandButton::Hundred, CommandButton::Fifty,
                                              CommandButton::Null, CommandButton::Measure,
                                              CommandButton::Nulling};
    for (CommandButton b : order)
        buttons[Index(b)].OnClick = HandlerOf(b);
    for (CommandButton b : order) {
        buttons[Index(b)].Enabled = true;
        view.SetButtonEnabled(b, true);
    }
}

std::function<void(void*)> TfrmValuesFrame::HandlerOf(CommandButton b) {
    switch (b) {
    case CommandButton::Hundred:
        return [this](void* s) { btnHundredClick(s); };
    case CommandButton::Fifty:
        return [this](void* s) { btnFiftyClick(s); };
    case CommandButton::Null:
        return [this](void* s) { btnNullClick(s); };
    case CommandButton::Measure:
        return [this](void* s) { btnMeasureClick(s); };
    case CommandButton::Nulling:
        return [this](void* s) { btnNullingClick(s); };
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
    if (!st.Enabled || link.Detached()) return;
    link.Guard([&] { ClickButtonHandler(b); });
}

void TfrmValuesFrame::ClickButtonHandler(CommandButton b) {
    ButtonState& st = buttons[Index(b)];
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
    if (b == CommandButton::Measure)
        RemoveCalibrationBTNFocus();
    else
        RemoveMeasurementBTNFocus();
    DeviceLink::Ask ask;
    ask.Expected = answer;
    ask.ReplyStart = "&201";
    ask.Command = std::string(command) + CR;
    ask.Resend = [this, self](void* sender) { (this->*self)(sender); };
    link.SendChecked(ask);
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
    DeviceLink::Ask ask;
    ask.Expected = "0";
    ask.ReplyStart = "&200";
    ask.Command = "$200";
    ask.Resend = [this](void* sender) { btnNullingClick(sender); };
    link.SendChecked(ask);
}

// ---- plot menu -----------------------------------------------------------------------------------

void TfrmValuesFrame::mniZoomToFitClick(void*) {
    xypltDisplayValues.ZoomToFit();
}
void TfrmValuesFrame::mniClearAllDataClick(void*) {
    xypltDisplayValues.ClearAllData();
}

void TfrmValuesFrame::SetBoxTicked(int i, bool ticked) {
    arrTicked.at(i) = ticked;
}

// ---- closing -------------------------------------------------------------------------------------

void TfrmValuesFrame::CloseOnFailure() {
    if (link.Detached()) return;
    link.Guard([&] {
        FormClose();
        view.CloseWindow();
    });
}

void TfrmValuesFrame::FormClose() {
    if (!link.BeginClosing()) return; // also stops the liveness timer
    link.Guard([&] {
        if (host.Unplugged()) return; // the main window is ending Ostrel: no traffic, no wait
        if (link.bErrorOccures()) {
            link.ReleasePortHandlers();
            host.ClosingCurrentFrame(true);
            return;
        }
        StopContinuousMode(); // sends nothing while a checked command is pending
        link.Delay(1500);
        if (link.Detached()) return; // the host let the screen go meanwhile
        link.ReleasePortHandlers();
        host.ClosingCurrentFrame(link.bErrorOccures());
    });
}

} // namespace mirota
