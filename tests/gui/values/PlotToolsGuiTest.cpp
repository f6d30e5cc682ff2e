// The plot's tools in the drawn plot: pause, the cursor readout and markers, fixed axes from the
// axis' menu and the recording toggle, under the offscreen platform.
#include "values/ui/ValuePlot.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <qcustomplot.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace mirota {
namespace {

constexpr double T0 = 1.8e9;

class PlotToolsGuiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char arg0[] = "test";
        static char* argv[] = {arg0, nullptr};
        if (!qApp) new QApplication(argc, argv);
    }
    PlotToolsGuiTest() {
        dir = std::filesystem::temp_directory_path() /
              ("plot_tools_gui_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        model.ShowChannel(0, "Torque 1");
        model.ShowChannel(2, "Speed 1");
        plot = std::make_unique<TiXYPlot>(model);
        plot->resize(900, 400);
        plot->show();
        QApplication::processEvents();
    }
    ~PlotToolsGuiTest() override {
        plot.reset();
        std::filesystem::remove_all(dir);
    }
    void Packet(double t, double a, double b) {
        model.AddPoint(0, t, a);
        model.AddPoint(2, t, b);
    }
    PlotModel model;
    std::unique_ptr<TiXYPlot> plot;
    std::filesystem::path dir;
};

TEST_F(PlotToolsGuiTest, PauseFreezesTheViewAndResumeShowsTheLiveWindow) {
    Packet(T0, 1, 2);
    plot->Refresh();
    EXPECT_NE(plot->PauseAction()->toolTip().indexOf("(P)"), -1);
    EXPECT_EQ(plot->PauseAction()->shortcut(), QKeySequence(Qt::Key_P));
    plot->PauseAction()->trigger();
    ASSERT_TRUE(plot->Paused());
    EXPECT_FALSE(plot->FollowAction()->isChecked());
    const int redraws = plot->RedrawCount();
    const double shownUpper = plot->Plot()->xAxis->range().upper;
    for (int i = 1; i <= 100; ++i)
        Packet(T0 + i, i, -i); // far past the window
    QTest::qWait(350);         // several redraw ticks
    EXPECT_EQ(plot->RedrawCount(), redraws);
    EXPECT_EQ(plot->Plot()->xAxis->range().upper, shownUpper);
    EXPECT_EQ(model.Points().Rows(), 101u); // the points kept arriving
    plot->FollowAction()->trigger();        // Follow resumes too
    EXPECT_FALSE(plot->Paused());
    EXPECT_FALSE(plot->PauseAction()->isChecked());
    EXPECT_TRUE(model.Following());
    EXPECT_TRUE(model.TimeRange().Contains(T0 + 100));
    EXPECT_TRUE(plot->Plot()->xAxis->range().contains(T0 + 100));
}

TEST_F(PlotToolsGuiTest, TheFAndPKeysToggleFollowAndPause) {
    Packet(T0, 1, 2);
    plot->Refresh();
    plot->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(plot.get()));
    plot->Plot()->setFocus();  // where a click into the drawing leaves the keys
    model.SetFollowing(false); // as after zooming
    plot->Refresh();
    struct Case {
        const char* name;
        Qt::Key key;
        bool following, paused;
    } cases[] = {
        {"F follows again", Qt::Key_F, true, false},
        {"F again stops following", Qt::Key_F, false, false},
        {"P pauses", Qt::Key_P, false, true},
        {"P again resumes, following", Qt::Key_P, true, false},
        {"P pauses once more", Qt::Key_P, false, true},
        {"F resumes too", Qt::Key_F, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTest::keyClick(plot->Plot(), c.key);
        EXPECT_EQ(model.Following(), c.following);
        EXPECT_EQ(plot->FollowAction()->isChecked(), c.following);
        EXPECT_EQ(plot->Paused(), c.paused);
        EXPECT_EQ(plot->PauseAction()->isChecked(), c.paused);
    }
}

