// The values window under the offscreen platform: layout per configuration, the displays, the
// latching command buttons and the plot's legend, axes and menu. Device traffic runs in simulated
// time against the scripted line device of the unit tests.
#include "values/ui/FrmValuesWindow.h"

#include "../../support/ScreenFakes.h"
#include "../../support/WatchedBackend.h"
#include "../../unit/values/LineDevice.h"
#include "loop/SimulatedLoop.h"
#include "screen/ui/AnalogDisplay.h"
#include "values/ComponentConfiguration.h"
#include "values/ui/ValuePlot.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <qcustomplot.h>

#include <fstream>
#include <gtest/gtest.h>

namespace mirota {
namespace {

using test::FakeHost;
using QuietDialogs = test::RecordingDialogs;

class FrmValuesWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char arg0[] = "test";
        static char* argv[] = {arg0, nullptr};
        if (!qApp) new QApplication(argc, argv);
    }
    FrmValuesWindowTest() : device(loop), port(loop, device.MakeBackend()) {
        port.Open();
        cfgDir =
            std::filesystem::temp_directory_path() /
            ("values_gui_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(cfgDir);
        std::ofstream(cfgDir / kComponentConfigurationFile)
            << "[DMS]\nadspTorque1=Torque 1\nadspTorque2=Torque 2\nadspSpeed1=Speed 1\nadspSpeed2=Speed 2\n"
               "adspAngle=Angle\nadspAngleSpeed=Angle Speed\n"
               "[TMS]\nadspTorque1=Torque\nadspSpeed1=Speed\nadspAngle=Angle\n";
    }
    ~FrmValuesWindowTest() override {
        window.reset();
        std::filesystem::remove_all(cfgDir);
    }
    void Open(const std::string& description) {
        ScreenArgs args{host, loop, dialogs, &port, description, "4711", 0};
        window = std::make_unique<TfrmValuesFrameView>(args, cfgDir,
                                                       [this] { return 1.8e9 + loop.TickCount() / 1000.0; });
        window->Show();
        QApplication::processEvents(); // the window starts its traffic once shown
        loop.RunFor(500);
        QApplication::processEvents();
    }
    void Packet(const std::string& body) {
        device.Send("%00" + body + "\x1b");
        loop.RunFor(1);
    }

    SimulatedLoop loop;
    testing::LineDevice device;
    TComPort port;
    FakeHost host;
    QuietDialogs dialogs;
    std::filesystem::path cfgDir;
    std::unique_ptr<TfrmValuesFrameView> window;
};

TEST_F(FrmValuesWindowTest, WindowShowsAllSixValuesOfTheFullType) {
    Open("Mirota DMS");
    EXPECT_EQ(window->windowTitle(), "Values(4711)");
    EXPECT_EQ(window->size(), QSize(886, 522));
    // Panels from the top: Torque 1, Speed 1, Angle, Torque 2, Speed 2, Angle Speed.
    const int order[] = {0, 2, 4, 1, 3, 5};
    int lastY = -1;
    for (int i : order) {
        ASSERT_TRUE(window->Panel(i)->isVisible()) << i;
        EXPECT_GT(window->Panel(i)->y(), lastY) << i;
        lastY = window->Panel(i)->y();
    }
    EXPECT_EQ(window->Box(3)->text(), "Speed 2");
    EXPECT_EQ(window->PlotWidget()->Plot()->legend->itemCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(window->PlotWidget()->ValueAxis(i)->visible()) << i;
}

TEST_F(FrmValuesWindowTest, HiddenPanelsCloseUp) {
    Open("Mirota TMS");
    const bool shown[6] = {true, false, true, false, true, false};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(window->Panel(i)->isVisible(), shown[i]) << i;
    // Torque, Speed and Angle stack without gaps.
    EXPECT_EQ(window->Panel(2)->y(), window->Panel(0)->y() + window->Panel(0)->height());
    EXPECT_EQ(window->Panel(4)->y(), window->Panel(2)->y() + window->Panel(2)->height());
    QCustomPlot* plot = window->PlotWidget()->Plot();
    ASSERT_EQ(plot->legend->itemCount(), 3);
    EXPECT_TRUE(plot->legend->hasItemWithPlottable(window->PlotWidget()->Graph(2)));
    EXPECT_EQ(window->PlotWidget()->Graph(2)->name(), "Speed");
    EXPECT_EQ(window->PlotWidget()->Graph(1)->name(), "Torque 2"); // design title kept
    EXPECT_FALSE(window->PlotWidget()->ValueAxis(1)->visible());
    EXPECT_EQ(window->PlotWidget()->ValueAxis(2)->tickLabelColor(), QColor(79, 36, 84));
}

TEST_F(FrmValuesWindowTest, DisplaysAndPlotFollowThePackets) {
    Open("Mirota DMS");
    window->Box(1)->setChecked(true);
    Packet("2-0.5");
    Packet("7");
    EXPECT_EQ(window->Display(1)->Text(), "-0.5000");
    EXPECT_EQ(window->Display(0)->Text(), "0.0000");
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(window->Display(1));
    ASSERT_NE(acc, nullptr);
    EXPECT_EQ(acc->text(QAccessible::Name), "Torque 2");
    EXPECT_EQ(acc->text(QAccessible::Value), "-0.5000");
    window->PlotWidget()->ReplotNow(); // the graphs get the visible points when drawn
    QCPGraph* g = window->PlotWidget()->Graph(1);
    EXPECT_EQ(g->dataCount(), 2);
    EXPECT_EQ(window->PlotWidget()->Graph(0)->dataCount(), 0);
    // The context menu.
    QMenu* menu = window->PlotWidget()->PlotMenu();
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), "Zoom to Fit");
    EXPECT_EQ(menu->actions()[1]->text(), "Clear all Data");
    menu->actions()[1]->trigger();
    EXPECT_EQ(g->dataCount(), 0);
    EXPECT_EQ(window->Display(1)->Text(), "-0.5000"); // displays keep their values
}

