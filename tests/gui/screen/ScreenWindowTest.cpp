// The screen window template's placement and its start after the first show.
#include "screen/ui/ScreenWindow.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace mirota {
namespace {

TEST(CentredFramePosition, CentresTheFrameExactlyOnTheOwnersFrame) {
    struct Case {
        const char* what;
        QRect ownerFrame, ownerClient;
        QSize client;
        QPoint expected;
    } cases[] = {
        // A 762 x 527 control screen with a 24 pixel title bar and 1 pixel borders at (100, 50).
        {"decorated", QRect(100, 50, 764, 552), QRect(101, 74, 762, 527), QSize(590, 179), QPoint(186, 224)},
        {"undecorated", QRect(0, 0, 800, 600), QRect(0, 0, 800, 600), QSize(200, 100), QPoint(300, 250)},
        {"larger than the owner", QRect(0, 0, 100, 100), QRect(0, 0, 100, 100), QSize(300, 200),
         QPoint(-100, -50)},
    };
    for (const Case& c : cases) {
        const QPoint at = CentredFramePosition(c.ownerFrame, c.ownerClient, c.client);
        EXPECT_EQ(at, c.expected) << c.what;
        // Both frames share their centre (to the pixel, exact for even differences).
        const QSize frame = c.client + (c.ownerFrame.size() - c.ownerClient.size());
        EXPECT_EQ(2 * at.x() + frame.width(), 2 * c.ownerFrame.x() + c.ownerFrame.width()) << c.what;
        EXPECT_EQ(2 * at.y() + frame.height(), 2 * c.ownerFrame.y() + c.ownerFrame.height()) << c.what;
    }
}

// A logic with what the template needs, counting its starts and closes.
struct CountingLogic {
    int starts = 0;
    int closes = 0;
    bool detached = false;
    void Start() { ++starts; }
    void FormClose() { ++closes; }
    bool Detached() const { return detached; }
};

class CountingWindow : public ScreenWindow<CountingLogic> {
public:
    CountingWindow() : ScreenWindow("frmCounting") {
        resize(200, 100);
        logic_ = std::make_unique<CountingLogic>();
        Constructed();
    }
    ~CountingWindow() override { logic_.reset(); }
    int shown = 0;

protected:
    void Shown() override { ++shown; }
};

class ScreenWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char arg0[] = "test";
        static char* argv[] = {arg0, nullptr};
        if (!qApp) new QApplication(argc, argv);
    }
};

TEST_F(ScreenWindowTest, StartsTheLogicOnceAfterTheFirstShowAndClosesThroughIt) {
    CountingWindow window;
    EXPECT_EQ(window.Logic().starts, 0) << "nothing before the window is shown";
    window.Show();
    EXPECT_EQ(window.shown, 1);
    EXPECT_EQ(window.Logic().starts, 0) << "not inside Show: after the first paint";
    QApplication::processEvents();
    EXPECT_EQ(window.Logic().starts, 1);
    window.hide();
    window.Show();
    QApplication::processEvents();
    EXPECT_EQ(window.Logic().starts, 1) << "once";
    EXPECT_EQ(window.State(), WindowState::Normal);
    EXPECT_EQ(window.Handle(), static_cast<std::uint32_t>(window.winId()));
    window.Close();
    EXPECT_EQ(window.Logic().closes, 1);
    window.Logic().detached = true;
    window.Show();
    window.Close();
    EXPECT_EQ(window.Logic().closes, 1) << "a let-go logic closes without its close handling";
}

} // namespace
} // namespace mirota
