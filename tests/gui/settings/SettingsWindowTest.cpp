// The settings window: what it shows after a read pass, the check rule through the list, Apply, the
// Save / Open buttons and closing, against a settings device under simulated time.
#include "../../support/FileDialogAnswer.h"
#include "../../support/WatchedBackend.h"
#include "../../unit/settings/SettingsFakes.h"
#include "devsim/DeviceSimulator.h"
#include "loop/SimulatedLoop.h"
#include "screen/ui/DialogFolder.h"
#include "settings/ui/FrmSettingsWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fstream>

#include <unistd.h>

namespace mirota {
namespace {

using namespace mirota::testing;

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // One folder per test process: ctest runs the cases side by side.
        cfg = std::filesystem::temp_directory_path() /
              ("settings-window-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(cfg);
        std::filesystem::create_directories(cfg);
        Write("SettingsCommands X.ini", "[Group A]\nRange=$101\nFilter=$103\n[Group B]\nUnit name=$122\n");
        Write("DisplayValues X.ini", "[Filter]\n0=1 Hz\n1=10 Hz\n2=100 Hz\n");
        Write("InfoConfiguration X.ini", "[Group A]\n1=Range info\n2=Filter info\n[Group B]\n1=Name info\n");
        Write("HiddenCommands.ini", "[Hidden]\nh1=$140\n");
        devsim::DeviceOptions options;
        options.Type = " X";
        options.CfgDir = cfg.string();
        device = std::make_unique<devsim::DeviceSimulator>(loop, options);
        device->Settings()["$101"] = "250";
        device->Settings()["$103"] = "2";
        device->Settings()["$122"] = "Bench A";
        device->Settings()["$140"] = "1.5";
        port = std::make_unique<TComPort>(loop, devsim::MakeSimulatedBackend(*device));
        port->Open();
    }
    void TearDown() override {
        window.reset();
        port.reset();
        device.reset();
        std::filesystem::remove_all(cfg);
    }
    void Write(const std::string& name, const std::string& text) { std::ofstream(cfg / name) << text; }
    void Open(int version) {
        window = std::make_unique<TfrmSettingsFrameView>(
            ScreenArgs{host, loop, dialogs, port.get(), "Mirota X", "SN42", version}, cfg);
        window->Logic().Start();
        loop.RunUntil([&] { return window->Logic().iCurrentState == 0; }, 60000);
        window->show();
        QApplication::processEvents();
    }
    QStringList RowTexts(int row) {
        QStringList t;
        for (int c = 0; c < 4; ++c)
            t << window->RowItem(row)->text(c);
        return t;
    }

