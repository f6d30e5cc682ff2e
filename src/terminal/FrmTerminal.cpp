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
    AttachPortHandlers(false);
    caption_ = "Terminal(" + aSerialNumber + ")";
    view_.SetCaption(caption_);
}

TfrmTerminalFrame::~TfrmTerminalFrame() {
    // The port outlives its screens: a screen destroyed without closing leaves no handler behind.
    ReleasePortHandlers();
}

void TfrmTerminalFrame::Detach() {
    if (bDetached)
        return;
    CommandToolkit::Detach();
    view_.Terminal().SetComPort(nullptr);
}

void TfrmTerminalFrame::FormCreate() { StartTerminal(); }

void TfrmTerminalFrame::StartTerminal() {
    Entry entry(*this);
    view_.Terminal().SetComPort(cpComController);
    if (cpComController && cpComController->Connected()) {
        bTerminalStarted = true;
        SendCommand("#");
        Delay(1000);
        SendCommand("n");
    } else {
        dialogs.ShowDialog(DialogKind::Error, kTerminalNotStarted, DialogButtons::Ok);
        if (!bDetached)
            view_.CloseWindow();
    }
}

void TfrmTerminalFrame::cpComControllerException(TCustomComPort*, int, const std::string&, std::int64_t,
                                                 const std::string&) {
    if (bErrorOccures)
        return;
    DetachPortHandlers();
    bPortHandlersMine = false;
    cpComController = nullptr;
    bErrorOccures = true;
    dialogs.ShowDialog(DialogKind::Error, kCommunicationFailed, DialogButtons::Ok);
    if (!bDetached)
        CloseOnFailure();
}

void TfrmTerminalFrame::CloseOnFailure() { view_.CloseWindow(); }

void TfrmTerminalFrame::FormClose() {
    Entry entry(*this);
    // The close handling runs once, also when the window is asked to close again while "*" is sent.
    if (bAlreadyClosing)
        return;
    bAlreadyClosing = true;
    if (owner_.Unplugged()) {
        ReleasePortHandlers(); // no traffic; the program is ending and the screen goes with it
        return;
    }
    // The device leaves its text mode; nothing is sent after a failure or when it never entered it.
    if (bTerminalStarted)
        SendCommand("*");
    if (bDetached)
        return; // let go by the main window meanwhile
    view_.Terminal().SetComPort(nullptr);
    // From here the main window handles the port's failures again.
    ReleasePortHandlers();
    owner_.ClosingCurrentFrame(bErrorOccures);
}

} // namespace mirota
