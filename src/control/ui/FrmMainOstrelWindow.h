#pragma once
// The control screen's Qt window: layout, colours and fonts, forwarding events to the logic.
#include "control/FrmMainOstrel.h"
#include "control/MainOstrelView.h"

#include <QPixmap>
#include <QPushButton>
#include <QWidget>

#include <map>
#include <optional>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace mirota {

// A flat, transparent navigation button: icon, then the caption left-aligned; both change colour
// under the mouse. It never takes the keyboard focus.
class NavigationButton : public QPushButton {
    Q_OBJECT
public:
    NavigationButton(const QString& caption, QPixmap icon, QPixmap hoverIcon, QWidget* parent);
    bool Hovered() const { return hovered_; }

signals:
    void mouseEntered();
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap icon_, hoverIcon_;
    bool hovered_ = false;
};

// Where the control screen of the device on port `portNumber` opens in `area`: centred, moved by a
// small step down and right per port number (eight steps, then round again), so that the windows of
// two Ostrels never lie exactly on top of each other.
QPoint InstancePosition(const QRect& area, QSize frame, std::optional<int> portNumber);
inline constexpr int kInstanceStep = 24;

class TfrmMainOstrelWindow : public QWidget, public MainOstrelView {
    Q_OBJECT
public:
    explicit TfrmMainOstrelWindow(QWidget* parent = nullptr);
    ~TfrmMainOstrelWindow() override;
    void SetLogic(TfrmMainOstrelScreen* logic) { logic_ = logic; }

    // MainOstrelView
    void SetCaption(const std::string& caption) override;
    void SetNavigationButtonVisible(ScreenKind kind, bool visible) override;
    void BeginListUpdate() override;
    void EndListUpdate() override;
    void AddGroup(const std::string& header) override;
    void AddItem(int group, const std::string& text) override;
    void SetItemText(int item, const std::string& text) override;
    void SetInformation(const std::string& caption, const std::string& text) override;
    void ShowWindow() override;
    void HideWindow() override;
    void CloseWindow() override;
    WindowState State() const override;
    void ShowNormal() override;
    void BringToForeground() override;

    NavigationButton* Button(ScreenKind kind) const { return buttons_.at(kind); }

signals:
    // The window has closed and FormClose has run: Ostrel ends.
    void ended();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TfrmMainOstrelScreen* logic_ = nullptr;
    QLabel* imgLogo_ = nullptr;
    QTreeWidget* lvDeviceInformation_ = nullptr;
    QLabel* lblInformation_ = nullptr;
    QPlainTextEdit* mmoInformation_ = nullptr;
    std::map<ScreenKind, NavigationButton*> buttons_;
    std::vector<QTreeWidgetItem*> groups_;
    std::vector<QTreeWidgetItem*> items_;
    // Groups built during a list update; they join the list (painted empty until then) at its end.
    std::vector<QTreeWidgetItem*> pendingGroups_;
    bool listUpdating_ = false;
    bool centred_ = false;
    bool closeQueued_ = false;
};

} // namespace mirota
