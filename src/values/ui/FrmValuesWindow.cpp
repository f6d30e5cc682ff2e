#include "values/ui/FrmValuesWindow.h"

#include "control/ui/ScreenWindow.h"

#include "values/ui/AnalogDisplay.h"
#include "values/ui/ValuePlot.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace mirota {

namespace {

const QColor kBarColour(0, 135, 132);

struct ValueDesign {
    const char* box;
    const char* caption;
    const char* display;
    const char* panel;
    QColor colour;
};

// In index order.
const ValueDesign kValues[6] = {
    {"chkTorque1", "Torque_1", "adspTorque1", "pnlTorque1Panel", QColor(231, 64, 17)},
    {"chkTorque2", "Torque_2", "adspTorque2", "pnlTorque2Panel", QColor(0, 135, 132)},
    {"chkSpeed1", "Speed_1", "adspSpeed1", "pnlSpeed1Panel", QColor(79, 36, 84)},
    {"chkSpeed2", "Speed_2", "adspSpeed2", "pnlSpeed2Panel", QColor(231, 64, 17)},
    {"chkAngle", "Angle", "adspAngle", "pnlAnglePanel", QColor(79, 36, 84)},
    {"chkAngleSpeed", "Angle Speed", "adspAngleSpeed", "pnlAngleSpeedPanel", QColor(0, 135, 132)},
};

// Panels from the top: Torque 1, Speed 1, Angle, Torque 2, Speed 2, Angle Speed.
constexpr int kPanelOrder[6] = {0, 2, 4, 1, 3, 5};

QFont Arial13(bool bold = false) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    f.setBold(bold);
    return f;
}

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

void White(QWidget* w) {
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, Qt::white);
    w->setPalette(pal);
}

} // namespace

TfrmValuesFrameView::TfrmValuesFrameView(const ScreenArgs& args, std::filesystem::path cfgDir,
                                         TfrmValuesFrame::Clock clock) {
    setObjectName("frmValuesFrame");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowFlag(Qt::Window);
    BuildLayout();
    resize(886, 522);
    logic_ = std::make_unique<TfrmValuesFrame>(args.aOwner, args.loop, args.dialogs, args.aComPort, args.aDescription,
                                               args.aSerialNumber, *this, std::move(cfgDir), std::move(clock));
    // The plot draws the logic's plot model; it joins the layout once the logic exists.
    for (int i = 0; i < 6; ++i) logic_->SetBoxTicked(i, arrBoxes[i]->isEnabled() && arrBoxes[i]->isChecked());
    xypltDisplayValues = new TiXYPlot(logic_->Plot(), this);
    xypltDisplayValues->setAccessibleName("xypltDisplayValues");
    rightLayout_->addWidget(xypltDisplayValues, 1);
    xypltDisplayValues->ApplyConfiguration();
    xypltDisplayValues->OnZoomToFit = [this] { logic_->mniZoomToFitClick(this); };
    xypltDisplayValues->OnClearAllData = [this] { logic_->mniClearAllDataClick(this); };
    xypltDisplayValues->OnExportFailed = [this](const std::string& text) {
        logic_->dialogs.ShowDialog(DialogKind::Error, text, DialogButtons::Ok);
    };
    constructing_ = false;
}

TfrmValuesFrameView::~TfrmValuesFrameView() {
    logic_.reset(); // before the widgets it talks to
}

