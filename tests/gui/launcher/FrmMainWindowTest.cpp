// Pravik's Qt window under the offscreen platform: what it shows, what it tells assistive tools, and
// that it forwards the user's actions to the logic.
#include "launcher/ui/FrmMainWindow.h"
#include "PravikFakes.h"
#include "launcher/FrmMainStart.h"
#include "launcher/ui/FrmAboutDialog.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

namespace mirota::test {
namespace {

std::string OwnPath() {
    return ProgramDirectory() + MIROTA_TEST_PROGRAM_NAME;
}

class PravikWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "pravik_window_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override {
        window.SetLogic(&frm);
        source.devices = {Device(u"FT4M7Q01", u"Mirota MX 4", PortName(0)),
                          Device(u"FTX9T2LB", u"USB Serial Converter", PortName(1))};
        frm.FormCreate();
        window.show();
        QApplication::processEvents();
    }
    void TearDown() override { window.SetLogic(nullptr); }

    QStringList RowTexts(int row) const {
        QStringList texts;
        QTreeWidgetItem* item = window.DeviceList()->topLevelItem(row);
        for (int c = 0; c < 4; ++c)
            texts << item->text(c);
        return texts;
    }

    FakeSource source;
    FakeStarter starter;
    FakeEndpoint endpoint;
    SimulatedLoop loop;
    TFRM_MainWindow window{OwnPath(), "/nonexistent/ostrel"};
    TFRM_Main frm{window, source, starter, endpoint, loop};
};

TEST_F(PravikWindowTest, LayoutAndRows) {
    EXPECT_EQ(window.windowTitle(), "Pravik");
    EXPECT_EQ(window.size(), QSize(659, 504));
    auto* group = window.findChild<QGroupBox*>("grpDeviceBox");
    ASSERT_TRUE(group);
    EXPECT_EQ(group->title(), "Devices");
    QTreeWidget* list = window.DeviceList();
    QStringList headers;
    for (int c = 0; c < list->columnCount(); ++c)
        headers << list->headerItem()->text(c);
    EXPECT_EQ(headers, (QStringList{"Serial No", "Device Description", "Port", "State"}));
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(RowTexts(0),
              (QStringList{"FT4M7Q01", "Mirota MX 4", QString::fromStdU16String(PortName(0)), "Closed"}));
    EXPECT_EQ(RowTexts(1), (QStringList{"FTX9T2LB", "USB Serial Converter",
                                        QString::fromStdU16String(PortName(1)), "Closed"}));
    // Every column is wide enough for its longest text.
    for (int c = 0; c < 4; ++c)
        EXPECT_GE(list->columnWidth(c), list->fontMetrics().horizontalAdvance(RowTexts(1)[c]));
}

TEST_F(PravikWindowTest, RowsFollowTheLogic) {
    window.DeviceList()->topLevelItem(0)->setSelected(true);
    frm.lvDeviceListDblClick();
    frm.HandleMessage({WM_CONTROL_OPENED, 0, 501, false});
    EXPECT_EQ(RowTexts(0)[3], "Open");
    source.devices = {Device(u"FT4M7Q01", u"Mirota MX 4", PortName(0)),
                      Device(u"FTNEW", u"Mirota TMS", PortName(2))};
    frm.DoUSBArrival();
    ASSERT_EQ(window.DeviceList()->topLevelItemCount(), 2);
    EXPECT_EQ(RowTexts(0),
              (QStringList{"FT4M7Q01", "Mirota MX 4", QString::fromStdU16String(PortName(0)), "Open"}));
    EXPECT_EQ(RowTexts(1),
              (QStringList{"FTNEW", "Mirota TMS", QString::fromStdU16String(PortName(2)), "Closed"}));
    EXPECT_TRUE(window.DeviceList()->updatesEnabled());
}

