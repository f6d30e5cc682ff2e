#include "power/ui/FrmPowerWindow.h"

#include "screen/ui/AnalogDisplay.h"
#include "screen/ui/Look.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace mirota {

namespace {

using look::Fill;

QFont Arial(int pixels, bool bold) {
    return look::ArialFont(pixels, bold);
}

QLabel* Header(const QString& text, const QRect& geometry, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(Arial(13, true));
    Fill(label, look::Teal());
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(pal);
    label->setAccessibleName(text);
    return label;
}

} // namespace

TGifAnimation::TGifAnimation(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % 12;
        update();
    });
    setAccessibleName("gfanimProcess");
    setAccessibleDescription("busy");
}

bool TGifAnimation::Animate() const {
    return timer_->isActive();
}

void TGifAnimation::SetAnimate(bool on) {
    if (on)
        timer_->start();
    else
        timer_->stop();
}

void TGifAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double radius = std::min(width(), height()) / 2.0 - 3;
    for (int i = 0; i < 12; ++i) {
        const int age = (step_ - i + 12) % 12;
        QColor c = look::Teal();
        c.setAlpha(255 - age * 18);
        p.save();
        p.translate(centre);
        p.rotate(i * 30.0);
        p.setBrush(c);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(-1.5, -radius, 3, radius / 2.2), 1.5, 1.5);
        p.restore();
    }
}

TfrmPowerFrameView::TfrmPowerFrameView(const ScreenArgs& args) : ScreenWindow("frmPowerFrame") {
    setFixedSize(589, 179);
    Fill(this, Qt::white);
    BuildLayout();
    logic_ = std::make_unique<TfrmPowerFrame>(args.aOwner, args.loop, args.dialogs, args.aComPort,
                                              args.aSerialNumber, *this);
    Constructed();
}

TfrmPowerFrameView::~TfrmPowerFrameView() {
    logic_.reset(); // before the widgets it talks to
}

void TfrmPowerFrameView::BuildLayout() {
    look::MakeLogoLabel(this, "imgLogo")->move(0, 0);

    Header(QStringLiteral("FREQUENZY"), QRect(0, 64, 347, 26), this)->setObjectName("lblFrequenzy");
    Header(QStringLiteral("VOLTAGE"), QRect(347, 64, 589 - 347, 26), this)->setObjectName("lblVoltage");

    auto makeDisplay = [this](const char* name, const QString& accessible, int precision,
                              const QString& units, const QRect& geometry) {
        auto* d = new TiAnalogDisplay(this);
        d->SetCentred(true);
        d->setObjectName(name);
        d->setAccessibleName(accessible);
        d->SetPrecision(precision);
        d->SetUnits(units);
        d->SetFontColor(look::Grey());
        d->SetBackGroundColor(Qt::white);
        d->setFont(Arial(32, true));
        d->setGeometry(geometry);
        return d;
    };
    adspFrequenzy = makeDisplay("adspFrequenzy", "FREQUENZY", 0, "[Hz]", QRect(0, 90, 347, 49));
    adspCurrentVoltage = makeDisplay("adspCurrentVoltage", "VOLTAGE", 4, "[V]", QRect(349, 90, 240, 49));

    pnlAnimationPanel = new QWidget(this);
    pnlAnimationPanel->setObjectName("pnlAnimationPanel");
    pnlAnimationPanel->setAccessibleName("pnlAnimationPanel");
    pnlAnimationPanel->setGeometry(349, 90, 240, 48);
    Fill(pnlAnimationPanel, Qt::white);
    gfanimProcess = new TGifAnimation(pnlAnimationPanel);
    gfanimProcess->setObjectName("gfanimProcess");
    gfanimProcess->setGeometry((240 - 30) / 2, (48 - 30) / 2, 30, 30);
    pnlAnimationPanel->hide();

    struct Def {
        const char* name;
        const char* caption;
        int width;
        void (TfrmPowerFrame::*click)(void*);
    };
    const Def defs[] = {
        {"btnMinusMinus", "- -", 78, &TfrmPowerFrame::btnMinusMinusClick},
        {"btnMinus", "-", 80, &TfrmPowerFrame::btnMinusClick},
        {"btnAutoDetect", "Auto detect", 278, &TfrmPowerFrame::btnAutoDetectClick},
        {"btnPlus", "+", 79, &TfrmPowerFrame::btnPlusClick},
        {"btnPlusPlus", "+ +", 78, &TfrmPowerFrame::btnPlusPlusClick},
    };
    // The row is 593 pixels of buttons in a 589 pixel window: the last one keeps its width and
    // ends at the right edge.
    int x = 0;
    for (int i = 0; i < 5; ++i) {
        auto* btn = new QPushButton(QString::fromLatin1(defs[i].caption), this);
        btn->setObjectName(defs[i].name);
        btn->setAccessibleName(QString::fromLatin1(defs[i].caption));
        btn->setFont(Arial(13, false));
        btn->setFocusPolicy(Qt::TabFocus);
        const int left = i == 4 ? 589 - defs[i].width : x;
        btn->setGeometry(left, 179 - 42, defs[i].width, 42);
        x += defs[i].width;
        const auto click = defs[i].click;
        connect(btn, &QPushButton::clicked, this, [this, click] {
            if (logic_) (logic_.get()->*click)(this);
        });
        buttons_[i] = btn;
    }

    // Shown in the logo strip during the closing wait (the switch-off command and 1.5 s), while the
    // buttons are off, so the window does not look usable while it goes.
    lblClosing = new QLabel(QStringLiteral("Closing..."), this);
    lblClosing->setObjectName("lblClosing");
    lblClosing->setAccessibleName(QStringLiteral("Closing..."));
    lblClosing->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblClosing->setFont(Arial(13, true));
    lblClosing->setGeometry(589 - 170, 64 - 24, 160, 20);
    {
        QPalette pal = lblClosing->palette();
        pal.setColor(QPalette::WindowText, look::Grey());
        lblClosing->setPalette(pal);
    }
    lblClosing->hide();
}

void TfrmPowerFrameView::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
    setAccessibleName(QString::fromStdString(caption));
}

void TfrmPowerFrameView::ShowFrequency(double value) {
    adspFrequenzy->SetValue(value);
}

void TfrmPowerFrameView::ShowVoltage(double value) {
    adspCurrentVoltage->SetValue(value);
}

void TfrmPowerFrameView::SetButtonsEnabled(bool enabled) {
    for (auto* b : buttons_)
        b->setEnabled(enabled);
}

void TfrmPowerFrameView::ShowAnimation(bool running) {
    adspCurrentVoltage->setVisible(!running);
    pnlAnimationPanel->setVisible(running);
    gfanimProcess->SetAnimate(running);
}

void TfrmPowerFrameView::CloseWindow() {
    CloseWindowSoon();
}

void TfrmPowerFrameView::ShowClosing() {
    SetButtonsEnabled(false);
    lblClosing->show();
    lblClosing->raise();
    setAccessibleDescription(QStringLiteral("Closing..."));
}

std::unique_ptr<HostedScreen> CreatePowerScreen(const ScreenArgs& args) {
    return MakeScreen<TfrmPowerFrameView>(args);
}

TfrmPowerFrameView* PowerWindowOf(HostedScreen* screen) {
    return WindowOf<TfrmPowerFrameView>(screen);
}

} // namespace mirota
