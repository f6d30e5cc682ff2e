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
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return negative ? -value : value;
}

TfrmPowerFrame::TfrmPowerFrame(ScreenHost& aOwner, MessageLoop& aLoop, Dialogs& aDialogs, TComPort* aComPort,
                               const std::string& aSerialNumber, PowerFrameView& view)
    : owner_(aOwner), view_(view),
      link(aLoop, aDialogs, aComPort, &aOwner, Policy(), *this, &cmdtpcktCommandFilter) {
    // Numbers are read with ParseDecimal and shown by the displays, both with "." always.
    link.AttachPortHandlers();
    caption_ = "Power Settings(" + aSerialNumber + ")";
    view_.SetCaption(caption_);
    bReadStartUpVoltage = false;
}

// The port outlives its screens: the link releases the port handlers and unbinds the packet filters.
TfrmPowerFrame::~TfrmPowerFrame() = default;

void TfrmPowerFrame::Detach() {
    link.Detach(); // unbinds the packet filters
}

void TfrmPowerFrame::Start() {
    link.StartOnce([&] {
        SetupPacketFilters();
        RequestStartUpVoltage();
        // A failure during the start-up traffic has closed the screen already: no liveness then.
        if (!link.bErrorOccures()) link.StartLiveness();
    });
}

void TfrmPowerFrame::SetupPacketFilters() {
    link.BindPacketFilters(cmdtpcktContinuesFilter, "%007");
    AttachContinuesFilter();
}

DeviceLink::ValueReader TfrmPowerFrame::VoltageReader() {
    return [this](const std::string& str) { return ReadVoltage(str); };
}

void TfrmPowerFrame::Ask(const std::string& code, const std::string& command, TResendProcedure self,
                         const char* expected, bool timeout) {
    DeviceLink::Ask ask;
    ask.ReplyStart = "&" + code;
    ask.Command = command;
    if (expected) ask.Expected = expected;
    ask.Reader = VoltageReader();
    ask.Resend = std::move(self);
    ask.Timeout = timeout;
    link.SendChecked(ask);
}

void TfrmPowerFrame::AttachContinuesFilter() {
    cmdtpcktContinuesFilter.OnPacket = link.Bind([this](TComDataPacket* sender, const std::string& str) {
        cmdtpcktContinuesFilterPacket(sender, str);
    });
}

void TfrmPowerFrame::RequestStartUpVoltage() {
    link.SendCommand("*");
    SendStartUpQuery();
}

// The start-up query repeats itself on a time-out (it has no button to stand for it).
void TfrmPowerFrame::SendStartUpQuery() {
    bReadStartUpVoltage = true;
    Ask("029", "$029", [this](void*) { SendStartUpQuery(); });
}

// Like every checked command of this screen, the switch reads a reply that is not compared as the
// voltage.
void TfrmPowerFrame::StartContinuousMode() {
    link.SwitchStream(true, {.Reader = VoltageReader()});
}

void TfrmPowerFrame::StopContinuousMode() {
    link.SwitchStream(false, {.Reader = VoltageReader()});
}

void TfrmPowerFrame::VoltageStep(const char* code, TResendProcedure self) {
    if (link.Detached()) return;
    DisableButtons();
    cmdtpcktContinuesFilter.OnPacket = nullptr; // the frequency stays as it is until the reply
    Ask(code, std::string("$") + code, std::move(self));
}

void TfrmPowerFrame::btnMinusClick(void*) {
    link.Guard([&] { VoltageStep("025", [this](void* s) { btnMinusClick(s); }); });
}
void TfrmPowerFrame::btnPlusClick(void*) {
    link.Guard([&] { VoltageStep("026", [this](void* s) { btnPlusClick(s); }); });
}
void TfrmPowerFrame::btnMinusMinusClick(void*) {
    link.Guard([&] { VoltageStep("027", [this](void* s) { btnMinusMinusClick(s); }); });
}
void TfrmPowerFrame::btnPlusPlusClick(void*) {
    link.Guard([&] { VoltageStep("028", [this](void* s) { btnPlusPlusClick(s); }); });
}

void TfrmPowerFrame::btnAutoDetectClick(void*) {
    link.Guard([&] {
        if (link.Detached()) return;
        link.StopReplyTimeout();
        DisableButtons();
        view_.ShowAnimation(true);
        bAutoDetect = true;
        // No time-out: the detection takes as long as it takes.
        Ask(
            "030", "$030", [this](void* s) { btnAutoDetectClick(s); }, nullptr, false);
    });
}

void TfrmPowerFrame::cmdtpcktCommandFilterPacket(TComDataPacket*, const std::string& str) {
    link.Reply(str);
}

bool TfrmPowerFrame::ReadVoltage(const std::string& str) {
    const auto value = ParseDecimal(str);
    if (!value) return false;
    view_.ShowAnimation(false);
    view_.ShowVoltage(*value);
    return true;
}

void TfrmPowerFrame::ReplyHandled(const std::string&, ReplyOutcome outcome) {
    if (outcome == ReplyOutcome::Read && bAutoDetect) {
        bAutoDetect = false;
        FinishAutoDetect();
    }
    EnableButtons();
    AttachContinuesFilter();
    if (bReadStartUpVoltage) {
        bReadStartUpVoltage = false;
        StartContinuousMode();
    }
}

void TfrmPowerFrame::FinishAutoDetect() {
    link.Delay(100);
    link.SendCommand("#");
    link.SendCommand("p1");
    link.SendCommand(std::string(1, CR));
    link.Delay(100);
    link.SendCommand("*");
    link.Delay(100);
}

void TfrmPowerFrame::cmdtpcktContinuesFilterPacket(TComDataPacket*, const std::string& str) {
    link.SignOfLife();
    if (auto value = ParseDecimal(str)) view_.ShowFrequency(*value);
}

void TfrmPowerFrame::EnableButtons() {
    if (!link.bAlreadyClosing()) // a reply during the closing wait leaves the buttons off
        view_.SetButtonsEnabled(true);
}
void TfrmPowerFrame::DisableButtons() {
    view_.SetButtonsEnabled(false);
}

void TfrmPowerFrame::ReattachPacketFilter() {
    AttachContinuesFilter();
}

void TfrmPowerFrame::CloseOnFailure() {
    view_.CloseWindow();
}

void TfrmPowerFrame::FormClose() {
    link.Guard([&] {
        if (!link.BeginClosing()) // also stops the liveness timer
            return;
        if (owner_.Unplugged()) {
            link.ReleasePortHandlers(); // no traffic; the program is ending and the screen goes with it
            return;
        }
        if (link.bErrorOccures()) {
            owner_.ClosingCurrentFrame(true);
            return;
        }
        DisableButtons();
        view_.ShowClosing();
        StopContinuousMode();
        link.Delay(1500);
        if (link.Detached()) return; // let go by the main window during the wait
        // From here the main window handles the port's failures again.
        link.ReleasePortHandlers();
        owner_.ClosingCurrentFrame(link.bErrorOccures());
    });
}

} // namespace mirota