TEST_F(PravikWindowTest, AnEmptyListSaysNoAdapterIsAttached) {
    QLabel* empty = window.NoDevicesLabel();
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->isVisible());
    source.devices = {};
    frm.DoUSBRemove();
    ASSERT_EQ(window.DeviceList()->topLevelItemCount(), 0);
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->text(), "No FTDI adapter attached");
    QAccessibleInterface* text = QAccessible::queryAccessibleInterface(empty);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text(QAccessible::Name), "No FTDI adapter attached");
    EXPECT_FALSE(text->state().invisible);
    source.devices = {Device(u"FTNEW", u"Mirota TMS", PortName(2))};
    frm.DoUSBArrival();
    EXPECT_EQ(window.DeviceList()->topLevelItemCount(), 1);
    EXPECT_FALSE(empty->isVisible());
}

TEST_F(PravikWindowTest, AccessibleRowsAndButton) {
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window.DeviceList());
    ASSERT_TRUE(list);
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->columnCount(), 4);
    QStringList cells;
    for (int c = 0; c < 4; ++c)
        cells << table->cellAt(1, c)->text(QAccessible::Name);
    EXPECT_EQ(cells, (QStringList{"FTX9T2LB", "USB Serial Converter", QString::fromStdU16String(PortName(1)),
                                  "Closed"}));
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(window.InformationButton());
    ASSERT_TRUE(button);
    EXPECT_EQ(button->text(QAccessible::Name), "About");
    EXPECT_EQ(button->role(), QAccessible::Button);
}

TEST_F(PravikWindowTest, DoubleClickStartsTheSelectedRowsOstrel) {
    QTreeWidget* list = window.DeviceList();
    QTreeWidgetItem* item = list->topLevelItem(1);
    list->setCurrentItem(item);
    emit list->itemDoubleClicked(item, 0);
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].Port, PortName(1));
    EXPECT_EQ(starter.started[0].Description, u"USB Serial Converter");
    EXPECT_EQ(starter.started[0].Serial, u"FTX9T2LB");
}

TEST_F(PravikWindowTest, ReturnOpensTheSelectedRowLikeADoubleClick) {
    QTreeWidget* list = window.DeviceList();
    EXPECT_EQ(window.focusWidget(), list); // the keys reach the list without a click first
    struct Case {
        const char* name;
        int selected; // -1: none
        Qt::Key key;
        std::size_t expStarted;
    } cases[] = {
        {"no row selected", -1, Qt::Key_Return, 0},
        {"Return", 1, Qt::Key_Return, 1},
        {"Enter of the keypad", 0, Qt::Key_Enter, 1},
        {"another key", 1, Qt::Key_Space, 0},
    };
    // Each row is started once at most (a second start of a port only brings its Ostrel forward).
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        list->clearSelection();
        if (c.selected >= 0) list->setCurrentItem(list->topLevelItem(c.selected));
        const std::size_t before = starter.started.size();
        QKeyEvent press(QEvent::KeyPress, c.key,
                        c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QApplication::sendEvent(list, &press);
        ASSERT_EQ(starter.started.size() - before, c.expStarted);
        if (c.expStarted) {
            EXPECT_EQ(starter.started.back().Port, c.selected == 1 ? u"ttyUSB1" : u"ttyUSB0");
        }
    }
}

TEST_F(PravikWindowTest, TheRowThatTakesTheKeyboardFocusIsSelectedSoReturnOpensIt) {
    QTreeWidget* list = window.DeviceList();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(list->hasFocus());
    ASSERT_EQ(list->currentItem(), list->topLevelItem(0));
    EXPECT_TRUE(list->currentItem()->isSelected());
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].Port, PortName(0));
}