    std::filesystem::path cfg;
    SimulatedLoop loop;
    FakeHost host;
    FakeDialogs dialogs{loop};
    std::unique_ptr<devsim::DeviceSimulator> device;
    std::unique_ptr<TComPort> port;
    std::unique_ptr<TfrmSettingsFrameView> window;
};

TEST_F(SettingsWindowTest, ShowsGroupsRowsAndColumnsAfterTheReadPass) {
    Open(31);
    EXPECT_EQ(window->windowTitle(), "Settings(SN42)");
    EXPECT_EQ(window->size(), QSize(659, 525));
    QTreeWidget* list = window->List();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "Group A");
    EXPECT_EQ(list->topLevelItem(1)->text(0), "Group B");
    EXPECT_EQ(list->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(list->topLevelItem(1)->childCount(), 1);
    EXPECT_EQ(list->headerItem()->text(0), "Description");
    EXPECT_EQ(list->headerItem()->text(1), "Current Value");
    EXPECT_EQ(list->headerItem()->text(2), "New Value");
    EXPECT_EQ(list->headerItem()->text(3), "Info");
    EXPECT_EQ(RowTexts(0), (QStringList{"Range", "250", "-", "Range info"}));
    EXPECT_EQ(RowTexts(1), (QStringList{"Filter", "100 Hz", "-", "Filter info"}));
    EXPECT_EQ(RowTexts(2), (QStringList{"Unit name", "Bench A", "-", "Name info"}));
    EXPECT_EQ(window->RowItem(0)->checkState(0), Qt::Unchecked);

    // Four equal columns over the list's width, the first with the remainder.
    const int width = list->viewport()->width();
    EXPECT_EQ(list->columnWidth(1), width / 4);
    EXPECT_EQ(list->columnWidth(3), width / 4);
    EXPECT_EQ(list->columnWidth(0), width / 4 + width % 4);
    window->resize(803, 525);
    QApplication::processEvents();
    EXPECT_EQ(list->columnWidth(0) + 3 * list->columnWidth(1), list->viewport()->width());

    EXPECT_FALSE(window->BusyPanel()->isVisible());
    EXPECT_TRUE(window->ApplyButton()->isEnabled());
    EXPECT_FALSE(window->CancelButton()->isEnabled());
    EXPECT_TRUE(window->SaveButton()->isVisible());
    EXPECT_TRUE(window->LoadButton()->isVisible());
    EXPECT_FALSE(window->SaveLabel()->isVisible());
    EXPECT_EQ(window->SaveButton()->accessibleName(), "Save configurations");
    EXPECT_EQ(window->LoadButton()->accessibleName(), "Open configurations");
    EXPECT_EQ(window->ApplyButton()->accessibleName(), "Apply");
    EXPECT_EQ(window->CancelButton()->accessibleName(), "Cancel");

    // Rows reach accessibility tools with their texts and check state.
    window->RowItem(1)->setText(2, "10 Hz");
    window->Logic().SetRowChecked(1, true); // refused: the logic's row still has no new value
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(table, nullptr);
    bool foundRow = false;
    for (int i = 0; i < table->childCount(); ++i) {
        QAccessibleInterface* cell = table->child(i);
        if (cell && cell->text(QAccessible::Name) == "Filter") {
            foundRow = true;
            EXPECT_FALSE(cell->state().checked);
            EXPECT_TRUE(cell->state().checkable);
        }
    }
    EXPECT_TRUE(foundRow);
}

TEST_F(SettingsWindowTest, SaveAndOpenOnlyFromFirmware30) {
    Open(29);
    EXPECT_FALSE(window->SaveButton()->isVisible());
    EXPECT_FALSE(window->LoadButton()->isVisible());
}

TEST_F(SettingsWindowTest, AHoverLabelNeverMovesTheButtons) {
    Open(31);
    const QPoint save = window->SaveButton()->pos();
    const QPoint open = window->LoadButton()->pos();
    for (QLabel* label : {window->SaveLabel(), window->OpenLabel()}) {
        label->show();
        QApplication::processEvents();
        EXPECT_EQ(window->SaveButton()->pos(), save) << label->objectName().toStdString();
        EXPECT_EQ(window->LoadButton()->pos(), open) << label->objectName().toStdString();
        EXPECT_FALSE(label->geometry().intersects(window->LoadButton()->geometry()));
        EXPECT_FALSE(label->geometry().intersects(window->SaveButton()->geometry()));
        label->hide();
    }
}

TEST_F(SettingsWindowTest, AMessageAskedWithoutTitleShowsAnEmptyTitle) {
    Open(31);
    QString title = "unset";
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        box->buttons().first()->click();
    });
    window->MessageBox(kSettingsNothingChecked, "", DialogKind::Information);
    // X11 shows the program's name for an empty title; a blank keeps it visibly empty.
    EXPECT_EQ(title, " ");
}

TEST(DialogFolder, StartsInDocumentsOrHomeAndFollowsTheFolderUsedLast) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString start = DialogFolder();
    EXPECT_TRUE(start == documents || start == QDir::homePath()) << start.toStdString();
    EXPECT_NE(start, QDir::currentPath());
    EXPECT_EQ(InDialogFolder("a.xml"), QDir(start).filePath("a.xml"));
    EXPECT_EQ(InDialogFolder("/abs/a.xml"), "/abs/a.xml");

    const std::filesystem::path used =
        std::filesystem::temp_directory_path() / ("dialog-folder-" + std::to_string(::getpid()));
    std::filesystem::create_directories(used);
    RememberDialogFolder(QString::fromStdString((used / "x.xml").string()));
    EXPECT_EQ(DialogFolder(), QString::fromStdString(used.string()));
    RememberDialogFolder(QString()); // a cancelled dialog changes nothing
    EXPECT_EQ(DialogFolder(), QString::fromStdString(used.string()));
    std::filesystem::remove_all(used);
    std::filesystem::current_path(before);
}