void TfrmValuesFrameView::BuildLayout() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* top = new QWidget(this);
    top->setObjectName("pnlTop");
    top->setFixedHeight(64);
    White(top);
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
    bar->setFixedHeight(27);
    bar->setAutoFillBackground(true);
    QPalette barPal = bar->palette();
    barPal.setColor(QPalette::Window, kBarColour);
    bar->setPalette(barPal);
    root->addWidget(bar);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    root->addLayout(body, 1);

    // Left column: the value panels.
    auto* left = new QWidget(this);
    left->setObjectName("pnlValues");
    left->setFixedWidth(134);
    White(left);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 4, 0, 0);
    leftLayout->setSpacing(0);
    for (int i = 0; i < 6; ++i) {
        const ValueDesign& d = kValues[i];
        auto* panel = new QWidget(left);
        panel->setObjectName(d.panel);
        panel->setFixedSize(134, 50);
        panel->setAccessibleName(d.caption);
        auto* pl = new QVBoxLayout(panel);
        pl->setContentsMargins(3, 2, 3, 4);
        pl->setSpacing(2);
        auto* box = new QCheckBox(d.caption, panel);
        box->setObjectName(d.box);
        box->setFont(Arial13());
        box->setFixedSize(97, 17);
        box->setAccessibleName(d.caption);
        auto* display = new TiAnalogDisplay(panel);
        display->setObjectName(d.display);
        display->setFixedSize(128, 25);
        display->SetPrecision(4);
        display->SetFontColor(d.colour);
        display->SetBackGroundColor(Qt::white);
        display->setAccessibleName(d.caption);
        pl->addWidget(box);
        pl->addWidget(display);
        // The logic keeps the ticks: every change of the box (checked or enabled) goes to it.
        auto tell = [this, box, i] {
            if (logic_) logic_->SetBoxTicked(i, box->isEnabled() && box->isChecked());
        };
        connect(box, &QCheckBox::toggled, this, tell);
        box->installEventFilter(this);
        panel->hide();
        arrBoxes[i] = box;
        arrDisplays[i] = display;
        arrPanels[i] = panel;
    }
    for (int i : kPanelOrder) leftLayout->addWidget(arrPanels[i]);
    leftLayout->addStretch(1);
    body->addWidget(left);

    // Right part: the command strip and the plot.
    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    body->addLayout(right, 1);

    auto* strip = new QWidget(this);
    strip->setObjectName("pnlCommands");
    strip->setFixedHeight(41);
    White(strip);
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(4, 0, 4, 0);
    stripLayout->setSpacing(8);

    auto makeButton = [this](QWidget* parent, CommandButton b, const char* name, const char* caption, bool latching) {
        auto* btn = new QPushButton(caption, parent);
        btn->setObjectName(name);
        btn->setFont(Arial13());
        btn->setFixedSize(75, 25);
        btn->setFlat(true);
        btn->setCheckable(latching);
        btn->setAccessibleName(caption);
        btn->setStyleSheet("QPushButton { border: 1px solid #8c8c8c; background: #f0f0f0; }"
                           "QPushButton:checked { background: #008784; color: white; border-color: #005a58; }"
                           "QPushButton:pressed { background: #c8c8c8; }"
                           "QPushButton:disabled { color: #a0a0a0; }");
        connect(btn, &QPushButton::clicked, this, [this, b] {
            if (logic_) logic_->ClickButton(b);
        });
        buttons_[static_cast<int>(b)] = btn;
        return btn;
    };
    auto makeGroup = [&](const char* name, const char* caption) {
        auto* g = new QGroupBox(caption, strip);
        g->setObjectName(name);
        g->setFont(Arial13());
        g->setAccessibleName(caption);
        // A compact frame: the caption sits on the top line, the buttons fill the rest of the strip.
        g->setStyleSheet("QGroupBox { border: 1px solid #b4b4b4; margin-top: 7px; }"
                         "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px;"
                         " top: -1px; }");
        auto* gl = new QHBoxLayout(g);
        gl->setContentsMargins(4, 6, 4, 2);
        gl->setSpacing(4);
        stripLayout->addWidget(g);
        return std::pair{g, gl};
    };
    auto [measurement, ml] = makeGroup("grpMeasurement", "Measurement");
    ml->addWidget(makeButton(measurement, CommandButton::Measure, "btnMeasure", "Measure", true));
    ml->addWidget(makeButton(measurement, CommandButton::Nulling, "btnNulling", "Zero", false));
    auto [calibration, cl] = makeGroup("grpCalibration", "Calibration");
    cl->addWidget(makeButton(calibration, CommandButton::Null, "btnNull", "0%", true));
    cl->addWidget(makeButton(calibration, CommandButton::Fifty, "btnFifty", "50%", true));
    cl->addWidget(makeButton(calibration, CommandButton::Hundred, "btnHundred", "100%", true));
    stripLayout->addStretch(1);
    right->addWidget(strip);
    rightLayout_ = right;
}

void TfrmValuesFrameView::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
    setAccessibleName(QString::fromStdString(caption));
}

void TfrmValuesFrameView::SetPanelVisible(int i, bool visible) { arrPanels[i]->setVisible(visible); }

void TfrmValuesFrameView::SetBoxCaption(int i, const std::string& caption) {
    const QString text = QString::fromStdString(caption);
    arrBoxes[i]->setText(text);
    arrBoxes[i]->setAccessibleName(text.isEmpty() ? QString(kValues[i].caption) : text);
    arrDisplays[i]->setAccessibleName(text.isEmpty() ? QString(kValues[i].caption) : text);
}

void TfrmValuesFrameView::ShowValue(int i, double value) { arrDisplays[i]->SetValue(value); }

void TfrmValuesFrameView::SetButtonEnabled(CommandButton b, bool enabled) {
    buttons_[static_cast<int>(b)]->setEnabled(enabled);
}

void TfrmValuesFrameView::SetButtonPressed(CommandButton b, bool pressed) {
    QPushButton* btn = buttons_[static_cast<int>(b)];
    if (!btn->isCheckable()) return; // "Zero" never stays pressed
    const QSignalBlocker block(btn);
    btn->setChecked(pressed);
}

void TfrmValuesFrameView::PlotConfigurationChanged() {
    if (xypltDisplayValues) xypltDisplayValues->ApplyConfiguration();
}

void TfrmValuesFrameView::CloseWindow() { close(); }

bool TfrmValuesFrameView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange && logic_) {
        for (int i = 0; i < 6; ++i)
            if (watched == arrBoxes[i]) logic_->SetBoxTicked(i, arrBoxes[i]->isEnabled() && arrBoxes[i]->isChecked());
    }
    return QWidget::eventFilter(watched, event);
}

std::uint32_t TfrmValuesFrameView::Handle() const { return static_cast<std::uint32_t>(winId()); }

void TfrmValuesFrameView::Show() {
    ShowCentred(*this);
}

void TfrmValuesFrameView::Close() { close(); }

WindowState TfrmValuesFrameView::State() const { return StateOfWindow(*this); }

void TfrmValuesFrameView::ShowNormal() { showNormal(); }

void TfrmValuesFrameView::BringToForeground() { RaiseWindow(*this); }

void TfrmValuesFrameView::closeEvent(QCloseEvent* event) {
    if (logic_ && logic_->Detached()) {
        event->accept();
        return;
    }
    // The close handling may wait (1.5 s with the loop running); the window stays up meanwhile and is
    // hidden afterwards. The control screen destroys it.
    if (logic_) logic_->FormClose();
    event->accept();
}

std::unique_ptr<HostedScreen> CreateValuesScreen(const ScreenArgs& args) {
    const std::filesystem::path cfg =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "_cfg";
    return std::make_unique<ScreenWindowHandle<TfrmValuesFrameView>>(new TfrmValuesFrameView(args, cfg));
}

} // namespace mirota