TEST_F(PravikWindowTest, CutOffCellsShowTheirFullTextAsTooltip) {
    QTreeWidget* list = window.DeviceList();
    list->setColumnWidth(1, 30); // "USB Serial Converter" no longer fits; "FTX9T2LB" still does
    QApplication::processEvents();
    const auto tooltipAt = [&](int column) {
        QToolTip::hideText();
        const QRect cell = list->visualItemRect(list->topLevelItem(1));
        const int x = list->header()->sectionViewportPosition(column) + 5;
        const QPoint pos(x, cell.center().y());
        QHelpEvent help(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(list->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tooltipAt(0), QString());
    EXPECT_EQ(tooltipAt(1), "USB Serial Converter");
    QToolTip::hideText();
}

TEST_F(PravikWindowTest, HoverShowsTheAboutLabel) {
    EXPECT_FALSE(window.AboutLabel()->isVisible());
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(window.InformationButton(), &enter);
    EXPECT_TRUE(window.AboutLabel()->isVisible());
    EXPECT_EQ(window.AboutLabel()->text(), "About");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window.InformationButton(), &leave);
    EXPECT_FALSE(window.AboutLabel()->isVisible());
}

TEST_F(PravikWindowTest, TheAboutIconStaysVisibleUnderTheMouse) {
    // The white icon on the teal bar: under the mouse the background must stay dark enough for it.
    QToolButton* button = window.InformationButton();
    for (bool hovered : {false, true}) {
        button->setAttribute(Qt::WA_UnderMouse, hovered);
        const QImage image =
            window.grab(QRect(button->mapTo(&window, QPoint(0, 0)), button->size())).toImage();
        const QColor corner = image.pixelColor(1, 1);
        EXPECT_LT(corner.lightness(), 200)
            << (hovered ? "hovered " : "normal ") << corner.name().toStdString();
        int white = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).lightness() > 240) ++white;
        EXPECT_GT(white, 10) << (hovered ? "hovered" : "normal");
        EXPECT_LT(white, image.width() * image.height() / 2) << (hovered ? "hovered" : "normal");
    }
    button->setAttribute(Qt::WA_UnderMouse, false);
}

TEST_F(PravikWindowTest, AboutBoxShowsTheVersions) {
    QString caption, pravik, ostrel;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<TfrmAboutDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(about);
        caption = about->windowTitle();
        pravik = about->findChild<QLabel*>("lblPravikVersion")->text();
        ostrel = about->findChild<QLabel*>("lblOstrelVersion")->text();
        EXPECT_EQ(about->size(), QSize(203, 147));
        EXPECT_EQ(about->findChild<QLabel*>("lblPravikVersionTitle")->text(), "Pravik VERSION:");
        EXPECT_EQ(about->findChild<QLabel*>("lblOstrelVersionsTitle")->text(), "Ostrel VERSION:");
        about->accept();
    });
    window.InformationButton()->click();
    EXPECT_EQ(caption, "Information about Pravik");
    EXPECT_EQ(pravik, "2.1.0.7"); // this test program carries the build's version marker
    EXPECT_EQ(ostrel, "missing");
}

TEST_F(PravikWindowTest, MinimizeAndRestoreReachTheLogicAsSystemCommands) {
    window.DeviceList()->topLevelItem(0)->setSelected(true);
    frm.lvDeviceListDblClick();
    frm.HandleMessage({WM_CONTROL_OPENED, 0, 501, false});
    endpoint.log.clear();
    window.showMinimized();
    QApplication::processEvents();
    EXPECT_TRUE(frm.WasMinimized());
    EXPECT_TRUE(endpoint.log.empty());
    window.showNormal();
    QApplication::processEvents();
    EXPECT_FALSE(frm.WasMinimized());
    EXPECT_TRUE(frm.WasRestored());
    // Restoring raises the group once: the open Ostrel first, then the launcher itself.
    ASSERT_EQ(endpoint.log.size(), 1u);
    EXPECT_EQ(endpoint.log[0], (SentMessage{501, WM_CONTROL_TO_FRONT, 0, 0, true}));
}

TEST_F(PravikWindowTest, ClosingTheWindowClosesEveryOstrel) {
    window.DeviceList()->topLevelItem(0)->setSelected(true);
    frm.lvDeviceListDblClick();
    frm.HandleMessage({WM_CONTROL_OPENED, 0, 501, false});
    endpoint.log.clear();
    window.close();
    ASSERT_EQ(endpoint.log.size(), 1u);
    EXPECT_EQ(endpoint.log[0], (SentMessage{501, WM_CONTROL_CLOSE, 0, 0, false}));
}

} // namespace
} // namespace mirota::test