TEST_F(FrmValuesWindowTest, TheBoxesTellTheLogicWhatToPlot) {
    Open("Mirota DMS");
    QCheckBox* box = window->Box(2);
    box->setChecked(true);
    EXPECT_TRUE(window->Logic().BoxTicked(2));
    Packet("31.5");
    box->setEnabled(false); // a disabled box plots nothing, ticked or not
    EXPECT_FALSE(window->Logic().BoxTicked(2));
    Packet("32.5");
    box->setEnabled(true);
    Packet("33.5");
    box->setChecked(false);
    Packet("34.5");
    EXPECT_EQ(window->Logic().Plot().PointCount(2), 2u);
    EXPECT_EQ(window->Logic().Plot().ValueExtent(2).lower, 1.5);
    EXPECT_EQ(window->Logic().Plot().ValueExtent(2).upper, 3.5);
}

TEST_F(FrmValuesWindowTest, ZoomingStopsTheTimeAxisUntilFollowIsPressed) {
    Open("Mirota DMS");
    window->Box(0)->setChecked(true);
    Packet("1 1.0");
    TiXYPlot* plot = window->PlotWidget();
    QAction* follow = plot->FollowAction();
    ASSERT_NE(follow, nullptr);
    EXPECT_EQ(follow->text(), "Follow");
    EXPECT_TRUE(follow->isChecked());
    QAction* zoomIn = plot->ToolBar()->findChild<QAction*>("actZoomIn");
    ASSERT_NE(zoomIn, nullptr);
    zoomIn->trigger();
    EXPECT_FALSE(follow->isChecked());
    const QCPRange zoomed = plot->Plot()->xAxis->range();
    loop.RunFor(30000); // 30 s later: beyond the window
    Packet("1 2.0");
    plot->ReplotNow();
    EXPECT_EQ(plot->Plot()->xAxis->range(), zoomed);
    follow->trigger();
    EXPECT_TRUE(follow->isChecked());
    plot->ReplotNow();
    EXPECT_TRUE(plot->Plot()->xAxis->range().contains(window->Logic().Plot().Points().TimeAt(1)));
}

TEST_F(FrmValuesWindowTest, TheDrawingAreaStaysPutWhileTheValueLabelsChangeWidth) {
    Open("Mirota DMS");
    window->Box(0)->setChecked(true);
    window->Box(1)->setChecked(true);
    TiXYPlot* plot = window->PlotWidget();
    Packet("1 1.0");
    Packet("2 1.0");
    Packet("1 2.0");
    plot->ReplotNow();
    const QRect before = plot->Plot()->axisRect()->rect();
    Packet("1 -123456.25"); // labels many digits wide on the first axis
    Packet("2 0.001");
    plot->ReplotNow();
    EXPECT_EQ(plot->Plot()->axisRect()->rect(), before);
}

