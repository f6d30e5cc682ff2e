#include "power/FrmPowerSettings.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace mirota {

std::optional<double> ParseDecimal(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and hexadecimal forms: only digits and "." may start.
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.'))
        return std::nullopt;
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

TfrmPowerFrame::TfrmPowerFrame(ScreenHost& aOwner, MessageLoop& aLoop, Dialogs& aDialogs, TComPort* aComPort,
                               const std::string& aSerialNumber, PowerFrameView& view)
    : CommandToolkit(aLoop, aDialogs, aComPort, &aOwner, Config()), owner_(aOwner), view_(view) {
    // Numbers are read with ParseDecimal and shown by the displays, both with "." always.
    AttachHandlers();
    caption_ = "Power Settings(" + aSerialNumber + ")";
    view_.SetCaption(caption_);
    iResendCount = 0;
    bAlreadyClosing = false;
    bCheckValue = false;
    bErrorOccures = false;
    bReadStartUpVoltage = false;
}

TfrmPowerFrame::~TfrmPowerFrame() {
    cmdtpcktCommandFilter.OnPacket = nullptr;
    cmdtpcktContinuesFilter.OnPacket = nullptr;
    // The port outlives its screens: a screen destroyed without closing leaves no handler behind.
    ReleasePortHandlers();
}

// Every way in from outside (timers, the port, the filters, the window) runs as an Entry.
void TfrmPowerFrame::AttachHandlers() {
    // The reply time-out is bound by the toolkit.
    AttachPortHandlers(true);
}

void TfrmPowerFrame::Detach() {
    if (bDetached)
        return;
    CommandToolkit::Detach();
    cmdtpcktContinuesFilter.OnPacket = nullptr;
    cmdtpcktCommandFilter.OnPacket = nullptr;
    cmdtpcktContinuesFilter.SetComPort(nullptr);
    cmdtpcktCommandFilter.SetComPort(nullptr);
}

void TfrmPowerFrame::FormCreate() {
    Entry entry(*this);
    SetupPacketFilters();
    RequestStartUpVoltage();
    // A failure during the start-up traffic has closed the screen already: no liveness then.
    if (!bErrorOccures) {
        StartLiveness();
    }
}

void TfrmPowerFrame::SetupPacketFilters() {
    cmdtpcktCommandFilter.OnPacket = nullptr;
    cmdtpcktContinuesFilter.SetStartString("%007");
    cmdtpcktCommandFilter.SetStartString("");
    cmdtpcktContinuesFilter.SetStopString(std::string(1, ESC));
    cmdtpcktCommandFilter.SetStopString(std::string(1, ESC));
    // The "%" filter first, so that it sees each chunk before the reply filter.
    cmdtpcktContinuesFilter.SetComPort(cpComController);
    cmdtpcktCommandFilter.SetComPort(cpComController);
    AttachContinuesFilter();
}

void TfrmPowerFrame::ArmReplyFilter(const std::string& startString) {
    // A new command ends the time-out of the previous one: its tick would otherwise repeat the new
    // command while it is still being sent.
    tmrCheckValue.SetEnabled(false);
    cmdtpcktCommandFilter.SetStartString(startString);
    cmdtpcktCommandFilter.OnPacket = [this](TComDataPacket* sender, const std::string& str) {
        Entry entry(*this);
        if (!bDetached)
            cmdtpcktCommandFilterPacket(sender, str);
    };
}

// The time-out runs 500 ms from the end of sending, also when an earlier one is still running.
void TfrmPowerFrame::StartReplyTimeout() {
    tmrCheckValue.SetEnabled(false);
    if (bDetached)
        return;
    tmrCheckValue.SetEnabled(true);
}

void TfrmPowerFrame::AttachContinuesFilter() {
    cmdtpcktContinuesFilter.OnPacket = [this](TComDataPacket* sender, const std::string& str) {
        Entry entry(*this);
        if (!bDetached)
            cmdtpcktContinuesFilterPacket(sender, str);
    };
}

void TfrmPowerFrame::RequestStartUpVoltage() {
    SendCommand("*");
    SendStartUpQuery();
}

// The start-up query repeats itself on a time-out (it has no button to stand for it).
void TfrmPowerFrame::SendStartUpQuery() {
    ArmReplyFilter("&029");
    bReadStartUpVoltage = true;
    bValueIsChecked = false;
    SetResend([this](void*) { SendStartUpQuery(); });
    SendCommand("$029");
    StartReplyTimeout();
}

void TfrmPowerFrame::StartContinuousMode() {
    strValueToCheck = "1";
    bCheckValue = true;
    ArmReplyFilter("&666");
    bValueIsChecked = false;
    SetResend([this](void*) { StartContinuousMode(); });
    SendCommand(std::string("$6661") + CR);
    StartReplyTimeout();
}

void TfrmPowerFrame::StopContinuousMode() {
    if (tmrCheckValue.Enabled())
        return; // a checked command is pending
    strValueToCheck = "0";
    bCheckValue = true;
    ArmReplyFilter("&666");
    bValueIsChecked = false;
    SetResend([this](void*) { StopContinuousMode(); });
    SendCommand(std::string("$6660") + CR);
    StartReplyTimeout();
}

void TfrmPowerFrame::VoltageStep(const char* code, TResendProcedure self) {
    if (bDetached)
        return;
    DisableButtons();
    cmdtpcktContinuesFilter.OnPacket = nullptr; // the frequency stays as it is until the reply
    ArmReplyFilter(std::string("&") + code);
    bValueIsChecked = false;
    SetResend(std::move(self));
    SendCommand(std::string("$") + code);
    StartReplyTimeout();
}

void TfrmPowerFrame::btnMinusClick(void*) {
    Entry entry(*this);
    VoltageStep("025", [this](void* s) { btnMinusClick(s); });
}
void TfrmPowerFrame::btnPlusClick(void*) {
    Entry entry(*this);
    VoltageStep("026", [this](void* s) { btnPlusClick(s); });
}
void TfrmPowerFrame::btnMinusMinusClick(void*) {
    Entry entry(*this);
    VoltageStep("027", [this](void* s) { btnMinusMinusClick(s); });
}
void TfrmPowerFrame::btnPlusPlusClick(void*) {
    Entry entry(*this);
    VoltageStep("028", [this](void* s) { btnPlusPlusClick(s); });
}

void TfrmPowerFrame::btnAutoDetectClick(void*) {
    Entry entry(*this);
    if (bDetached)
        return;
    tmrCheckValue.SetEnabled(false);
    DisableButtons();
    view_.ShowAnimation(true);
    ArmReplyFilter("&030");
    bValueIsChecked = false;
    bAutoDetect = true;
    SetResend([this](void* s) { btnAutoDetectClick(s); });
    // No time-out: the detection takes as long as it takes.
    SendCommand("$030");
}

void TfrmPowerFrame::cmdtpcktCommandFilterPacket(TComDataPacket*, const std::string& str) {
    tmrCheckValue.SetEnabled(false);
    if (bCheckValue) {
        if (str == strValueToCheck) {
            bCheckValue = false;
            bValueIsChecked = true;
        }
    } else if (auto value = ParseDecimal(str)) {
        view_.ShowAnimation(false);
        bValueIsChecked = true;
        bCheckValue = false;
        view_.ShowVoltage(*value);
        if (bAutoDetect) {
            bAutoDetect = false;
            FinishAutoDetect();
        }
    }
    EnableButtons();
    AttachContinuesFilter();
    if (bReadStartUpVoltage) {
        bReadStartUpVoltage = false;
        StartContinuousMode();
    }
}

void TfrmPowerFrame::FinishAutoDetect() {
    Delay(100);
    SendCommand("#");
    SendCommand("p1");
    SendCommand(std::string(1, CR));
    Delay(100);
    SendCommand("*");
    Delay(100);
}

void TfrmPowerFrame::cmdtpcktContinuesFilterPacket(TComDataPacket*, const std::string& str) {
    bIsAlive = true;
    if (auto value = ParseDecimal(str))
        view_.ShowFrequency(*value);
}

void TfrmPowerFrame::EnableButtons() { view_.SetButtonsEnabled(true); }
void TfrmPowerFrame::DisableButtons() { view_.SetButtonsEnabled(false); }

void TfrmPowerFrame::ReattachPacketFilter() { AttachContinuesFilter(); }

void TfrmPowerFrame::CloseOnFailure() { view_.CloseWindow(); }

void TfrmPowerFrame::FormClose() {
    Entry entry(*this);
    if (bAlreadyClosing)
        return;
    bAlreadyClosing = true;
    if (ttmrCheckAlive)
        ttmrCheckAlive->SetEnabled(false);
    if (owner_.Unplugged()) {
        ReleasePortHandlers(); // no traffic; the program is ending and the screen goes with it
        return;
    }
    if (bErrorOccures) {
        owner_.ClosingCurrentFrame(true);
        return;
    }
    StopContinuousMode();
    Delay(1500);
    if (bDetached)
        return; // let go by the main window during the wait
    // From here the main window handles the port's failures again.
    ReleasePortHandlers();
    owner_.ClosingCurrentFrame(bErrorOccures);
}

} // namespace mirota
