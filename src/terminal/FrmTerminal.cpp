#include "terminal/FrmTerminal.h"

namespace mirota {

namespace {
constexpr const char* kCommunicationFailed = "The communication with the device failed.\r\n"
                                             "Make sure that the device is properly connected.\r\n"
                                             "Please restart the device.";
} // namespace

TfrmTerminalFrame::TfrmTerminalFrame(ScreenHost& aOwner, MessageLoop& aLoop, Dialogs& aDialogs, TComPort* aComPort,
                                     const std::string& aSerialNumber, TerminalFrameView& view)
    : CommandToolkit(aLoop, aDialogs, aComPort, &aOwner, Config()), owner_(aOwner), view_(view) {
    bErrorOccures = false;
    // OnException only: the terminal attaches no OnError handler.
    if (cpComController)
        cpComController->OnException = [this](TCustomComPort* sender, int code, const std::string& message,
                                              std::int64_t winError, const std::string& winMessage) {
            cpComControllerException(sender, code, message, winError, winMessage);
        };
    caption_ = "Terminal(" + aSerialNumber + ")";
    view_.SetCaption(caption_);
}

TfrmTerminalFrame::~TfrmTerminalFrame() {
    // A closed screen has handed the port's handler back already (the main window attaches its own);
    // one destroyed without closing must not leave it behind.
    if (cpComController && !bAlreadyClosing)
        cpComController->OnException = nullptr;
}

void TfrmTerminalFrame::FormCreate() { StartTerminal(); }

void TfrmTerminalFrame::StartTerminal() {
    view_.Terminal().SetComPort(cpComController);
    if (cpComController && cpComController->Connected()) {
        bTerminalStarted = true;
        SendCommand("#");
        Delay(1000);
        SendCommand("n");
    } else {
        dialogs.ShowDialog(DialogKind::Error, kTerminalNotStarted, DialogButtons::Ok);
        view_.CloseWindow();
    }
}

void TfrmTerminalFrame::cpComControllerException(TCustomComPort*, int, const std::string&, std::int64_t,
                                                 const std::string&) {
    if (bErrorOccures)
        return;
    DetachPortHandlers();
    cpComController = nullptr;
    bErrorOccures = true;
    dialogs.ShowDialog(DialogKind::Error, kCommunicationFailed, DialogButtons::Ok);
    CloseOnFailure();
}

void TfrmTerminalFrame::CloseOnFailure() { view_.CloseWindow(); }

void TfrmTerminalFrame::FormClose() {
    // The close handling runs once, also when the window is asked to close again while "*" is sent.
    if (bAlreadyClosing)
        return;
    bAlreadyClosing = true;
    if (owner_.Unplugged()) {
        DetachPortHandlers(); // no traffic; the program is ending and the screen goes with it
        return;
    }
    // The device leaves its text mode; nothing is sent after a failure or when it never entered it.
    if (bTerminalStarted)
        SendCommand("*");
    view_.Terminal().SetComPort(nullptr);
    // From here the main window handles the port's failures again.
    DetachPortHandlers();
    owner_.ClosingCurrentFrame(bErrorOccures);
}

} // namespace mirota
