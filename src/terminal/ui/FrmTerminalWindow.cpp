#include "terminal/ui/FrmTerminalWindow.h"

#include "control/ui/ScreenWindow.h"

#include "terminal/ui/ComTerminal.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QSaveFile>
#include <QToolButton>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace mirota {

namespace {

const QColor kBarColour(0, 135, 132);

QPixmap Logo() {
    QPixmap pm(202, 64);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(kBarColour);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(14, 14, 36, 36));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(24, 24, 16, 16));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(26);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kBarColour);
    p.drawText(QRect(58, 0, 144, 64), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("MIROTA"));
    return pm;
}

void Fill(QWidget* w, const QColor& colour) {
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
}

} // namespace

TfrmTerminalFrameView::TfrmTerminalFrameView(const ScreenArgs& args) {
    setObjectName("frmTerminalFrame");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowFlag(Qt::Window);
    setFixedSize(644, 455);
    Fill(this, Qt::white);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* top = new QWidget(this);
    top->setObjectName("pnlTop");
    top->setFixedHeight(64);
    Fill(top, Qt::white);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    auto* logo = new QLabel(top);
    logo->setObjectName("imgLogo");
    logo->setAccessibleName("Mirota logo");
    logo->setPixmap(Logo());
    logo->setFixedSize(202, 64);
    topLayout->addWidget(logo);
    topLayout->addStretch(1);
    root->addWidget(top);

    auto* bar = new QWidget(this);
    bar->setObjectName("pnlBar");
    bar->setAccessibleName("pnlBar");
    bar->setFixedHeight(27);
    Fill(bar, kBarColour);
    root->addWidget(bar);

    ctTerminal = new TComTerminal(this);
    root->addWidget(ctTerminal, 1);
    AddSessionTools(bar, args.dialogs);
    ctTerminal->setFocus();

    logic_ = std::make_unique<TfrmTerminalFrame>(args.aOwner, args.loop, args.dialogs, args.aComPort,
                                                 args.aSerialNumber, *this);
    logic_->FormCreate();
    constructing_ = false;
}

TfrmTerminalFrameView::~TfrmTerminalFrameView() {
    logic_.reset(); // before the view it talks to
}

void TfrmTerminalFrameView::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
    setAccessibleName(QString::fromStdString(caption));
}

TerminalSession& TfrmTerminalFrameView::Terminal() { return ctTerminal->Session(); }

void TfrmTerminalFrameView::CloseWindow() {
    // Asked during construction (the port was not open): close once the control screen holds the window.
    if (constructing_)
        QTimer::singleShot(0, this, [this] { close(); });
    else
        close();
}

std::uint32_t TfrmTerminalFrameView::Handle() const { return static_cast<std::uint32_t>(winId()); }

void TfrmTerminalFrameView::Show() {
    ShowCentred(*this);
    ctTerminal->setFocus();
}

void TfrmTerminalFrameView::Close() { close(); }

WindowState TfrmTerminalFrameView::State() const { return StateOfWindow(*this); }

void TfrmTerminalFrameView::ShowNormal() { showNormal(); }

void TfrmTerminalFrameView::BringToForeground() { RaiseWindow(*this); }

void TfrmTerminalFrameView::closeEvent(QCloseEvent* event) {
    // The close handling sends "*" with the loop running; the control screen destroys the window.
    if (logic_ && !logic_->Detached())
        logic_->FormClose();
    event->accept();
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
    btnSaveLog->setStyleSheet("QToolButton { color: white; background: transparent; border: none; padding: 2px 4px; }"
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
        const QString chosen = QFileDialog::getSaveFileName(this, "Save log", QString::fromStdString(proposed),
                                                            "Log file (*.log);;Text file (*.txt)");
        if (!chosen.isEmpty())
            name = chosen.toStdString();
    }
    if (!name || name->empty())
        return;
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
    return std::make_unique<ScreenWindowHandle<TfrmTerminalFrameView>>(new TfrmTerminalFrameView(args));
}

TfrmTerminalFrameView* TerminalWindowOf(HostedScreen* screen) {
    auto* handle = dynamic_cast<ScreenWindowHandle<TfrmTerminalFrameView>*>(screen);
    return handle ? handle->Window() : nullptr;
}

} // namespace mirota
