#include "terminal/FrmTerminal.h"

namespace mirota {

TfrmTerminalFrame::TfrmTerminalFrame(ScreenHost& aOwner, MessageLoop& aLoop, Dialogs& aDialogs,
                                     TComPort* aComPort, const std::string& aSerialNumber,
                                     TerminalFrameView& view)
    : owner_(aOwner), view_(view), link(aLoop, aDialogs, aComPort, &aOwner, Policy(), *this) {
    // OnException only: the terminal attaches no OnError handler.
    link.AttachPortHandlers();
    caption_ = "Terminal(" + aSerialNumber + ")";
    view_.SetCaption(caption_);
}

// The link releases the port handlers: the port outlives its screens.
TfrmTerminalFrame::~TfrmTerminalFrame() = default;

void TfrmTerminalFrame::Detach() {
    if (link.Detached()) return;
    link.Detach();
    view_.Terminal().SetComPort(nullptr);
}

void TfrmTerminalFrame::Start() {
    link.StartOnce([&] { StartTerminal(); });
}

void TfrmTerminalFrame::StartTerminal() {
    link.Guard([&] {
        TComPort* port = link.cpComController();
        view_.Terminal().SetComPort(port);
        if (port && port->Connected()) {
            bTerminalStarted = true;
            link.SendCommand("#");
            link.Delay(1000);
            link.SendCommand("n");
        } else {
            link.dialogs().ShowDialog(DialogKind::Error, kTerminalNotStarted, DialogButtons::Ok);
            if (!link.Detached()) view_.CloseWindow();
        }
    });
}

void TfrmTerminalFrame::CloseOnFailure() {
    view_.CloseWindow();
}

void TfrmTerminalFrame::FormClose() {
    link.Guard([&] {
        // The close handling runs once, also when the window is asked to close again while "*" is sent.
        if (!link.BeginClosing()) return;
        if (owner_.Unplugged()) {
            link.ReleasePortHandlers(); // no traffic; the program is ending and the screen goes with it
            return;
        }
        // The device leaves its text mode; nothing is sent after a failure or when it never entered it.
        if (bTerminalStarted) link.SendCommand("*");
        if (link.Detached()) return; // let go by the main window meanwhile
        view_.Terminal().SetComPort(nullptr);
        // From here the main window handles the port's failures again.
        link.ReleasePortHandlers();
        owner_.ClosingCurrentFrame(link.bErrorOccures());
    });
}

} // namespace mirota
