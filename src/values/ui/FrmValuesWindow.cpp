#include "values/ui/FrmValuesWindow.h"

#include "screen/ui/AnalogDisplay.h"
#include "screen/ui/Look.h"
#include "screen/ui/ScreenButton.h"
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
    {"chkTorque2", "Torque_2", "adspTorque2", "pnlTorque2Panel", look::Teal()},
    {"chkSpeed1", "Speed_1", "adspSpeed1", "pnlSpeed1Panel", QColor(79, 36, 84)},
    {"chkSpeed2", "Speed_2", "adspSpeed2", "pnlSpeed2Panel", QColor(231, 64, 17)},
    {"chkAngle", "Angle", "adspAngle", "pnlAnglePanel", QColor(79, 36, 84)},
    {"chkAngleSpeed", "Angle Speed", "adspAngleSpeed", "pnlAngleSpeedPanel", look::Teal()},
};

// Panels from the top: Torque 1, Speed 1, Angle, Torque 2, Speed 2, Angle Speed.
constexpr int kPanelOrder[6] = {0, 2, 4, 1, 3, 5};

QFont Arial13(bool bold = false) {
    return look::ArialFont(13, bold);
}

} // namespace

TfrmValuesFrameView::TfrmValuesFrameView(const ScreenArgs& args, std::filesystem::path cfgDir,
                                         TfrmValuesFrame::Clock clock)
    : ScreenWindow("frmValuesFrame") {
    BuildLayout();
    resize(886, 522);
    logic_ = std::make_unique<TfrmValuesFrame>(args.aOwner, args.loop, args.dialogs, args.aComPort,
                                               args.aDescription, args.aSerialNumber, *this,
                                               std::move(cfgDir), std::move(clock));
    // The plot draws the logic's plot model; it joins the layout once the logic exists.
    for (int i = 0; i < 6; ++i)
        logic_->SetBoxTicked(i, arrBoxes[i]->isEnabled() && arrBoxes[i]->isChecked());
    xypltDisplayValues = new TiXYPlot(logic_->Plot(), this);
    xypltDisplayValues->setAccessibleName("xypltDisplayValues");
    rightLayout_->addWidget(xypltDisplayValues, 1);
    xypltDisplayValues->ApplyConfiguration();
    xypltDisplayValues->OnZoomToFit = [this] { logic_->mniZoomToFitClick(this); };
    xypltDisplayValues->OnClearAllData = [this] { logic_->mniClearAllDataClick(this); };
    xypltDisplayValues->OnExportFailed = [this](const std::string& text) {
        logic_->ScreenDialogs().ShowDialog(DialogKind::Error, text, DialogButtons::Ok);
    };
    Constructed();
}

TfrmValuesFrameView::~TfrmValuesFrameView() {
    // A running recording ends with a complete file while the points are still there.
    if (xypltDisplayValues) xypltDisplayValues->StopRecording();
    logic_.reset(); // before the widgets it talks to
}

void TfrmValuesFrameView::BuildLayout() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    look::AddTopStrip(root, this);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    root->addLayout(body, 1);

    // Left column: the value panels.
    auto* left = new QWidget(this);
    left->setObjectName("pnlValues");
    left->setFixedWidth(134);
    look::Fill(left, Qt::white);
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
    for (int i : kPanelOrder)
        leftLayout->addWidget(arrPanels[i]);
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
    look::Fill(strip, Qt::white);
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(4, 0, 4, 0);
    stripLayout->setSpacing(8);

    auto makeButton = [this](QWidget* parent, CommandButton b, const char* name, const char* caption,
                             bool latching) {
        auto* btn = new TScreenButton(caption, parent);
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

void TfrmValuesFrameView::SetPanelVisible(int i, bool visible) {
    arrPanels[i]->setVisible(visible);
}

void TfrmValuesFrameView::SetBoxCaption(int i, const std::string& caption) {
    const QString text = QString::fromStdString(caption);
    arrBoxes[i]->setText(text);
    arrBoxes[i]->setAccessibleName(text.isEmpty() ? QString(kValues[i].caption) : text);
    arrDisplays[i]->setAccessibleName(text.isEmpty() ? QString(kValues[i].caption) : text);
}

void TfrmValuesFrameView::ShowValue(int i, double value) {
    arrDisplays[i]->SetValue(value);
}

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

void TfrmValuesFrameView::CloseWindow() {
    close();
}

bool TfrmValuesFrameView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange && logic_) {
        for (int i = 0; i < 6; ++i)
            if (watched == arrBoxes[i])
                logic_->SetBoxTicked(i, arrBoxes[i]->isEnabled() && arrBoxes[i]->isChecked());
    }
    return QWidget::eventFilter(watched, event);
}

std::unique_ptr<HostedScreen> CreateValuesScreen(const ScreenArgs& args) {
    const std::filesystem::path cfg =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "_cfg";
    return MakeScreen<TfrmValuesFrameView>(args, cfg);
}

} // namespace mirota
