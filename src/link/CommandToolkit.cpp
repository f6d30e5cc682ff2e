#include "link/CommandToolkit.h"

#include "loop/MessageLoop.h"

namespace mirota {

namespace {
constexpr const char* kDeviceSilent = "The device does not respond. \r\nPlease restart the device!";
constexpr const char* kCommunicationFailed = "The communication with the device failed.\r\n"
                                             "Make sure that the device is properly connected.\r\n"
                                             "Please restart the device.";
constexpr const char* kLastCommandFailed = "The last command was not executed properly!";
constexpr const char* kTimeoutCaption = "Timeout...";
} // namespace

CommandToolkit::CommandToolkit(MessageLoop& aLoop, Dialogs& aDialogs, TComPort* port, MainWindowLink* mainWindow,
                               ToolkitConfig aConfig)
    : loop(aLoop), dialogs(aDialogs), cpComController(port), frmMain(mainWindow), config(aConfig), tmrCheckValue(aLoop) {
    tmrCheckValue.SetInterval(config.ReplyTimeoutMs);
    tmrCheckValue.OnTimer = [this](void* sender) {
        HandlerEntry entry(*this);
        if (!bDetached)
            tmrCheckValueTimer(sender);
    };
}

CommandToolkit::~CommandToolkit() {
    ttmrCheckAlive.reset();
    tmrCheckValue.SetEnabled(false);
}

void CommandToolkit::SendCommand(const std::string& str) {
    for (char c : str) {
        if (bErrorOccures || !cpComController)
            return;
        if (config.WriteAsText)
            cpComController->WriteStr(std::string(1, c));
        else
            cpComController->Write(&c, 1);
        Delay(config.PauseMs);
    }
}

void CommandToolkit::Delay(int milliseconds) { mirota::Delay(loop, milliseconds); }

void CommandToolkit::tmrCheckValueTimer(void*) {
    tmrCheckValue.SetEnabled(false);
    if (TComDataPacket* filter = ReplyFilter())
        filter->OnPacket = nullptr; // a late reply is now consumed without effect
    if (bValueIsChecked)
        return;
    if (iResendCount >= config.ResendLimit) {
        EnableButtons();
        iResendCount = 0;
        // Unasked packets flow again, so a live device is not taken for a silent one.
        ReattachPacketFilter();
        DisplayInfoMsg();
        return;
    }
    ++iResendCount;
    SendCommand(std::string(3, ESC));
    // A command that set no routine of its own is never repeated through an empty one.
    if (rpResend && !bErrorOccures) {
        TResendProcedure routine = rpResend;
        routine(this);
    }
}

void CommandToolkit::TI_CheckAliveTimer(void*) {
    if (ttmrCheckAlive)
        ttmrCheckAlive->SetEnabled(false);
    if (bIsAlive) {
        bIsAlive = false;
    } else {
        dialogs.ShowSystemBox(kDeviceSilent, kTimeoutCaption, DialogKind::Warning, DialogButtons::Ok);
        if (bErrorOccures)
            return; // a failure was handled while the box was shown
        GiveUpPort();
        CloseOnFailure();
        return;
    }
    if (!tmrCheckValue.Enabled())
        SendCommand("1");
    if (!bErrorOccures && ttmrCheckAlive)
        ttmrCheckAlive->SetEnabled(true);
}

void CommandToolkit::ComPortError(TCustomComPort*, TComErrors) {
    if (bErrorOccures)
        return;
    GiveUpPort();
    if (!(frmMain && frmMain->Unplugged()))
        DisplayErrorMsg();
}

void CommandToolkit::ComPortException(TCustomComPort* sender, int, const std::string&, std::int64_t,
                                      const std::string&) {
    ComPortError(sender, 0);
}

void CommandToolkit::DisplayErrorMsg() {
    dialogs.ShowDialog(DialogKind::Error, kCommunicationFailed, DialogButtons::Ok);
    CloseOnFailure();
}

void CommandToolkit::DisplayInfoMsg() {
    if (ttmrCheckAlive)
        ttmrCheckAlive->SetEnabled(false);
    dialogs.ShowSystemBox(kLastCommandFailed, kTimeoutCaption, DialogKind::Information, DialogButtons::Ok);
    if (ttmrCheckAlive && !bErrorOccures && !bAlreadyClosing)
        ttmrCheckAlive->SetEnabled(true);
}

void CommandToolkit::StartLiveness() {
    bIsAlive = true;
    ttmrCheckAlive = std::make_unique<TThreadedTimer>(loop);
    ttmrCheckAlive->SetInterval(config.LivenessMs);
    ttmrCheckAlive->OnTimer = [this](void* sender) {
        HandlerEntry entry(*this);
        if (!bDetached)
            TI_CheckAliveTimer(sender);
    };
    ttmrCheckAlive->SetEnabled(true);
}

void CommandToolkit::AttachPortHandlers(bool withErrors) {
    if (!cpComController)
        return;
    cpComController->OnException = [this](TCustomComPort* sender, int code, const std::string& message,
                                          std::int64_t winError, const std::string& winMessage) {
        HandlerEntry entry(*this);
        if (!bDetached)
            ComPortException(sender, code, message, winError, winMessage);
    };
    if (withErrors)
        cpComController->OnError = [this](TCustomComPort* sender, TComErrors errors) {
            HandlerEntry entry(*this);
            if (!bDetached)
                ComPortError(sender, errors);
        };
    bPortHandlersMine = true;
}

void CommandToolkit::DetachPortHandlers() {
    if (!cpComController)
        return;
    cpComController->OnError = nullptr;
    cpComController->OnException = nullptr;
}

void CommandToolkit::GiveUpPort() {
    DetachPortHandlers();
    tmrCheckValue.SetEnabled(false);
    if (ttmrCheckAlive)
        ttmrCheckAlive->SetEnabled(false);
    cpComController = nullptr;
    bErrorOccures = true;
}

CommandToolkit::HandlerEntry::~HandlerEntry() {
    if (--t_.iHandlerDepth == 0 && t_.whenIdle) {
        auto job = std::move(t_.whenIdle);
        t_.whenIdle = nullptr;
        job();
    }
}

void CommandToolkit::WhenIdle(std::function<void()> job) {
    if (iHandlerDepth == 0)
        job();
    else
        whenIdle = std::move(job);
}

void CommandToolkit::ReleasePortHandlers() {
    if (bPortHandlersMine && cpComController)
        DetachPortHandlers();
    bPortHandlersMine = false;
}

void CommandToolkit::Detach() {
    if (bDetached)
        return;
    bDetached = true;
    bAlreadyClosing = true;
    if (ttmrCheckAlive)
        ttmrCheckAlive->SetEnabled(false);
    tmrCheckValue.SetEnabled(false);
    ReleasePortHandlers();
    cpComController = nullptr;
    bErrorOccures = true; // nothing is sent any more, and no handler goes on with the device
}

} // namespace mirota