TEST_F(FrmValuesWindowTest, NothingOverlapsAtTheDesignAndTheSmallestSize) {
    Open("Mirota DMS");
    for (int i = 0; i < 6; ++i)
        window->Box(i)->setChecked(true);
    for (int k = 0; k < 6; ++k)
        Packet(std::to_string(k + 1) + " 1234.5");
    Packet("1 -9876.25");
    TiXYPlot* plot = window->PlotWidget();
    for (QSize size : {QSize(886, 522), QSize(1, 1)}) {
        window->resize(size); // clamped to the window's minimum
        QApplication::processEvents();
        plot->ReplotNow();
        QCustomPlot* p = plot->Plot();
        const QRect data = p->axisRect()->rect();
        EXPECT_FALSE(p->legend->outerRect().intersects(data)) << size.width();
        EXPECT_GE(data.width(), 120) << size.width();
        // Time labels: their centres at least one label width apart.
        const QVector<double> ticks = p->xAxis->tickVector();
        const int label = QFontMetrics(p->xAxis->tickLabelFont()).horizontalAdvance("00:00:00");
        ASSERT_GE(ticks.size(), 1) << size.width();
        for (int i = 1; i < ticks.size(); ++i)
            EXPECT_GT(p->xAxis->coordToPixel(ticks[i]) - p->xAxis->coordToPixel(ticks[i - 1]), label + 4)
                << size.width() << " tick " << i;
    }
}

TEST_F(FrmValuesWindowTest, ExportsThePointsAndThePictureOnRequest) {
    Open("Mirota TMS");
    window->Box(0)->setChecked(true);
    Packet("1 12.5");
    Packet("1-0.25");
    const std::string csv = window->PlotWidget()->PointsCsv();
    // Header, then one row per point: channel title, local time, seconds, value ("." decimals).
    EXPECT_EQ(csv.rfind("Channel,Time,Seconds,Value\r\n", 0), 0u);
    EXPECT_NE(csv.find("\"Torque\","), std::string::npos);
    // Simulated time: opened at 920 ms, the packets at 1420 and 1421 ms.
    EXPECT_NE(csv.find(",1800000001.42,12.5\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",1800000001.421,-0.25\r\n"), std::string::npos) << csv;
    const QString dir = QString::fromStdString(cfgDir.string());
    EXPECT_TRUE(window->PlotWidget()->ExportCsv(dir + "/points.csv"));
    EXPECT_TRUE(window->PlotWidget()->ExportPng(dir + "/plot.png"));
    EXPECT_GT(std::filesystem::file_size(cfgDir / "plot.png"), 1000u);
    EXPECT_FALSE(window->PlotWidget()->ExportCsv(dir + "/missing/points.csv"));
}

TEST_F(FrmValuesWindowTest, ScreenFromTheFactoryClosesThroughTheHostAndIsDeletedAfterwards) {
    ScreenArgs args{host, loop, dialogs, &port, "Mirota DMS", "4711", 0};
    std::unique_ptr<HostedScreen> screen = CreateValuesScreen(args);
    screen->Show();
    QApplication::processEvents(); // the stream starts once the window is shown
    loop.RunFor(500);              // the stream's switch answered
    QPointer<QWidget> window;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmValuesFrame" && w->isVisible()) window = w;
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), "Values(4711)");
    EXPECT_NE(screen->Handle(), 0u);
    device.ClearReceived();
    screen->Close();
    EXPECT_EQ(device.ReceivedText(), "$6660\r");
    ASSERT_EQ(host.closings.size(), 1u);
    EXPECT_FALSE(host.closings[0]);
    EXPECT_FALSE(window->isVisible());
    screen.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window);
    device.ClearReceived();
    loop.RunFor(12000);
    EXPECT_EQ(device.ReceivedText(), ""); // nothing left behind that talks to the device
}

TEST_F(FrmValuesWindowTest, CommandButtonsLatchInTheirGroups) {
    Open("Mirota DMS");
    QPushButton* measure = window->Button(CommandButton::Measure);
    QPushButton* fifty = window->Button(CommandButton::Fifty);
    QPushButton* hundred = window->Button(CommandButton::Hundred);
    QPushButton* zero = window->Button(CommandButton::Nulling);
    EXPECT_EQ(measure->accessibleName(), "Measure");
    EXPECT_EQ(fifty->text(), "50%");
    EXPECT_EQ(measure->size(), QSize(75, 25));
    EXPECT_TRUE(measure->isChecked());
    device.ClearReceived();
    device.AnswerDelayMs = 150; // answered after the click has returned
    fifty->click();             // sends and waits (simulated time) inside the click
    EXPECT_EQ(device.ReceivedText(), "$2013\r");
    EXPECT_TRUE(fifty->isChecked());
    EXPECT_FALSE(measure->isChecked());
    loop.RunFor(10);
    EXPECT_FALSE(hundred->isEnabled()); // pending until the answer
    loop.RunFor(100);
    EXPECT_TRUE(hundred->isEnabled());
    loop.RunFor(400);
    zero->click();
    EXPECT_FALSE(zero->isChecked());
    EXPECT_TRUE(fifty->isChecked());
    loop.RunFor(600);
    hundred->click();
    EXPECT_TRUE(hundred->isChecked());
    EXPECT_FALSE(fifty->isChecked());
    EXPECT_TRUE(dialogs.Texts().empty());
}

