#pragma once
// The values screen's Qt window: layout, colours and fonts; it forwards the user's actions to the
// logic (TfrmValuesFrame) and shows what the logic tells it.
#include "control/Screens.h"
#include "values/FrmValues.h"

#include <QWidget>

#include <array>
#include <filesystem>
#include <memory>

class QCheckBox;
class QPushButton;
class QGroupBox;
class QVBoxLayout;

namespace mirota {

class TiAnalogDisplay;
class TiXYPlot;

class TfrmValuesFrameView : public QWidget, public ValuesView, public HostedScreen {
    Q_OBJECT

public:
    // Builds the window and then the logic, which starts the device traffic.
    TfrmValuesFrameView(const ScreenArgs& args, std::filesystem::path cfgDir, TfrmValuesFrame::Clock clock = {});
    ~TfrmValuesFrameView() override;

    TfrmValuesFrame& Logic() { return *logic_; }
    TiXYPlot* PlotWidget() const { return xypltDisplayValues; }
    TiAnalogDisplay* Display(int i) const { return arrDisplays[i]; }
    QCheckBox* Box(int i) const { return arrBoxes[i]; }
    QWidget* Panel(int i) const { return arrPanels[i]; }
    QPushButton* Button(CommandButton b) const { return buttons_[static_cast<int>(b)]; }

    // ValuesView
    void SetCaption(const std::string& caption) override;
    void SetPanelVisible(int i, bool visible) override;
    void SetBoxCaption(int i, const std::string& caption) override;
    void ShowValue(int i, double value) override;
    void SetButtonEnabled(CommandButton b, bool enabled) override;
    void SetButtonPressed(CommandButton b, bool pressed) override;
    void PlotConfigurationChanged() override;
    void CloseWindow() override;

    // HostedScreen
    std::uint32_t Handle() const override;
    void Show() override;
    void Close() override;
    WindowState State() const override;
    void ShowNormal() override;
    void BringToForeground() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();

    std::array<QCheckBox*, 6> arrBoxes{};
    std::array<TiAnalogDisplay*, 6> arrDisplays{};
    std::array<QWidget*, 6> arrPanels{};
    std::array<QPushButton*, kCommandButtons> buttons_{};
    TiXYPlot* xypltDisplayValues = nullptr;
    QVBoxLayout* rightLayout_ = nullptr;
    std::unique_ptr<TfrmValuesFrame> logic_;
    bool constructing_ = true;
};

// The screen as the control screen creates it (cfg directory "_cfg" beside the program).
std::unique_ptr<HostedScreen> CreateValuesScreen(const ScreenArgs& args);

} // namespace mirota
