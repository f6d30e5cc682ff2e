#include "terminal/ui/FrmTerminalWindow.h"

#include "screen/ui/Look.h"
#include "terminal/ui/ComTerminal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace mirota {

TfrmTerminalFrameView::TfrmTerminalFrameView(const ScreenArgs& args) : ScreenWindow("frmTerminalFrame") {
    setFixedSize(644, 455);
    look::Fill(this, Qt::white);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    look::AddTopStrip(root, this)->setAccessibleName("pnlBar");

    ctTerminal = new TComTerminal(this);
    root->addWidget(ctTerminal, 1);
    ctTerminal->setFocus();

    logic_ = std::make_unique<TfrmTerminalFrame>(args.aOwner, args.loop, args.dialogs, args.aComPort,
                                                 args.aSerialNumber, *this);
    Constructed();
}

TfrmTerminalFrameView::~TfrmTerminalFrameView() {
    logic_.reset(); // before the view it talks to
}

void TfrmTerminalFrameView::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
    setAccessibleName(QString::fromStdString(caption));
}

TerminalSession& TfrmTerminalFrameView::Terminal() { return ctTerminal->Session(); }

void TfrmTerminalFrameView::CloseWindow() { CloseWindowSoon(); }

void TfrmTerminalFrameView::Shown() { ctTerminal->setFocus(); }

std::unique_ptr<HostedScreen> CreateTerminalScreen(const ScreenArgs& args) {
    return MakeScreen<TfrmTerminalFrameView>(args);
}

TfrmTerminalFrameView* TerminalWindowOf(HostedScreen* screen) { return WindowOf<TfrmTerminalFrameView>(screen); }

} // namespace mirota
