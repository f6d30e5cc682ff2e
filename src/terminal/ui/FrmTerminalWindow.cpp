#include "terminal/ui/FrmTerminalWindow.h"

#include "screen/ui/DialogFolder.h"
#include "screen/ui/Look.h"
#include "terminal/ui/ComTerminal.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace mirota {

TfrmTerminalFrameView::TfrmTerminalFrameView(const ScreenArgs& args) : ScreenWindow("frmTerminalFrame") {
    setFixedSize(644, 455);
    look::Fill(this, Qt::white);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    QWidget* bar = look::AddTopStrip(root, this);
    bar->setAccessibleName("pnlBar");

    ctTerminal = new TComTerminal(this);
    root->addWidget(ctTerminal, 1);
    AddSessionTools(bar, args.dialogs);
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

TerminalSession& TfrmTerminalFrameView::Terminal() {
    return ctTerminal->Session();
}

void TfrmTerminalFrameView::CloseWindow() {
    CloseWindowSoon();
}

void TfrmTerminalFrameView::Shown() {
    ctTerminal->setFocus();
}

// ---------------------------------------------------------------------------------------------------
// Session log

void TfrmTerminalFrameView::AddSessionTools(QWidget* bar, Dialogs& dialogs) {
    dialogs_ = &dialogs;
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(6, 0, 6, 0);
    layout->setSpacing(10);
    layout->addStretch(1);
    QPalette white = bar->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    white.setColor(QPalette::ButtonText, Qt::white);
    chkLogTyped = new QCheckBox("Include typed text", bar);
    chkLogTyped->setObjectName("chkLogTyped");
    chkLogTyped->setAccessibleName(chkLogTyped->text());
    chkLogTyped->setToolTip("The saved log also holds what was typed (lines marked TX)");
    chkLogTyped->setPalette(white);
    chkLogTyped->setFocusPolicy(Qt::NoFocus); // keys stay with the terminal
    btnSaveLog = new QToolButton(bar);
    btnSaveLog->setObjectName("btnSaveLog");
    btnSaveLog->setText("Save log...");
    btnSaveLog->setAccessibleName(btnSaveLog->text());
    btnSaveLog->setToolTip("Save everything received, each line with its time, to a file");
    btnSaveLog->setAutoRaise(true);
    btnSaveLog->setFocusPolicy(Qt::NoFocus);
    btnSaveLog->setStyleSheet(
        "QToolButton { color: white; background: transparent; border: none; padding: 2px 4px; }"
        "QToolButton:hover { background: rgba(255, 255, 255, 45); }"
        "QToolButton:pressed { background: rgba(0, 0, 0, 40); }");
    layout->addWidget(chkLogTyped);
    layout->addWidget(btnSaveLog);
    connect(btnSaveLog, &QToolButton::clicked, this, [this] { SaveLog(); });
    connect(ctTerminal, &TComTerminal::SaveLogRequested, this, [this] { SaveLog(); });
}

void TfrmTerminalFrameView::SaveLog() {
    const std::string proposed =
        (windowTitle().replace('(', '_').remove(')') + "_" +
         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + ".log")
            .toStdString();
    std::optional<std::string> name;
    if (logNameHook) {
        name = logNameHook(proposed);
    } else {
        const QString chosen =
            QFileDialog::getSaveFileName(this, "Save log", InDialogFolder(QString::fromStdString(proposed)),
                                         "Log file (*.log);;Text file (*.txt)");
        RememberDialogFolder(chosen);
        if (!chosen.isEmpty()) name = chosen.toStdString();
    }
    if (!name || name->empty()) return;
    // Taken after the dialog: what arrived while it was open is in the file too.
    const std::string text = ctTerminal->Session().Log().Text(chkLogTyped->isChecked());
    QSaveFile file(QString::fromStdString(*name)); // a temporary file renamed on commit
    if (file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
        file.commit())
        return;
    dialogs_->ShowDialog(DialogKind::Error,
                         "The log could not be written to " + *name + ": " + file.errorString().toStdString(),
                         DialogButtons::Ok);
}

std::unique_ptr<HostedScreen> CreateTerminalScreen(const ScreenArgs& args) {
    return MakeScreen<TfrmTerminalFrameView>(args);
}

TfrmTerminalFrameView* TerminalWindowOf(HostedScreen* screen) {
    return WindowOf<TfrmTerminalFrameView>(screen);
}

} // namespace mirota