TEST_F(FrmValuesWindowTest, TheWindowIsOnTheScreenBeforeTheFirstByteGoesOut) {
    testing::LineDevice line(loop);
    TfrmValuesFrameView* shown = nullptr;
    int written = 0;
    bool visibleAtFirstByte = false;
    TComPort watched(loop,
                     std::make_unique<WatchedBackend>(line.MakeBackend(), [&](const char*, std::size_t) {
                         if (written++ == 0) visibleAtFirstByte = shown && shown->isVisible();
                     }));
    watched.Open();
    window = std::make_unique<TfrmValuesFrameView>(
        ScreenArgs{host, loop, dialogs, &watched, "Mirota DMS", "4711", 0}, cfgDir);
    shown = window.get();
    EXPECT_EQ(written, 0); // constructed: no traffic
    window->Show();
    EXPECT_EQ(written, 0); // shown: the traffic starts from the event loop
    QApplication::processEvents();
    EXPECT_EQ(line.ReceivedText(), "*$6661\r");
    EXPECT_TRUE(visibleAtFirstByte);
    window->Logic().Detach();
    window.reset();
}

TEST_F(FrmValuesWindowTest, AccessibilityNamesStatesAndActionsActLikeClicks) {
    Open("Mirota DMS");
    // The displays: a static text named by the caption, the shown text with precision and units.
    window->Box(0)->setChecked(true);
    Packet("1-24.17");
    Packet("7");
    QAccessibleInterface* display = QAccessible::queryAccessibleInterface(window->Display(0));
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(display->role(), QAccessible::StaticText);
    EXPECT_EQ(display->text(QAccessible::Name), "Torque 1");
    EXPECT_EQ(display->text(QAccessible::Description), window->Display(0)->Text());
    ASSERT_NE(display->textInterface(), nullptr);
    EXPECT_EQ(display->textInterface()->text(0, -1), "-24.1700");
    EXPECT_EQ(display->textInterface()->characterCount(), 8);

    struct Case {
        CommandButton button;
        const char* name;
        bool latching;
        const char* sent;
    } cases[] = {
        {CommandButton::Fifty, "50%", true, "$2013\r"},     // calibration, half load
        {CommandButton::Nulling, "Zero", false, nullptr},   // the one push button
        {CommandButton::Hundred, "100%", true, "$2012\r"},  // calibration, full load
        {CommandButton::Null, "0%", true, "$2011\r"},       // calibration, no load
        {CommandButton::Measure, "Measure", true, nullptr}, // back to measuring
    };
    for (const Case& c : cases) {
        QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(window->Button(c.button));
        ASSERT_NE(acc, nullptr) << c.name;
        EXPECT_EQ(acc->role(), QAccessible::Button) << c.name;
        EXPECT_EQ(acc->text(QAccessible::Name), c.name);
        EXPECT_EQ(acc->state().checkable, c.latching) << c.name;
        QAccessibleActionInterface* actions = acc->actionInterface();
        ASSERT_NE(actions, nullptr) << c.name;
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction())) << c.name;
        loop.RunFor(1000);
        Packet("7"); // the device keeps talking: no time-out of the liveness check
        device.ClearReceived();
        const std::string name = actions->actionNames().last().toStdString();
        actions->doAction(actions->actionNames().last()); // "Toggle" for a latching button
        loop.RunFor(600);
        // The action sends as a click does.
        EXPECT_FALSE(device.ReceivedText().empty()) << c.name << " " << name;
        if (c.sent) {
            EXPECT_EQ(device.ReceivedText().rfind(c.sent, 0), 0u) << c.name << ": " << device.ReceivedText();
        }
        if (c.latching) {
            EXPECT_TRUE(window->Button(c.button)->isChecked()) << c.name;
            EXPECT_TRUE(acc->state().checked) << c.name;
        }
    }
    EXPECT_TRUE(dialogs.Texts().empty());
}

} // namespace
} // namespace mirota