TEST_F(PlotToolsGuiTest, HoverAndMarkersShowValuesAndDifferences) {
    Packet(T0, 1, 10);
    Packet(T0 + 2, 4, 7);
    model.SetFollowing(false);
    model.SetTimeRange({T0 - 1, T0 + 3});
    plot->ReplotNow();
    QCustomPlot* p = plot->Plot();
    auto at = [p](double t) { return QPointF(p->xAxis->coordToPixel(t), p->axisRect()->center().y()); };
    QMouseEvent move(QEvent::MouseMove, at(T0 + 1), p->mapToGlobal(at(T0 + 1)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(p, &move);
    const QString hover = plot->ReadoutLabel()->text();
    EXPECT_NE(hover.indexOf("Torque 1: 1  Speed 1: 10"), -1) << hover.toStdString();
    EXPECT_EQ(plot->ReadoutLabel()->accessibleDescription(), hover);

    QTest::mouseClick(p, Qt::LeftButton, Qt::NoModifier, at(T0 + 0.5).toPoint());
    QTest::mouseClick(p, Qt::LeftButton, Qt::ShiftModifier, at(T0 + 2.5).toPoint());
    const QString both = plot->ReadoutLabel()->accessibleDescription();
    EXPECT_NE(both.indexOf("Torque 1: \u0394 3  Speed 1: \u0394 -3"), -1) << both.toStdString();
    EXPECT_NE(both.indexOf("\u0394t 2"), -1) << both.toStdString();
}

TEST_F(PlotToolsGuiTest, ReadoutAndRecordingNeitherWidenNorMoveThePlot) {
    Packet(T0, 1.234567, 1000.98765);
    Packet(T0 + 2, -4.5678, 7.654321);
    model.SetFollowing(false);
    model.SetTimeRange({T0 - 1, T0 + 3});
    plot->resize(plot->minimumSizeHint().width(), 400);
    plot->ReplotNow();
    QApplication::processEvents();
    const int minimumWidth = plot->minimumSizeHint().width();
    QCustomPlot* p = plot->Plot();
    const QRect drawn = p->geometry();
    auto at = [p](double t) { return QPoint(p->xAxis->coordToPixel(t), p->axisRect()->center().y()); };

    QTest::mouseMove(p, at(T0 + 1));
    QTest::mouseClick(p, Qt::LeftButton, Qt::NoModifier, at(T0 + 0.3));
    QTest::mouseClick(p, Qt::LeftButton, Qt::ShiftModifier, at(T0 + 2.7));
    ASSERT_TRUE(
        plot->StartRecording(QString::fromStdString((dir / "a-recording-with-a-long-name.csv").string())));
    QApplication::processEvents();
    ASSERT_GT(plot->ReadoutLabel()->fontMetrics().horizontalAdvance(plot->ReadoutLabel()->text()),
              minimumWidth)
        << "the readout is not longer than the plot is wide; the check below would prove nothing";
    EXPECT_EQ(plot->minimumSizeHint().width(), minimumWidth);
    EXPECT_EQ(p->geometry(), drawn);
    EXPECT_EQ(plot->ReadoutLabel()->toolTip(), plot->ReadoutLabel()->text()); // the whole text
    EXPECT_TRUE(plot->RecordingLabel()->isVisible());
}

TEST_F(PlotToolsGuiTest, AxisMenuFixesAndReleasesTheRange) {
    Packet(T0, 1, 10);
    Packet(T0 + 1, 5, 20);
    plot->ReplotNow();
    QCPAxis* axis = plot->ValueAxis(0);
    const QPoint onAxis(axis->axisRect()->left() - 5, axis->axisRect()->center().y());
    emit plot->Plot()->customContextMenuRequested(onAxis);
    QMenu* menu = plot->AxisMenu();
    EXPECT_FALSE(plot->PlotMenu()->isVisible());
    ASSERT_TRUE(menu->isVisible());
    QAction* automatic = menu->findChild<QAction*>("mniAutomaticRange");
    ASSERT_TRUE(automatic && menu->findChild<QAction*>("mniFixedRange"));
    EXPECT_TRUE(automatic->isChecked());
    menu->hide();

    EXPECT_FALSE(plot->FixAxis(0, 3, 3));
    ASSERT_TRUE(plot->FixAxis(0, -100, 100));
    Packet(T0 + 2, 1000, 30);
    plot->Refresh();
    EXPECT_EQ(axis->range(), QCPRange(-100, 100));
    EXPECT_EQ(axis->label(), "(fixed)");
    EXPECT_NE(plot->Plot()->accessibleDescription().indexOf("axis fixed from -100 to 100"), -1);
    EXPECT_EQ(plot->ValueAxis(2)->range(), QCPRange(10, 30)); // the other axis follows

    plot->ReleaseAxis(0);
    EXPECT_EQ(axis->range(), QCPRange(1, 1000));
    EXPECT_EQ(axis->label(), "");
}

TEST_F(PlotToolsGuiTest, RecordToggleWritesWhilePointsArriveAndEndsWhenClosed) {
    const std::filesystem::path file = dir / "rec.csv";
    ASSERT_TRUE(plot->StartRecording(QString::fromStdString(file.string())));
    EXPECT_TRUE(plot->RecordAction()->isChecked());
    for (int i = 0; i < 5; ++i)
        Packet(T0 + i, i, 2 * i);
    // Header and the complete rows: a flush is due within a second (its cadence is the recorder's
    // unit test's business; here a loaded machine may run the timer late).
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::filesystem::file_size(file) > 40u; }, 10000));
    EXPECT_NE(plot->RecordingLabel()->text().indexOf("rec.csv"), -1);
    plot->hide(); // the screen closes
    EXPECT_FALSE(plot->RecordAction()->isChecked());
    EXPECT_FALSE(plot->Recorder().Recording());
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string text = s.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << text;
    EXPECT_NE(plot->RecordingLabel()->text().indexOf("Recorded rec.csv"), -1);

    // A file that cannot be written is refused and the toggle stays off.
    EXPECT_FALSE(plot->StartRecording(QString::fromStdString((dir / "missing" / "r.csv").string())));
    EXPECT_FALSE(plot->RecordAction()->isChecked());
}

} // namespace
} // namespace mirota
