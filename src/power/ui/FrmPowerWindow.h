#pragma once
// The power screen's Qt window: logo strip, the "FREQUENZY" and "VOLTAGE" headers, the two numeric
// displays with the busy animation over the voltage, and the five buttons; fixed client size
// 589 x 179. It forwards the buttons and closing to the logic (TfrmPowerFrame).
#include "power/FrmPowerSettings.h"
#include "screen/ui/ScreenWindow.h"

#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class QPushButton;
class QTimer;

namespace mirota {

class TiAnalogDisplay;

// gfanimProcess: a small rotating busy indicator.
class TGifAnimation : public QWidget {
    Q_OBJECT

public:
    explicit TGifAnimation(QWidget* parent = nullptr);
    bool Animate() const;
    void SetAnimate(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* timer_;
    int step_ = 0;
};

class TfrmPowerFrameView : public ScreenWindow<TfrmPowerFrame>, public PowerFrameView {
    Q_OBJECT

public:
    enum Button { MinusMinus, Minus, AutoDetect, Plus, PlusPlus };

    // Builds the window and then the logic; Show() starts the device traffic once the window is up.
    explicit TfrmPowerFrameView(const ScreenArgs& args);
    ~TfrmPowerFrameView() override;

    TiAnalogDisplay* Frequency() const { return adspFrequenzy; }
    TiAnalogDisplay* Voltage() const { return adspCurrentVoltage; }
    QWidget* AnimationPanel() const { return pnlAnimationPanel; }
    TGifAnimation* Animation() const { return gfanimProcess; }
    QPushButton* ButtonAt(Button b) const { return buttons_[b]; }

    // PowerFrameView
    void SetCaption(const std::string& caption) override;
    void ShowFrequency(double value) override;
    void ShowVoltage(double value) override;
    void SetButtonsEnabled(bool enabled) override;
    void ShowAnimation(bool running) override;
    void CloseWindow() override;
    void ShowClosing() override;
    // "Closing..." over the buttons during the closing wait; hidden otherwise.
    QLabel* ClosingText() const { return lblClosing; }

private:
    void BuildLayout();

    TiAnalogDisplay* adspFrequenzy = nullptr;
    TiAnalogDisplay* adspCurrentVoltage = nullptr;
    QWidget* pnlAnimationPanel = nullptr;
    TGifAnimation* gfanimProcess = nullptr;
    std::array<QPushButton*, 5> buttons_{};
    QLabel* lblClosing = nullptr;
};

// The screen as the control screen holds it: destroying it lets the screen go at once and deletes
// the window once none of its handlers runs.
std::unique_ptr<HostedScreen> CreatePowerScreen(const ScreenArgs& args);
// The window behind a screen made by CreatePowerScreen (tests, tools); null for anything else.
TfrmPowerFrameView* PowerWindowOf(HostedScreen* screen);

} // namespace mirota