TEST_F(SettingsWindowTest, ExportListStartsInTheFolderUsedLastAndRemembersItsOwn) {
    Open(29);
    const std::filesystem::path used = cfg / "used", chosen = cfg / "chosen";
    std::filesystem::create_directories(used);
    std::filesystem::create_directories(chosen);
    RememberDialogFolder(QString::fromStdString((used / "saved.xml").string()));
    test::FileDialogSeen seen;
    test::AnswerNextFileDialog(seen, QString::fromStdString((chosen / "list.csv").string()));
    window->ExportButton()->click();
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.folder, QString::fromStdString(used.string()));
    EXPECT_EQ(seen.proposed, QString::fromStdString((used / "Mirota X_SN42_settings.csv").string()));
    EXPECT_TRUE(std::filesystem::exists(chosen / "list.csv"));
    EXPECT_EQ(DialogFolder(), QString::fromStdString(chosen.string()));
}

TEST_F(SettingsWindowTest, TheListForwardsChecksAndDoubleClicksUnderTheCheckRule) {
    Open(31);
    QTreeWidget* list = window->List();
    // A row without a new value does not stay checked.
    window->RowItem(0)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(window->RowItem(0)->checkState(0), Qt::Unchecked);

    // Input box: a changed text checks the row; the same text again leaves the check state alone.
    list->setCurrentItem(window->RowItem(0));
    dialogs.inputs = {std::string("300")};
    emit list->itemDoubleClicked(window->RowItem(0), 0);
    EXPECT_EQ(window->RowItem(0)->text(2), "300");
    EXPECT_EQ(window->RowItem(0)->checkState(0), Qt::Checked);
    window->RowItem(0)->setCheckState(0, Qt::Unchecked);
    dialogs.inputs = {std::string("300")};
    emit list->itemDoubleClicked(window->RowItem(0), 0);
    EXPECT_EQ(window->RowItem(0)->checkState(0), Qt::Unchecked);
    window->RowItem(0)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(window->RowItem(0)->checkState(0), Qt::Checked);
    dialogs.inputs = {std::nullopt}; // Abbrechen keeps the old text
    emit list->itemDoubleClicked(window->RowItem(0), 0);
    EXPECT_EQ(window->RowItem(0)->text(2), "300");
    EXPECT_EQ(window->RowItem(0)->checkState(0), Qt::Checked);

    // Selection dialog: a choice checks the row, cancelling clears the value and the check.
    std::vector<std::string> offered;
    std::string answer = "10 Hz";
    window->selectBoxHook = [&](const std::vector<std::string>& choices) {
        offered = choices;
        return answer;
    };
    list->setCurrentItem(window->RowItem(1));
    emit list->itemDoubleClicked(window->RowItem(1), 0);
    EXPECT_EQ(offered, (std::vector<std::string>{"1 Hz", "10 Hz", "100 Hz"}));
    EXPECT_EQ(window->RowItem(1)->text(2), "10 Hz");
    EXPECT_EQ(window->RowItem(1)->checkState(0), Qt::Checked);
    answer = kSettingsNoValue;
    emit list->itemDoubleClicked(window->RowItem(1), 0);
    EXPECT_EQ(window->RowItem(1)->text(2), "-");
    EXPECT_EQ(window->RowItem(1)->checkState(0), Qt::Unchecked);

    // A group header is no row.
    list->setCurrentItem(list->topLevelItem(0));
    emit list->itemDoubleClicked(list->topLevelItem(0), 0);
    EXPECT_TRUE(dialogs.inputs.empty());
}

