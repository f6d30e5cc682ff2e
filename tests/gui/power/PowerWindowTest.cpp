// The power screen's Qt window under the Qt loop against the in-process device simulator: caption,
// fixed layout, texts and accessibility, the displays, a voltage step, auto-detection and closing.
#include "power/ui/FrmPowerWindow.h"

#include "../../support/ScreenFakes.h"
#include "../../support/WatchedBackend.h"
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/qt/QtMessageLoop.h"
#include "screen/ui/AnalogDisplay.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace mirota;
using namespace mirota::test;

namespace {

class PowerWindow : public ::testing::Test {
protected:
    QtMessageLoop loop;
    devsim::DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)};
    FakeHost host;
    FakeDialogs dialogs{loop};
    std::unique_ptr<HostedScreen> screen;
    TfrmPowerFrameView* window = nullptr;

    void SetUp() override {
        port.Open();
        screen = CreatePowerScreen(ScreenArgs{host, loop, dialogs, &port, "Mirota DMS", "FT5X1A", 0});
        window = PowerWindowOf(screen.get());
        ASSERT_NE(window, nullptr);
        screen->Show();
    }
    void TearDown() override {
        host.unplugged = true; // no closing traffic when the fixture goes
        screen.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    bool WaitFor(const std::function<bool()>& done, int ms) {
        const auto end = loop.TickCount() + static_cast<std::uint64_t>(ms);
        while (!done() && loop.TickCount() < end)
            Delay(loop, 10);
        return done();
    }
};

TEST_F(PowerWindow, ShowsCaptionLayoutAndTexts) {
    EXPECT_EQ(window->windowTitle(), "Power Settings(FT5X1A)");
    EXPECT_EQ(window->size(), QSize(589, 179));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    QStringList headers;
    for (auto* label : window->findChildren<QLabel*>())
        if (!label->text().isEmpty()) headers << label->text();
    EXPECT_TRUE(headers.contains("FREQUENZY"));
    EXPECT_TRUE(headers.contains("VOLTAGE"));
    const char* captions[] = {"- -", "-", "Auto detect", "+", "+ +"};
    int right = 0;
    for (int i = 0; i < 5; ++i) {
        QPushButton* b = window->ButtonAt(static_cast<TfrmPowerFrameView::Button>(i));
        EXPECT_EQ(b->text(), captions[i]);
        EXPECT_EQ(b->accessibleName(), captions[i]);
        EXPECT_EQ(b->height(), 42);
        right = std::max(right, b->geometry().right() + 1);
    }
    EXPECT_EQ(right, 589);
    EXPECT_FALSE(window->AnimationPanel()->isVisible());
}

