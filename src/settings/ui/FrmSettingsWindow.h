#pragma once
// The settings screen's Qt window (FrmSettings): navigation bar with the Save / Open image buttons, the
// grouped settings list, the busy panel and Apply / Cancel. It forwards the user's actions to the
// logic (TfrmSettingsFrame) and shows what the logic tells it.
#include "screen/ui/ScreenWindow.h"
#include "settings/FrmSettings.h"
#include "settings/SettingsView.h"

#include <QWidget>

#include <filesystem>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QHBoxLayout;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace mirota {

class TBusyAnimation;

class TfrmSettingsFrameView : public ScreenWindow<TfrmSettingsFrame>, public SettingsView {
    Q_OBJECT

public:
    // Builds the window and then the logic (catalogue); Show() starts the first read pass once the
    // window is up.
    TfrmSettingsFrameView(const ScreenArgs& args, std::filesystem::path cfgDir);
    ~TfrmSettingsFrameView() override;

    QTreeWidget* List() const { return lvDeviceSettings; }
    QWidget* BusyPanel() const { return pnlReadWrite; }
    QLabel* BusyCaption() const { return lblReadWrite; }
    QPushButton* ApplyButton() const { return btnApply; }
    QPushButton* CancelButton() const { return btnCancel; }
    QToolButton* SaveButton() const { return btnSave; }
    QToolButton* LoadButton() const { return btnLoad; }
    QLabel* SaveLabel() const { return lblSave; }
    QLabel* OpenLabel() const { return lblOpen; }
    QPushButton* CompareButton() const { return btnCompare; }
    QPushButton* ExportButton() const { return btnExport; }
    QCheckBox* DifferencesOnlySwitch() const { return chkDifferencesOnly; }
    QLabel* ComparisonLabel() const { return lblComparison; }
    // The list item of row i.
    QTreeWidgetItem* RowItem(int row) const;

    // SettingsView
    void ShowBusy(bool visible) override;
    void SetBusyText(const std::string& text) override;
    void SetApplyEnabled(bool enabled) override;
    void SetCancelEnabled(bool enabled) override;
    void ShowSaveLoad(bool visible) override;
    void ListRebuilt() override;
    void RowChanged(int row) override;
    int SelectedRow() const override;
    void CloseWindow() override;
    std::string SelectBox(const std::string& title, const std::string& prompt,
                          const std::vector<std::string>& choices) override;
    void MessageBox(const std::string& text, const std::string& caption, DialogKind icon) override;
    std::optional<std::string> SaveFileName(const std::string& proposed) override;
    std::optional<std::string> OpenFileName() override;
    void ComparisonChanged() override;
    std::optional<std::string> ExportFileName(const std::string& proposed) override;

    // Test hooks: what the dialogs return instead of being shown (unset: shown).
    std::function<std::string(const std::vector<std::string>&)> selectBoxHook;
    std::function<std::optional<std::string>(const std::string&)> saveNameHook;
    std::function<std::optional<std::string>()> openNameHook;
    std::function<std::optional<std::string>(const std::string&)> exportNameHook;
    std::function<void(const std::string&, const std::string&)> messageBoxHook;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void ResizeColumns();
    void ShowRow(int row);
    // Compare, export, the differences switch and the summary at the left of the bottom panel.
    void BuildToolsPanel(QHBoxLayout* bottomLayout);
    // The rows' difference marks, the summary and the filter, from the logic's comparison.
    void ShowComparison();
    void ApplyDifferencesFilter();

    QWidget* pnlNavigationPanel = nullptr;
    QToolButton* btnSave = nullptr;
    QToolButton* btnLoad = nullptr;
    QLabel* lblSave = nullptr;
    QLabel* lblOpen = nullptr;
    QTreeWidget* lvDeviceSettings = nullptr;
    QWidget* pnlReadWrite = nullptr;
    TBusyAnimation* gfanimProcces = nullptr;
    QLabel* lblReadWrite = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCompare = nullptr;
    QPushButton* btnExport = nullptr;
    QCheckBox* chkDifferencesOnly = nullptr;
    QLabel* lblComparison = nullptr;
    std::vector<QTreeWidgetItem*> rowItems_;
    bool updating_ = false;
};

// The modal selection dialog: a drop-down of choices with OK and Cancel, laid out like the input box.
// "-" unless closed with OK.
std::string ShowSelectBox(QWidget* parent, const std::string& title, const std::string& prompt,
                          const std::vector<std::string>& choices);

// The screen as the control screen creates it (cfg directory "_cfg" beside the program); its first
// read pass starts once it is shown.
std::unique_ptr<HostedScreen> CreateSettingsScreen(const ScreenArgs& args);

} // namespace mirota