TEST_F(SettingsWindowTest, ReturnOnTheSelectedRowActsAsADoubleClick) {
    Open(31);
    QTreeWidget* list = window->List();
    list->setFocus();
    int selectBoxes = 0;
    window->selectBoxHook = [&](const std::vector<std::string>&) {
        ++selectBoxes;
        return std::string("10 Hz");
    };
    dialogs.input = std::string("300");
    struct Case {
        const char* name;
        QTreeWidgetItem* current; // nullptr: none
        Qt::Key key;
        bool busy;
        std::size_t expInputBoxes;
        int expSelectBoxes;
    } cases[] = {
        {"no row selected", nullptr, Qt::Key_Return, false, 0, 0},
        {"Return on a row without choices", window->RowItem(0), Qt::Key_Return, false, 1, 0},
        {"Enter of the keypad on a row with choices", window->RowItem(1), Qt::Key_Enter, false, 0, 1},
        {"a group header", list->topLevelItem(1), Qt::Key_Return, false, 0, 0},
        {"another key", window->RowItem(0), Qt::Key_Right, false, 0, 0},
        {"while the busy panel covers the list", window->RowItem(0), Qt::Key_Return, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        list->clearSelection();
        list->setCurrentItem(c.current);
        window->ShowBusy(c.busy);
        dialogs.Clear();
        selectBoxes = 0;
        QKeyEvent press(QEvent::KeyPress, c.key,
                        c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QApplication::sendEvent(list, &press);
        window->ShowBusy(false);
        EXPECT_EQ(dialogs.inputPrompts.size(), c.expInputBoxes);
        EXPECT_EQ(selectBoxes, c.expSelectBoxes);
    }
    // What the double click does: the new value is shown and the row checked.
    EXPECT_EQ(window->RowItem(0)->text(2), "300");
    EXPECT_EQ(window->RowItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(window->RowItem(1)->text(2), "10 Hz");
}

TEST_F(SettingsWindowTest, ApplyWritesAndTheListShowsTheValuesReadAfterwards) {
    Open(31);
    window->List()->setCurrentItem(window->RowItem(2));
    dialogs.inputs = {std::string("Bench B")};
    emit window->List()->itemDoubleClicked(window->RowItem(2), 0);
    bool sawBusy = false;
    loop.StartTimer(
        700,
        [&] {
            sawBusy = window->BusyPanel()->isVisibleTo(window.get()) &&
                      window->BusyCaption()->text() == "Set new value: Unit name" &&
                      !window->ApplyButton()->isEnabled() && window->CancelButton()->isEnabled();
        },
        false);
    window->ApplyButton()->click();
    EXPECT_TRUE(sawBusy);
    EXPECT_EQ(RowTexts(2), (QStringList{"Unit name", "Bench B", "-", "Name info"}));
    EXPECT_EQ(window->RowItem(2)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(device->Settings()["$122"], "Bench B");
}

TEST_F(SettingsWindowTest, SavedFileLoadsBackIntoTheNewValueColumn) {
    Open(31);
    const std::string file = (cfg / "saved").string();
    std::string proposed;
    window->saveNameHook = [&](const std::string& p) {
        proposed = p;
        return std::optional<std::string>(file);
    };
    window->SaveButton()->click();
    EXPECT_EQ(proposed.rfind("Mirota X_SN42_", 0), 0u) << proposed;
    ASSERT_TRUE(std::filesystem::exists(file + ".xml"));

    window->openNameHook = [&] { return std::optional<std::string>(file + ".xml"); };
    window->LoadButton()->click();
    EXPECT_EQ(RowTexts(1), (QStringList{"Filter", "100 Hz", "100 Hz", "Filter info"}));
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(window->RowItem(r)->checkState(0), Qt::Checked) << r;
    EXPECT_EQ(window->Logic().slHiddenNValues, std::vector<std::string>{"1.5"});
}

TEST_F(SettingsWindowTest, ClosingIsRefusedWhileAPassRuns) {
    Open(31);
    dialogs.answers = {DialogResult::No};
    bool closedDuringPass = true;
    window->List()->setCurrentItem(window->RowItem(0));
    dialogs.inputs = {std::string("1")};
    emit window->List()->itemDoubleClicked(window->RowItem(0), 0);
    loop.StartTimer(
        600, [&] { closedDuringPass = window->close(); }, false);
    window->ApplyButton()->click();
    EXPECT_FALSE(closedDuringPass);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(host.closings.empty());
    EXPECT_TRUE(window->close());
    EXPECT_EQ(host.closings, std::vector<bool>{false});
}

TEST_F(SettingsWindowTest, TheWindowAndItsBusyPanelAreOnTheScreenBeforeTheFirstReadGoesOut) {
    struct AtFirstByte {
        bool seen = false, windowVisible = false, busyVisible = false;
        std::string busyText;
    } first;
    TfrmSettingsFrameView* shown = nullptr;
    TComPort watched(loop, std::make_unique<WatchedBackend>(
                               devsim::MakeSimulatedBackend(*device), [&](const char*, std::size_t) {
                                   if (first.seen || !shown) return;
                                   first.seen = true;
                                   first.windowVisible = shown->isVisible();
                                   first.busyVisible = shown->BusyPanel()->isVisible();
                                   first.busyText = shown->BusyCaption()->text().toStdString();
                               }));
    watched.Open();
    window = std::make_unique<TfrmSettingsFrameView>(
        ScreenArgs{host, loop, dialogs, &watched, "Mirota X", "SN42", 31}, cfg);
    shown = window.get();
    window->Show();
    EXPECT_TRUE(device->ReceivedText().empty()); // the pass starts from the event loop
    QApplication::processEvents();
    ASSERT_TRUE(first.seen);
    EXPECT_TRUE(first.windowVisible);
    EXPECT_TRUE(first.busyVisible);
    EXPECT_EQ(first.busyText, "Read current value of: Range");
    ASSERT_TRUE(loop.RunUntil([&] { return window->Logic().iCurrentState == 0; }, 60000));
    EXPECT_FALSE(window->BusyPanel()->isVisible());
    window->Logic().Detach();
    window.reset();
}

TEST_F(SettingsWindowTest, TheScreenHandedToTheControlScreenReleasesItsWindowAfterwards) {
    // The factory reads the catalogue beside the program (the shipped DMS catalogue).
    devsim::DeviceOptions options;
    options.CfgDir =
        (std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "_cfg").string();
    ASSERT_TRUE(std::filesystem::exists(options.CfgDir)) << options.CfgDir;
    devsim::DeviceSimulator dms(loop, options);
    TComPort dmsPort(loop, devsim::MakeSimulatedBackend(dms));
    dmsPort.Open();
    std::unique_ptr<HostedScreen> screen =
        CreateSettingsScreen(ScreenArgs{host, loop, dialogs, &dmsPort, "Mirota DMS", "SN7", 31});
    QPointer<QWidget> widget;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmSettingsFrame") widget = w;
    ASSERT_TRUE(widget);
    EXPECT_EQ(widget->windowTitle(), "Settings(SN7)");
    EXPECT_TRUE(dms.ReceivedText().empty()); // the first read pass starts once the window is shown
    screen->Show();
    QApplication::processEvents();
    ASSERT_TRUE(
        loop.RunUntil([&] { return !dms.ReceivedText().empty() && dms.ReceivedText().back() == '\x1b'; }));
    loop.RunFor(20000);
    screen->Show();
    EXPECT_EQ(screen->Handle(), static_cast<std::uint32_t>(widget->winId()));
    screen->Close();
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    screen.reset();
    EXPECT_TRUE(widget) << "deleted later, not inside the control screen's call";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(widget);
    // Nothing reaches the device any more.
    dms.ClearReceived();
    loop.RunFor(20000);
    EXPECT_TRUE(dms.ReceivedText().empty());
}

// ---------------------------------------------------------------------------------------------------
// Comparison with a file and the list export

// The accessible cell of the list whose name is `name` (column 0 of a row).
QAccessibleInterface* CellNamed(QTreeWidget* list, const QString& name) {
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(list);
    for (int i = 0; table && i < table->childCount(); ++i) {
        QAccessibleInterface* cell = table->child(i);
        if (cell && cell->text(QAccessible::Name) == name) return cell;
    }
    return nullptr;
}

TEST_F(SettingsWindowTest, CompareMarksRowsSummarisesAndFiltersWithoutWriting) {
    Open(31);
    QPushButton* compare = window->CompareButton();
    ASSERT_NE(compare, nullptr);
    EXPECT_TRUE(compare->isVisible());
    EXPECT_TRUE(compare->isEnabled());
    EXPECT_EQ(compare->accessibleName(), "Compare with file...");
    EXPECT_FALSE(window->DifferencesOnlySwitch()->isEnabled()); // nothing compared yet
    EXPECT_EQ(window->DifferencesOnlySwitch()->accessibleName(), "Show only differences");
    EXPECT_TRUE(window->ComparisonLabel()->text().isEmpty());

    // Device: 250, "100 Hz", "Bench A". "250.0" is the same number.
    const std::string file = (cfg / "cmp.xml").string();
    std::ofstream(file) << "<conf vtype=\" X\"><G0><V0>250.0</V0><V1>10 Hz</V1></G0>"
                           "<G1><V2>Bench B</V2></G1><H/></conf>";
    window->openNameHook = [&] { return std::optional<std::string>(file); };
    device->ClearReceived();
    compare->click();
    EXPECT_EQ(window->ComparisonLabel()->text(), "2 of 3 settings differ");
    EXPECT_EQ(window->ComparisonLabel()->accessibleDescription(), "2 of 3 settings differ");
    EXPECT_EQ(RowTexts(1), (QStringList{"Filter", "100 Hz", "-", "Filter info"})); // no new value
    EXPECT_EQ(window->RowItem(1)->checkState(0), Qt::Unchecked);
    loop.RunFor(200);
    EXPECT_TRUE(device->ReceivedText().empty());

    // The marks: a colour, and a description that accessibility tools read.
    EXPECT_TRUE(window->RowItem(1)->background(1).style() != Qt::NoBrush);
    EXPECT_TRUE(window->RowItem(0)->background(1).style() == Qt::NoBrush);
    QAccessibleInterface* filter = CellNamed(window->List(), "Filter");
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->text(QAccessible::Description), "differs from file: 10 Hz");
    QAccessibleInterface* range = CellNamed(window->List(), "Range");
    ASSERT_NE(range, nullptr);
    EXPECT_TRUE(range->text(QAccessible::Description).isEmpty());

    // The switch shows only the differing rows and hides a group without one.
    QCheckBox* only = window->DifferencesOnlySwitch();
    ASSERT_TRUE(only->isEnabled());
    only->setChecked(true);
    EXPECT_TRUE(window->RowItem(0)->isHidden());
    EXPECT_FALSE(window->RowItem(1)->isHidden());
    EXPECT_FALSE(window->RowItem(2)->isHidden());
    std::ofstream(file, std::ios::trunc) << "<conf vtype=\" X\"><G0><V0>250</V0><V1>1 Hz</V1></G0></conf>";
    compare->click();
    EXPECT_EQ(window->ComparisonLabel()->text(), "1 of 2 settings differ");
    EXPECT_TRUE(window->RowItem(2)->isHidden());
    EXPECT_TRUE(window->List()->topLevelItem(1)->isHidden());
    EXPECT_FALSE(window->List()->topLevelItem(0)->isHidden());
    only->setChecked(false);
    for (int r = 0; r < 3; ++r)
        EXPECT_FALSE(window->RowItem(r)->isHidden()) << r;
    EXPECT_FALSE(window->List()->topLevelItem(1)->isHidden());
}

// The tooltip the list shows over `column` of `item` (empty: none), without the break opportunities
// added for showing; `width` receives the tip's width. A tooltip hides only after a while: whether one
// was shown for this request is told by the request being taken.
QString TooltipAt(QTreeWidget* list, QTreeWidgetItem* item, int column, int* width = nullptr) {
    const QRect cell = list->visualItemRect(item);
    const QPoint pos(list->header()->sectionViewportPosition(column) + list->columnWidth(column) - 5,
                     cell.center().y());
    QHelpEvent help(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &help);
    QString text = help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
    if (width) {
        *width = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->inherits("QTipLabel") && w->isVisible()) *width = w->width();
    }
    QToolTip::hideText();
    return text.remove(QChar(0x200B));
}

TEST_F(SettingsWindowTest, CutOffCellsShowTheirFullTextBesideTheComparisonsTooltip) {
    Write("InfoConfiguration X.ini", "[Group A]\n1=Range info\n2=The filter smooths the measured values "
                                     "before they are sent\n[Group B]\n1=Name info\n");
    Open(31);
    const std::string file = (cfg / "cmp.xml").string();
    std::ofstream(file) << "<conf vtype=\" X\"><G0><V0>250</V0><V1>10 Hz</V1></G0>"
                           "<G1><V2>Bench A</V2></G1><H/></conf>";
    window->openNameHook = [&] { return std::optional<std::string>(file); };
    window->CompareButton()->click();
    QTreeWidget* list = window->List();
    QApplication::processEvents();
    const QString longInfo = "The filter smooths the measured values before they are sent";
    struct Case {
        const char* name;
        QTreeWidgetItem* item;
        int column;
        int width; // 0: as laid out
        QString expected;
    } cases[] = {
        {"a text that fits", window->RowItem(0), 3, 0, ""},
        {"a cut-off text", window->RowItem(1), 3, 0, longInfo},
        {"a cut-off short text", window->RowItem(0), 3, 20, "Range info"},
        {"the comparison where the text fits", window->RowItem(1), 1, 0, "differs from file: 10 Hz"},
        {"both where the text is cut off", window->RowItem(1), 1, 20, "100 Hz\ndiffers from file: 10 Hz"},
        {"a cut-off description beside the check box", window->RowItem(2), 0, 60, "Unit name"},
        {"a group header", list->topLevelItem(0), 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int before = list->columnWidth(c.column);
        if (c.width) list->setColumnWidth(c.column, c.width);
        QApplication::processEvents();
        EXPECT_EQ(TooltipAt(list, c.item, c.column), c.expected);
        list->setColumnWidth(c.column, before);
    }
}

TEST_F(SettingsWindowTest, HugeTextsAreShownShortAndKeptWhole) {
    // An info line of 6 MB of two-byte letters (the cut falls inside one) and a configuration value of
    // 3 MB: only a short part may reach the text layout, the value itself stays whole.
    std::string info = "a";
    for (int i = 0; i < 3 * 1024 * 1024; ++i)
        info += "\xC3\xA4"; // ä
    Write("InfoConfiguration X.ini",
          "\xEF\xBB\xBF[Group A]\n1=" + info + "\n2=Filter info\n[Group B]\n1=Name info\n");
    const std::string value(3 * 1024 * 1024, 'x');
    const std::string file = (cfg / "huge.xml").string();
    std::ofstream(file) << "<conf vtype=\" X\"><G0><V0>250</V0><V1>100 Hz</V1></G0><G1><V2>" << value
                        << "</V2></G1><H/></conf>";
    Open(31);
    window->openNameHook = [&] { return std::optional<std::string>(file); };
    window->LoadButton()->click();
    ASSERT_EQ(window->Logic().Rows()[2].NewValue.size(), value.size());
    EXPECT_TRUE(window->Logic().Rows()[2].NewValue == value);
    window->List()->viewport()->repaint(); // laid out and painted at once

    const QString ellipsis(QChar(0x2026));
    const QString differs = window->RowItem(2)->data(1, Qt::AccessibleDescriptionRole).toString();
    int infoTipWidth = 0, valueTipWidth = 0;
    struct Shown {
        const char* name;
        QString text;
    } shown[] = {
        {"the info", window->RowItem(0)->text(3)},
        {"the new value", window->RowItem(2)->text(2)},
        {"the comparison", differs},
        {"the comparison's tooltip", window->RowItem(2)->toolTip(1)},
        {"the info's tooltip", TooltipAt(window->List(), window->RowItem(0), 3, &infoTipWidth)},
        {"the new value's tooltip", TooltipAt(window->List(), window->RowItem(2), 2, &valueTipWidth)},
    };
    for (const Shown& s : shown) {
        SCOPED_TRACE(s.name);
        EXPECT_GT(s.text.size(), 100);
        EXPECT_LE(s.text.toUtf8().size(), 2003); // 2000 bytes and the ellipsis
        EXPECT_TRUE(s.text.endsWith(ellipsis));
        EXPECT_FALSE(s.text.contains(QChar::ReplacementCharacter)) << "cut inside a letter";
    }
    EXPECT_TRUE(window->RowItem(0)->text(3).startsWith(QString::fromUtf8("a\xC3\xA4\xC3\xA4")));
    EXPECT_TRUE(differs.startsWith("differs from file: xxx"));
    // The tips stay on the screen although the value has no blank to wrap at.
    const int screenWidth = window->screen()->geometry().width();
    EXPECT_GT(infoTipWidth, 0);
    EXPECT_LE(infoTipWidth, screenWidth);
    EXPECT_GT(valueTipWidth, 0);
    EXPECT_LE(valueTipWidth, screenWidth);
    QAccessibleInterface* cell = CellNamed(window->List(), "Unit name");
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Description), differs);
}

TEST(SelectBox, ShowsAHugeChoiceShortAndReturnsItWhole) {
    const std::string huge(3 * 1024 * 1024, 'z');
    QString shown;
    QTimer::singleShot(50, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (auto* combo = dialog->findChild<QComboBox*>()) {
            combo->setCurrentIndex(1);
            shown = combo->currentText();
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
    const std::string chosen =
        ShowSelectBox(nullptr, "New value...", "Please select a new value", {"1 Hz", huge});
    EXPECT_EQ(chosen.size(), huge.size());
    EXPECT_TRUE(chosen == huge);
    EXPECT_TRUE(shown.startsWith("zzz"));
    EXPECT_LE(shown.size(), 2001);
}

TEST_F(SettingsWindowTest, OpenConfigurationsLoadsAsBeforeAndMarksTheDifferences) {
    Open(31);
    const std::string file = (cfg / "load.xml").string();
    std::ofstream(file)
        << "<conf vtype=\" X\"><G0><V0>300</V0><V1>100 Hz</V1><V2>Bench A</V2></G0><H/></conf>";
    window->openNameHook = [&] { return std::optional<std::string>(file); };
    window->LoadButton()->click();
    EXPECT_EQ(RowTexts(0), (QStringList{"Range", "250", "300", "Range info"}));
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(window->RowItem(r)->checkState(0), Qt::Checked) << r;
    EXPECT_EQ(window->ComparisonLabel()->text(), "1 of 3 settings differ");
    EXPECT_EQ(window->RowItem(0)->data(0, Qt::AccessibleDescriptionRole).toString(),
              "differs from file: 300");
}

TEST_F(SettingsWindowTest, CompareOnlyFromFirmware30ExportAlways) {
    Open(29);
    EXPECT_FALSE(window->CompareButton()->isVisible());
    QPushButton* exportButton = window->ExportButton();
    EXPECT_TRUE(exportButton->isVisible());
    EXPECT_TRUE(exportButton->isEnabled());
    EXPECT_EQ(exportButton->accessibleName(), "Export list...");
    std::string proposed;
    window->exportNameHook = [&](const std::string& p) {
        proposed = p;
        return std::optional<std::string>((cfg / "list.csv").string());
    };
    exportButton->click();
    EXPECT_EQ(proposed, "Mirota X_SN42_settings.csv");
    std::ifstream in(cfg / "list.csv", std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(csv.rfind("Section,Description,Current Value,Info\r\nGroup A,Range,250,Range info\r\n", 0), 0u)
        << csv;
}

} // namespace
} // namespace mirota

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); // file dialogs the tests can answer
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
