#pragma once
// The values screen's Qt window: layout, colours and fonts; it forwards the user's actions to the
// logic (TfrmValuesFrame) and shows what the logic tells it.
#include "screen/ui/ScreenWindow.h"
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

class TfrmValuesFrameView : public ScreenWindow<TfrmValuesFrame>, public ValuesView {
    Q_OBJECT

public:
    // Builds the window and then the logic; Show() starts the device traffic once the window is up.
    TfrmValuesFrameView(const ScreenArgs& args, std::filesystem::path cfgDir,
                        TfrmValuesFrame::Clock clock = {});
    ~TfrmValuesFrameView() override;

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();

    std::array<QCheckBox*, 6> arrBoxes{};
    std::array<TiAnalogDisplay*, 6> arrDisplays{};
    std::array<QWidget*, 6> arrPanels{};
    std::array<QPushButton*, kCommandButtons> buttons_{};
    TiXYPlot* xypltDisplayValues = nullptr;
    QVBoxLayout* rightLayout_ = nullptr;
};

// The screen as the control screen creates it (cfg directory "_cfg" beside the program).
std::unique_ptr<HostedScreen> CreateValuesScreen(const ScreenArgs& args);

} // namespace mirota
