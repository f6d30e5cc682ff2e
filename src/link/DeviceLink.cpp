#include "link/DeviceLink.h"

#include "loop/MessageLoop.h"

namespace mirota {

DeviceLink::DeviceLink(MessageLoop& loop, Dialogs& dialogs, TComPort* port, MainWindowLink* mainWindow,
                       LinkPolicy policy, LinkHooks& hooks, TComDataPacket* replyFilter)
    : loop_(loop), dialogs_(dialogs), cpComController_(port), frmMain_(mainWindow), policy_(policy),
      hooks_(hooks), replyFilter_(replyFilter), tmrCheckValue_(loop) {
    tmrCheckValue_.SetInterval(policy_.ReplyTimeoutMs);
    tmrCheckValue_.OnTimer = Bind([this](void*) { tmrCheckValueTimer(); });
}

DeviceLink::~DeviceLink() {
    ttmrCheckAlive_.reset();
    tmrCheckValue_.SetEnabled(false);
    // The port outlives its screens: nothing of this one may stay attached to it.
    ReleasePortHandlers();
    UnbindPacketFilters();
}

// ---- sending -----------------------------------------------------------------------------------

void DeviceLink::SendCommand(const std::string& str) {
    for (char c : str) {
        if (bErrorOccures_ || !cpComController_) return;
        if (policy_.WriteAsText)
            cpComController_->WriteStr(std::string(1, c));
        else
            cpComController_->Write(&c, 1);
        Delay(policy_.PauseMs);
    }
}

void DeviceLink::Delay(int milliseconds) {
    mirota::Delay(loop_, milliseconds);
}

// ---- checked commands --------------------------------------------------------------------------

void DeviceLink::SendChecked(const Ask& ask) {
    // A new command ends the time-out of the previous one: its tick would otherwise repeat the new
    // command while it is still being sent.
    tmrCheckValue_.SetEnabled(false);
    if (ask.Expected) {
        strValueToCheck_ = *ask.Expected;
        if (policy_.Replies == ReplyPolicy::Reference) bCheckValue_ = true;
    }
    reader_ = ask.Reader;
    if (replyFilter_) {
        replyFilter_->SetStartString(ask.ReplyStart);
        replyFilter_->OnPacket = [this](TComDataPacket*, const std::string& str) { Reply(str); };
    }
    bValueIsChecked_ = false;
    bReplied_ = false;
    // The reference screens name the routine before sending; the values screen once the command is out.
    if (policy_.Replies == ReplyPolicy::Reference) rpResend_ = ask.Resend;
    if (!ask.Lead.empty()) {
        SendCommand(ask.Lead);
        Delay(ask.LeadPauseMs);
    }
    SendCommand(ask.Command);
    if (policy_.Replies == ReplyPolicy::CompareOnly) rpResend_ = ask.Resend;
    if (ask.Timeout) StartReplyTimeout();
}

void DeviceLink::SwitchStream(bool on, const StreamSwitch& how) {
    if (!on && CommandPending()) return;
    Ask ask;
    ask.Command = std::string(on ? "$6661" : "$6660") + CR;
    ask.ReplyStart = "&666";
    ask.Expected = on ? "1" : "0";
    ask.Reader = how.Reader;
    ask.Lead = how.Lead;
    ask.LeadPauseMs = how.LeadPauseMs;
    // Unanswered, the switch repeats itself (never an unrelated command).
    ask.Resend = [this, on, how](void*) { SwitchStream(on, how); };
    SendChecked(ask);
}

// The time-out runs from the end of sending.
void DeviceLink::StartReplyTimeout() {
    if (policy_.Replies == ReplyPolicy::Reference) {
        tmrCheckValue_.SetEnabled(false);
        if (!bDetached_) tmrCheckValue_.SetEnabled(true);
    } else if (!bErrorOccures_) {
        tmrCheckValue_.SetEnabled(true);
    }
}

void DeviceLink::StopReplyTimeout() {
    tmrCheckValue_.SetEnabled(false);
}

void DeviceLink::Reply(const std::string& str) {
    Entry entry(*this);
    if (bDetached_) return;
    if (policy_.Replies == ReplyPolicy::CompareOnly) {
        // The time-out keeps running; a wrong answer is left to it.
        if (str == strValueToCheck_) {
            bValueIsChecked_ = true;
            hooks_.ReplyHandled(str, ReplyOutcome::Matched);
        }
        return;
    }
    tmrCheckValue_.SetEnabled(false);
    bReplied_ = true;
    ReplyOutcome outcome = ReplyOutcome::Ignored;
    if (bCheckValue_) {
        if (str == strValueToCheck_) {
            bCheckValue_ = false;
            bValueIsChecked_ = true;
            outcome = ReplyOutcome::Matched;
        }
    } else if (ValueReader reader = reader_; reader && reader(str)) {
        bValueIsChecked_ = true;
        bCheckValue_ = false;
        outcome = ReplyOutcome::Read;
    }
    hooks_.ReplyHandled(str, outcome);
}

void DeviceLink::tmrCheckValueTimer() {
    tmrCheckValue_.SetEnabled(false);
    if (replyFilter_) replyFilter_->OnPacket = nullptr; // a late reply is now consumed without effect
    if (bValueIsChecked_) return;
    // Any reply ends the time-out, also one that came while the command's last pause ran, before
    // the time-out was started: a wrong answer is not repeated.
    if (policy_.Replies == ReplyPolicy::Reference && bReplied_) return;
    if (iResendCount_ >= policy_.ResendLimit) {
        hooks_.EnableButtons();
        iResendCount_ = 0;
        // Unasked packets flow again, so a live device is not taken for a silent one.
        hooks_.ReattachPacketFilter();
        DisplayInfoMsg();
        return;
    }
    ++iResendCount_;
    SendCommand(std::string(3, ESC));
    // A command that set no routine of its own is never repeated through an empty one.
    if (rpResend_ && !bErrorOccures_) {
        TResendProcedure routine = rpResend_;
        routine(this);
    }
}

// ---- packet filters ----------------------------------------------------------------------------

void DeviceLink::BindPacketFilters(TComDataPacket& packets, const std::string& packetStart) {
    packetFilter_ = &packets;
    replyFilter_->OnPacket = nullptr;
    packets.SetStartString(packetStart);
    replyFilter_->SetStartString("");
    packets.SetStopString(std::string(1, ESC));
    replyFilter_->SetStopString(std::string(1, ESC));
    packets.SetComPort(cpComController_);
    replyFilter_->SetComPort(cpComController_);
}

void DeviceLink::UnbindPacketFilters() {
    if (!packetFilter_) return;
    packetFilter_->OnPacket = nullptr;
    replyFilter_->OnPacket = nullptr;
    packetFilter_->SetComPort(nullptr);
    replyFilter_->SetComPort(nullptr);
    packetFilter_ = nullptr;
}

// ---- liveness ----------------------------------------------------------------------------------

void DeviceLink::StartLiveness() {
    if (policy_.Liveness == LivenessPolicy::None || bDetached_) return;
    bIsAlive_ = true;
    ttmrCheckAlive_ = std::make_unique<TThreadedTimer>(loop_);
    ttmrCheckAlive_->SetInterval(policy_.LivenessMs);
    ttmrCheckAlive_->OnTimer = Bind([this](void*) { TI_CheckAliveTimer(); });
    ttmrCheckAlive_->SetEnabled(true);
}

void DeviceLink::SignOfLife() {
    bIsAlive_ = true;
}
void DeviceLink::AwaitReply() {
    bIsAlive_ = false;
}
void DeviceLink::PauseLiveness() {
    SetLiveness(false);
}

void DeviceLink::ResumeLiveness() {
    if (!bErrorOccures_ && !bAlreadyClosing_) SetLiveness(true);
}

void DeviceLink::SetLiveness(bool enabled) {
    if (ttmrCheckAlive_) ttmrCheckAlive_->SetEnabled(enabled);
}

bool DeviceLink::BeginClosing() {
    if (bAlreadyClosing_) return false;
    bAlreadyClosing_ = true;
    SetLiveness(false);
    return true;
}

void DeviceLink::TI_CheckAliveTimer() {
    SetLiveness(false);
    if (policy_.Liveness == LivenessPolicy::Sequencer) {
        if (bAlreadyClosing_) return;
        if (bIsAlive_) {
            hooks_.LinkAlive();
        } else if (!bErrorOccures_ && !hooks_.RetryMissedReply()) {
            ReportSilentDevice();
            return;
        }
        if (bAlreadyClosing_) return;
        if (!hooks_.PassRunning()) SendCommand("1");
        ResumeLiveness();
        return;
    }
    if (bIsAlive_) {
        bIsAlive_ = false;
    } else {
        ReportSilentDevice();
        return;
    }
    if (!tmrCheckValue_.Enabled()) SendCommand("1");
    if (!bErrorOccures_) SetLiveness(true);
}

void DeviceLink::ReportSilentDevice() {
    dialogs_.ShowSystemBox(kDeviceSilentMessage, kLinkTimeoutCaption, DialogKind::Warning, DialogButtons::Ok);
    if (bErrorOccures_) return; // a failure was handled while the box was shown
    if (policy_.Liveness == LivenessPolicy::Sequencer && bAlreadyClosing_) return;
    GiveUpPort();
    hooks_.CloseOnFailure();
}

// ---- failures ----------------------------------------------------------------------------------

void DeviceLink::AttachPortHandlers() {
    if (!cpComController_) return;
    cpComController_->OnException = Bind([this](TCustomComPort*, int, const std::string&, std::int64_t,
                                                const std::string&) { ComPortError(); });
    if (policy_.WithErrorHandler)
        cpComController_->OnError = Bind([this](TCustomComPort*, TComErrors) { ComPortError(); });
    bPortHandlersMine_ = true;
}

void DeviceLink::DetachPortHandlers() {
    if (!cpComController_) return;
    cpComController_->OnError = nullptr;
    cpComController_->OnException = nullptr;
}

void DeviceLink::ReleasePortHandlers() {
    if (bPortHandlersMine_ && cpComController_) DetachPortHandlers();
    bPortHandlersMine_ = false;
}

void DeviceLink::GiveUpPort() {
    DetachPortHandlers();
    bPortHandlersMine_ = false;
    tmrCheckValue_.SetEnabled(false);
    SetLiveness(false);
    cpComController_ = nullptr;
    bErrorOccures_ = true;
}

void DeviceLink::ComPortError() {
    if (bErrorOccures_) return; // later reports of the same breakdown
    GiveUpPort();
    if (policy_.FailureMessagePauseMs > 0) {
        Delay(policy_.FailureMessagePauseMs);
        if (bAlreadyClosing_) return;
    }
    if (policy_.ReportWhenUnplugged || !(frmMain_ && frmMain_->Unplugged())) DisplayErrorMsg();
}

void DeviceLink::DisplayErrorMsg() {
    dialogs_.ShowDialog(DialogKind::Error, kLinkFailedMessage, DialogButtons::Ok);
    if (!bDetached_) hooks_.CloseOnFailure();
}

void DeviceLink::DisplayInfoMsg() {
    SetLiveness(false);
    dialogs_.ShowSystemBox(kLastCommandFailedMessage, kLinkTimeoutCaption, DialogKind::Information,
                           DialogButtons::Ok);
    if (!bErrorOccures_ && !bAlreadyClosing_) SetLiveness(true);
}

// ---- letting go --------------------------------------------------------------------------------

DeviceLink::Entry::~Entry() {
    if (--l_.iHandlerDepth_ == 0 && l_.whenIdle_) {
        auto job = std::move(l_.whenIdle_);
        l_.whenIdle_ = nullptr;
        job(); // may destroy the screen and this link
    }
}

void DeviceLink::WhenIdle(std::function<void()> job) {
    if (iHandlerDepth_ == 0)
        job();
    else
        whenIdle_ = std::move(job);
}

void DeviceLink::Detach() {
    if (bDetached_) return;
    bDetached_ = true;
    bAlreadyClosing_ = true;
    SetLiveness(false);
    tmrCheckValue_.SetEnabled(false);
    ReleasePortHandlers();
    cpComController_ = nullptr;
    bErrorOccures_ = true; // nothing is sent any more, and no handler goes on with the device
    UnbindPacketFilters();
}

} // namespace mirota
