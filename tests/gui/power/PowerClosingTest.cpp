// The power window during its closing wait: from the close request until it hands back to the main
// window the buttons are off and the window says "Closing..." (on screen and to assistive technology),
// also after the device has answered the switch-off command; the line carries what it always did.
#include "power/ui/FrmPowerWindow.h"

#include "../../support/ScreenFakes.h"
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/qt/QtMessageLoop.h"
#include "screen/ui/AnalogDisplay.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace mirota;
using namespace mirota::test;

namespace {

struct Look {
    std::uint64_t at = 0;
    int enabledButtons = 0;
    bool closingTextShown = false;
    QString description;
};

TEST(PowerWindowClosing, ShowsItIsClosingUntilItHandsBack) {
    QtMessageLoop loop;
    devsim::DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)};
    port.Open();
    FakeHost host;
    FakeDialogs dialogs{loop};
    auto screen = CreatePowerScreen(ScreenArgs{host, loop, dialogs, &port, "Mirota DMS", "FT5X1A", 0});
    TfrmPowerFrameView* window = PowerWindowOf(screen.get());
    ASSERT_NE(window, nullptr);
    screen->Show();
    const auto end = loop.TickCount() + 3000;
    while (!(window->Frequency()->Value() != 0 && !window->Logic().CommandPending()) &&
           loop.TickCount() < end)
        Delay(loop, 10);
    ASSERT_FALSE(window->Logic().CommandPending());
    ASSERT_NE(window->ClosingText(), nullptr);
    EXPECT_FALSE(window->ClosingText()->isVisible());
    EXPECT_TRUE(window->ButtonAt(TfrmPowerFrameView::Plus)->isEnabled());

    // What the window looks like early in the wait, after the switch-off reply, and just before the end.
    std::vector<Look> looks;
    const std::uint64_t closedAt = loop.TickCount();
    for (int ms : {50, 900, 1700}) {
        QTimer::singleShot(ms, window, [&] {
            Look look;
            look.at = loop.TickCount() - closedAt;
            for (int i = 0; i < 5; ++i)
                look.enabledButtons +=
                    window->ButtonAt(static_cast<TfrmPowerFrameView::Button>(i))->isEnabled();
            look.closingTextShown = window->ClosingText()->isVisible();
            if (QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(window))
                look.description = acc->text(QAccessible::Description);
            looks.push_back(look);
        });
    }
    device.ClearReceived();
    screen->Close();

    EXPECT_EQ(device.ReceivedText(), "$6660\r"); // the same bytes as without the closing look
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    ASSERT_EQ(looks.size(), 3u); // all during the wait: it lasts 1.5 s after the paced command
    for (const Look& look : looks) {
        SCOPED_TRACE(look.at);
        EXPECT_EQ(look.enabledButtons, 0);
        EXPECT_TRUE(look.closingTextShown);
        EXPECT_EQ(look.description, "Closing...");
    }
    EXPECT_EQ(window->ClosingText()->text(), "Closing...");
    host.unplugged = true;
    screen.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char** argv) {
    // Also when the build lists the tests without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