TEST_F(PowerWindow, DisplaysShowVoltageAndMovingFrequency) {
    ASSERT_TRUE(WaitFor([&] { return window->Voltage()->Value() != 0; }, 3000));
    EXPECT_EQ(window->Voltage()->Text().toStdString(), FormatDisplayValue(device.Voltage(), 4) + "[V]");
    ASSERT_TRUE(WaitFor([&] { return window->Frequency()->Value() != 0; }, 3000));
    EXPECT_TRUE(window->Frequency()->Text().endsWith("[Hz]"));
    EXPECT_FALSE(window->Frequency()->Text().contains('.'));
    // Formatting as the user sees it.
    window->ShowVoltage(23.9);
    EXPECT_EQ(window->Voltage()->Text(), "23.9000[V]");
    window->ShowVoltage(24.17);
    EXPECT_EQ(window->Voltage()->Text(), "24.1700[V]");
    window->ShowFrequency(50);
    EXPECT_EQ(window->Frequency()->Text(), "50[Hz]");
    // What a screen reader reads: a static text named by its header, whose text and description are
    // the shown text with precision and units.
    struct Case {
        TiAnalogDisplay* display;
        const char* name;
        QString shown;
    } cases[] = {
        {window->Voltage(), "VOLTAGE", "24.1700[V]"},
        {window->Frequency(), "FREQUENZY", "50[Hz]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(c.display);
        ASSERT_NE(acc, nullptr);
        EXPECT_EQ(acc->role(), QAccessible::StaticText);
        EXPECT_EQ(acc->text(QAccessible::Name), c.name);
        EXPECT_EQ(acc->text(QAccessible::Description), c.shown);
        EXPECT_EQ(acc->text(QAccessible::Value), c.shown);
        ASSERT_NE(acc->textInterface(), nullptr);
        EXPECT_EQ(acc->textInterface()->text(0, -1), c.shown);
        EXPECT_EQ(acc->textInterface()->characterCount(), c.shown.size());
    }
}

TEST_F(PowerWindow, StepButtonDisablesTheRowUntilTheReply) {
    ASSERT_TRUE(WaitFor(
        [&] { return window->Frequency()->Value() != 0 && !window->Logic().CommandPending(); }, 3000));
    device.ClearReceived();
    window->ButtonAt(TfrmPowerFrameView::Plus)->click();
    EXPECT_NE(device.ReceivedText().find("$026"), std::string::npos);
    ASSERT_TRUE(WaitFor([&] { return window->ButtonAt(TfrmPowerFrameView::Minus)->isEnabled(); }, 2000));
    EXPECT_EQ(window->Voltage()->Text().toStdString(), FormatDisplayValue(device.Voltage(), 4) + "[V]");
}

TEST_F(PowerWindow, AutoDetectShowsTheAnimationInPlaceOfTheVoltage) {
    ASSERT_TRUE(WaitFor([&] { return window->Frequency()->Value() != 0; }, 3000));
    device.Options().Fault.LateMs = 600;
    window->ButtonAt(TfrmPowerFrameView::AutoDetect)->click();
    EXPECT_TRUE(window->AnimationPanel()->isVisible());
    EXPECT_TRUE(window->Animation()->Animate());
    EXPECT_FALSE(window->Voltage()->isVisible());
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(window->ButtonAt(static_cast<TfrmPowerFrameView::Button>(i))->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return window->ButtonAt(TfrmPowerFrameView::AutoDetect)->isEnabled(); }, 3000));
    EXPECT_FALSE(window->AnimationPanel()->isVisible());
    EXPECT_TRUE(window->Voltage()->isVisible());
}

TEST_F(PowerWindow, ClosingHandsBackToTheMainWindow) {
    ASSERT_TRUE(WaitFor(
        [&] { return window->Frequency()->Value() != 0 && !window->Logic().CommandPending(); }, 3000));
    device.ClearReceived();
    screen->Close();
    EXPECT_EQ(device.ReceivedText(), "$6660\r");
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    EXPECT_FALSE(window->isVisible());
}

TEST(PowerWindowStart, TheWindowIsOnTheScreenBeforeTheFirstByteGoesOut) {
    QtMessageLoop loop;
    devsim::DeviceSimulator device{loop};
    TfrmPowerFrameView* window = nullptr;
    int written = 0;
    bool visibleAtFirstByte = false;
    TComPort port{loop, std::make_unique<WatchedBackend>(
                            devsim::MakeSimulatedBackend(device), [&](const char*, std::size_t) {
                                if (written++ == 0) visibleAtFirstByte = window && window->isVisible();
                            })};
    port.Open();
    FakeHost host;
    FakeDialogs dialogs{loop};
    auto screen = CreatePowerScreen(ScreenArgs{host, loop, dialogs, &port, "Mirota DMS", "FT5X1A", 0});
    window = PowerWindowOf(screen.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(written, 0); // constructed: no traffic
    screen->Show();
    EXPECT_EQ(written, 0);
    Delay(loop, 1000);
    EXPECT_EQ(device.ReceivedText().substr(0, 5), "*$029");
    EXPECT_TRUE(visibleAtFirstByte);
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
