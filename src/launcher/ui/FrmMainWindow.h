#pragma once
// Pravik's main window on Qt Widgets: the navigation strip with the About button, the "Devices" group
// with the list view. It shows what the logic (TFRM_Main) tells it and forwards the user's actions and
// the application's activation changes to it.
#include "launcher/FrmMain.h"

#include <QWidget>

class QLabel;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QGroupBox;
class QFrame;

namespace mirota {

class TFRM_MainWindow : public QWidget, public FrmMainView, private ForegroundWindow {
    Q_OBJECT
public:
    // launcherPath, ostrelPath: the files whose versions the about box shows.
    TFRM_MainWindow(std::string launcherPath, std::string ostrelPath, QWidget* parent = nullptr);
    ~TFRM_MainWindow() override;

    // The logic the window forwards to; set once before the window is shown.
    void SetLogic(TFRM_Main* logic);

    // FrmMainView
    void BeginUpdate() override;
    void EndUpdate() override;
    void AddRow(const TDeviceRow& row) override;
    void DeleteRow(int index) override;
    void SetRowState(int index, const std::u16string& state) override;
    int SelectedRow() const override;
    void ShowAboutLabel(bool visible) override;
    void ShowAboutBox() override;
    void ShowError(const std::string& text) override;
    std::optional<WindowHandle> ForegroundWindowHandle() const override;
    WindowHandle NativeHandle() const override;
    ForegroundWindow& MainWindow() override { return *this; }

    QTreeWidget* DeviceList() const { return lvDeviceList; }
    QToolButton* InformationButton() const { return btnInformation; }
    QLabel* AboutLabel() const { return lblAboutLable; }
    // Shown instead of nothing while the list holds no device.
    QLabel* NoDevicesLabel() const { return lblNoDevices; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ForegroundWindow, for BringToForeground of the launcher itself.
    bool IsMinimized() const override;
    void Restore() override;
    bool IsForeground() const override;
    void RaiseAndActivate() override;

    void ApplicationStateChanged(Qt::ApplicationState state);
    void AutoSizeColumns();
    void UpdateNoDevicesText();

    std::string FLauncherPath;
    std::string FOstrelPath;
    TFRM_Main* FLogic = nullptr;
    int FUpdateDepth = 0;
    bool bRestoringSelf = false;
    bool bActive = false;

    QFrame* pnlNavigationPanel;
    QFrame* pnlTopPanel;
    QLabel* imgCompanyImage;
    QFrame* pnlNavigationGroup;
    QFrame* flwpnlNavigationBar;
    QFrame* flwpnlNavigationBarRight;
    QToolButton* btnInformation;
    QLabel* lblAboutLable;
    QGroupBox* grpDeviceBox;
    QTreeWidget* lvDeviceList;
    QLabel* lblNoDevices;
};

} // namespace mirota
