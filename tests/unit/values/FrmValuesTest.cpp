// The values screen's logic under simulated time against a scripted device on the line.
#include "values/FrmValues.h"

#include "../../support/ScreenFakes.h"
#include "LineDevice.h"
#include "loop/SimulatedLoop.h"
#include "values/ComponentConfiguration.h"

#include <gtest/gtest.h>

#include <fstream>

namespace mirota {
namespace {

using testing::LineDevice;

using test::FakeDialogs;
using test::FakeHost;

class FakeView : public ValuesView {
public:
    void SetCaption(const std::string& c) override { caption = c; }
    void SetPanelVisible(int i, bool v) override { panels[i] = v; }
    void SetBoxCaption(int i, const std::string& c) override { captions[i] = c; }
    void ShowValue(int i, double v) override {
        shown[i] = v;
        ++showCount;
    }
    void SetButtonEnabled(CommandButton, bool) override {}
    void SetButtonPressed(CommandButton, bool) override {}
    void CloseWindow() override { ++closeCalls; }

    std::string caption;
    std::array<bool, 6> panels{};
    std::array<std::string, 6> captions;
    std::array<double, 6> shown{};
    int showCount = 0;
    int closeCalls = 0;
};

class FrmValuesTest : public ::testing::Test {
protected:
    FrmValuesTest() : device(loop), port(loop, device.MakeBackend()), host(loop) {
        port.Open();
        cfgDir =
            std::filesystem::temp_directory_path() /
            ("values_cfg_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(cfgDir);
        WriteConfig("[DMS]\nadspTorque1=Torque 1\nadspTorque2=Torque 2\nadspSpeed1=Speed 1\n"
                    "adspSpeed2=Speed 2\nadspAngle=Angle\nadspAngleSpeed=Angle Speed\n");
    }
    ~FrmValuesTest() override {
        frame.reset();
        std::filesystem::remove_all(cfgDir);
    }
    void WriteConfig(const std::string& text) {
        std::ofstream(cfgDir / kComponentConfigurationFile, std::ios::binary) << text;
    }
    void Open(const std::string& description = "Mirota DMS") {
        frame =
            std::make_unique<TfrmValuesFrame>(host, loop, dialogs, &port, description, "12345", view, cfgDir,
                                              [this] { return 1.8e9 + loop.TickCount() / 1000.0; });
        frame->Start();
    }
    // Opens the screen and lets the start command be answered and its time-out pass.
    void OpenSettled(const std::string& description = "Mirota DMS") {
        Open(description);
        loop.RunFor(500);
        device.ClearReceived();
    }
    void Packet(const std::string& body) {
        device.Send("%00" + body + "\x1b");
        loop.RunFor(1);
    }

    SimulatedLoop loop;
    LineDevice device;
    TComPort port;
    FakeHost host;
    FakeDialogs dialogs;
    FakeView view;
    std::filesystem::path cfgDir;
    std::unique_ptr<TfrmValuesFrame> frame;
};

TEST_F(FrmValuesTest, OpeningStartsTheStreamWithPacedCommands) {
    Open();
    // Start returns once "$6661" CR has been sent: 60 + 500 + 6 x 60 ms.
    EXPECT_EQ(loop.TickCount(), 920u);
    EXPECT_EQ(device.ReceivedText(), "*$6661\r");
    const std::uint64_t expected[] = {0, 560, 620, 680, 740, 800, 860};
    ASSERT_EQ(device.Received().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(device.Received()[i].At, expected[i]) << i;
    EXPECT_EQ(view.caption, "Values(12345)");
    EXPECT_EQ(frame->strVersion, " DMS");
    loop.RunFor(1000);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(device.Count("$6661"), 1); // answered: not repeated
}

TEST_F(FrmValuesTest, NothingIsSentBeforeStartNorAfterBeingLetGo) {
    frame =
        std::make_unique<TfrmValuesFrame>(host, loop, dialogs, &port, "Mirota DMS", "12345", view, cfgDir);
    loop.RunFor(12000);
    EXPECT_EQ(device.ReceivedText(), ""); // constructed: no traffic, no liveness
    frame->Detach();
    frame->Start();
    loop.RunFor(12000);
    EXPECT_EQ(device.ReceivedText(), "");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(frame->TI_CheckAlive(), nullptr);
}

TEST_F(FrmValuesTest, MeasurementPacketsReachTheirDisplaysAndThePlot) {
    OpenSettled();
    frame->SetBoxTicked(0, true);
    frame->SetBoxTicked(1, true);
    struct Case {
        const char* body;
        int index; // display expected to change, -1 none
        double value;
        std::size_t pointsAdded; // per ticked channel
    };
    const Case cases[] = {
        {"2-0.5", 1, -0.5, 1}, // Torque 2
        {"1 +12.25 ", 0, 12.25, 1},
        {"712.0", -1, 0, 1},  // digit 7: no display, points all the same
        {"012", -1, 0, 1},    // digit 0 likewise
        {"212,5", -1, 0, 1},  // comma: display keeps its value
        {"2", -1, 0, 1},      // no number at all
        {"x2.0", -1, 0, 0},   // a letter first: nothing
        {"", -1, 0, 0},       // empty packet: nothing
        {"6 1E2", 5, 100, 1}, // Angle Speed (not ticked)
    };
    std::size_t points = 0;
    for (const Case& c : cases) {
        const auto before = view.shown;
        const int shownBefore = view.showCount;
        Packet(c.body);
        points += c.pointsAdded;
        if (c.index >= 0) {
            EXPECT_EQ(frame->DisplayValue(c.index), c.value) << c.body;
            EXPECT_EQ(view.shown[c.index], c.value) << c.body;
            EXPECT_EQ(view.showCount, shownBefore + 1) << c.body;
        } else {
            EXPECT_EQ(view.shown, before) << c.body;
            EXPECT_EQ(view.showCount, shownBefore) << c.body;
        }
        EXPECT_EQ(frame->Plot().PointCount(0), points) << c.body;
        EXPECT_EQ(frame->Plot().PointCount(1), points) << c.body;
        EXPECT_EQ(frame->Plot().PointCount(5), 0u) << c.body;
    }
    EXPECT_EQ(frame->DisplayValue(1), -0.5);
    // The same value again changes nothing on the display.
    const int n = view.showCount;
    Packet("2-0.50");
    EXPECT_EQ(view.showCount, n);
}

TEST_F(FrmValuesTest, UnreadablePacketsStillKeepTheLinkAlive) {
    OpenSettled();
    for (int i = 0; i < 8; ++i) {
        Packet("abc");
        loop.RunFor(2000);
    }
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(host.closings.empty());
    // Keep-alive "1" every 5 s.
    EXPECT_GE(device.Count("1"), 3);
}

TEST_F(FrmValuesTest, SilentDeviceIsReportedAtTheSecondTick) {
    OpenSettled();
    loop.RunFor(9000);
    EXPECT_TRUE(dialogs.shown.empty());
    loop.RunFor(1000); // second tick, 5 s + 5 s after the timer was started
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Timeout...");
    EXPECT_EQ(dialogs.shown[0].text, "The device does not respond. \r\nPlease restart the device!");
    ASSERT_EQ(host.closings.size(), 1u);
    EXPECT_TRUE(host.closings[0]);
    EXPECT_EQ(view.closeCalls, 1);
}

TEST_F(FrmValuesTest, ConfigurationDecidesPanelsAndLabels) {
    WriteConfig("[DMS]\nadspTorque1=\nadspAngle=false\nadspSpeed1=False\nadspSpeed2 = rpm\n");
    OpenSettled();
    const bool shown[6] = {true, false, true, true, false, false};
    const char* captions[6] = {"", "Torque_2", "False", "rpm", "Angle", "Angle Speed"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(view.panels[i], shown[i]) << i;
        EXPECT_EQ(frame->PanelShown(i), shown[i]) << i;
        EXPECT_EQ(frame->BoxCaption(i), captions[i]) << i;
        EXPECT_EQ(frame->Plot().ChannelAt(i).InLegend, shown[i]) << i;
        EXPECT_EQ(frame->Plot().ValueAxisAt(i).Visible, shown[i]) << i;
    }
    EXPECT_EQ(frame->Plot().ChannelAt(2).Title, "False");
    EXPECT_EQ(frame->Plot().ChannelAt(4).Title, "Angle");
    // A hidden value is never plotted, even when its box is ticked.
    for (int i = 0; i < 6; ++i)
        frame->SetBoxTicked(i, true);
    Packet("51.0");
    EXPECT_EQ(frame->Plot().PointCount(4), 0u);
    EXPECT_EQ(frame->Plot().PointCount(0), 1u);
}

TEST_F(FrmValuesTest, WithoutConfigurationNoPanelButALiveStream) {
    std::filesystem::remove(cfgDir / kComponentConfigurationFile);
    OpenSettled();
    for (bool p : view.panels)
        EXPECT_FALSE(p);
    for (int i = 0; i < 12; ++i) {
        Packet("11.0");
        loop.RunFor(1000);
    }
    EXPECT_EQ(frame->DisplayValue(0), 1.0);
    EXPECT_TRUE(dialogs.shown.empty());
}

struct ButtonCase {
    CommandButton button;
    const char* sent;
    const char* answerStart;
    const char* answer;
};

class ButtonCommandTest : public FrmValuesTest, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(ButtonCommandTest, SendsItsCommandAndNeedsItsAnswer) {
    const ButtonCase c = GetParam();
    OpenSettled();
    // A device that answers with another value: not accepted, repeated after 400 ms.
    device.answers[c.sent] = std::string(c.answerStart) + (c.answer[0] == '1' ? "2" : "1") + "\x1b";
    frame->ClickButton(c.button);
    EXPECT_EQ(device.ReceivedText(), c.sent);
    EXPECT_FALSE(frame->ButtonEnabled(c.button));
    const std::int64_t sentAt = device.TimeOf(c.sent);
    loop.RunFor(700);
    EXPECT_EQ(device.ReceivedText(), std::string(c.sent) + "\x1b\x1b\x1b" + c.sent);
    // The time-out runs 400 ms after the last character's pause.
    EXPECT_EQ(device.TimeOf(std::string(c.sent) + "\x1b"), sentAt + 60 + 400);
    // Now the right answer.
    device.answers[c.sent] = std::string(c.answerStart) + c.answer + "\x1b";
    loop.RunFor(2000); // the repetition in flight is refused, the next one accepted
    EXPECT_TRUE(frame->ButtonEnabled(c.button));
    EXPECT_FALSE(frame->CommandPending());
    device.ClearReceived();
    frame->ClickButton(c.button);
    loop.RunFor(600);
    EXPECT_EQ(device.Count(c.sent), 1); // answered: no repetition
    EXPECT_EQ(device.Count("\x1b"), 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Buttons, ButtonCommandTest,
                         ::testing::Values(ButtonCase{CommandButton::Measure, "$2010\r", "&201", "0"},
                                           ButtonCase{CommandButton::Null, "$2011\r", "&201", "1"},
                                           ButtonCase{CommandButton::Fifty, "$2013\r", "&201", "3"},
                                           ButtonCase{CommandButton::Hundred, "$2012\r", "&201", "2"},
                                           ButtonCase{CommandButton::Nulling, "$200", "&200", "0"}),
                         [](const ::testing::TestParamInfo<ButtonCase>& info) {
                             switch (info.param.button) {
                             case CommandButton::Measure:
                                 return std::string("Measure");
                             case CommandButton::Nulling:
                                 return std::string("Zero");
                             case CommandButton::Null:
                                 return std::string("ZeroPercent");
                             case CommandButton::Fifty:
                                 return std::string("FiftyPercent");
                             default:
                                 return std::string("HundredPercent");
                             }
                         });

TEST_F(FrmValuesTest, NeverAnsweredMeasureIsSentFourTimesThenTheMessage) {
    OpenSettled();
    device.answers.erase("$2010\r");
    frame->ClickButton(CommandButton::Fifty);
    loop.RunFor(1000);
    device.ClearReceived();
    frame->ClickButton(CommandButton::Measure);
    loop.RunFor(6000);
    EXPECT_EQ(device.ReceivedText().substr(0, 4 * 6 + 3 * 3),
              "$2010\r\x1b\x1b\x1b$2010\r\x1b\x1b\x1b$2010\r\x1b\x1b\x1b$2010\r");
    EXPECT_EQ(device.Count("$2010\r"), 4);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Timeout...");
    EXPECT_EQ(dialogs.shown[0].text, "The last command was not executed properly!");
    EXPECT_TRUE(frame->ButtonPressed(CommandButton::Measure));
    EXPECT_FALSE(frame->ButtonPressed(CommandButton::Fifty));
    EXPECT_TRUE(frame->ButtonEnabled(CommandButton::Measure));
    EXPECT_EQ(frame->Link().iResendCount(), 0);
}

TEST_F(FrmValuesTest, RepetitionsCountAcrossCommands) {
    OpenSettled();
    // Two repetitions spent on "Zero", then answered.
    device.answers.erase("$200");
    frame->ClickButton(CommandButton::Nulling);
    loop.RunFor(1100); // before the second time-out
    EXPECT_EQ(device.Count("$200"), 2);
    device.answers["$200"] = "&2000\x1b";
    loop.RunFor(1500);
    EXPECT_EQ(device.Count("$200"), 3);
    EXPECT_EQ(frame->Link().iResendCount(), 2);
    EXPECT_TRUE(dialogs.shown.empty());
    // The next unanswered command is sent twice in all before the message.
    device.ClearReceived();
    device.answers.erase("$2012\r");
    frame->ClickButton(CommandButton::Hundred);
    loop.RunFor(5000);
    EXPECT_EQ(device.Count("$2012\r"), 2);
    ASSERT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(FrmValuesTest, UnansweredStreamSwitchRepeatsItself) {
    device.answers.erase("$6661\r");
    Open();
    loop.RunFor(3000);
    EXPECT_EQ(device.ReceivedText().substr(0, 7 + 3 + 7), "*$6661\r\x1b\x1b\x1b*$6661\r");
    EXPECT_EQ(frame->Link().iResendCount(), 2);
}

TEST_F(FrmValuesTest, UnansweredStopRepeatsTheStopNotTheLastButtonsCommand) {
    device.StreamEveryMs = 250;
    OpenSettled();
    frame->ClickButton(CommandButton::Fifty);
    loop.RunFor(1000);
    device.answers.erase("$6660\r");
    device.ClearReceived();
    frame->FormClose();
    EXPECT_EQ(device.ReceivedText().substr(0, 15), "$6660\r\x1b\x1b\x1b$6660\r");
    EXPECT_EQ(device.Count("$2013"), 0);
    for (const auto& b : dialogs.shown)
        ADD_FAILURE() << b.caption << "|" << b.text;
}

TEST_F(FrmValuesTest, LatchingButtonGroups) {
    OpenSettled();
    using B = CommandButton;
    auto pressed = [&] {
        std::string s;
        for (B b : {B::Measure, B::Nulling, B::Null, B::Fifty, B::Hundred})
            s += frame->ButtonPressed(b) ? '1' : '0';
        return s;
    };
    EXPECT_EQ(pressed(), "10000"); // "Measure" shown pressed at opening, nothing sent for it
    EXPECT_EQ(device.ReceivedText(), "");
    struct Step {
        B click;
        const char* after; // Measure Zero 0% 50% 100%
    };
    const Step steps[] = {
        // Until a release routine has run, clicking the pressed button keeps it pressed.
        {B::Fifty, "00010"},
        {B::Nulling, "00010"},
        {B::Hundred, "00001"},
        {B::Hundred, "00001"},
        // "Measure" releases the calibration group, which may then have none pressed (and the
        // calibration buttons released "Measure"'s group before).
        {B::Measure, "10000"},
        {B::Measure, "00000"},
        {B::Null, "00100"},
        {B::Null, "00000"},
    };
    for (const Step& s : steps) {
        frame->ClickButton(s.click);
        EXPECT_EQ(pressed(), s.after) << static_cast<int>(s.click);
        loop.RunFor(1000);
    }
}

TEST_F(FrmValuesTest, ClickAfterTheAnswerButBeforeTheTimeOutOnlyChangesThePressedState) {
    OpenSettled();
    frame->ClickButton(CommandButton::Fifty);
    // Answered 20 ms after the CR; the buttons are enabled while the 400 ms still run.
    loop.RunFor(100);
    ASSERT_TRUE(frame->ButtonEnabled(CommandButton::Hundred));
    device.ClearReceived();
    frame->ClickButton(CommandButton::Hundred);
    EXPECT_TRUE(frame->ButtonPressed(CommandButton::Hundred));
    EXPECT_FALSE(frame->ButtonPressed(CommandButton::Fifty));
    loop.RunFor(1000);
    EXPECT_EQ(device.ReceivedText(), "");
}

TEST_F(FrmValuesTest, ClosingSendsTheStopAndWaits) {
    OpenSettled();
    const std::uint64_t t0 = loop.TickCount();
    frame->FormClose();
    EXPECT_EQ(device.ReceivedText(), "$6660\r");
    ASSERT_EQ(host.closings.size(), 1u);
    EXPECT_FALSE(host.closings[0]);
    ASSERT_EQ(host.closedAt.size(), 1u);
    EXPECT_EQ(host.closedAt[0], t0 + 360 + 1500);
    frame->FormClose(); // only once
    EXPECT_EQ(host.closings.size(), 1u);
}

TEST_F(FrmValuesTest, ClosingDuringAPendingCommandSendsNoStopButStillWaits) {
    OpenSettled();
    device.answers.erase("$2013\r");
    frame->ClickButton(CommandButton::Fifty);
    const std::uint64_t t0 = loop.TickCount();
    frame->FormClose();
    EXPECT_EQ(device.Count("$6660"), 0);
    // The wait is 1.5 s; the pending command's repetition runs inside it and may lengthen it.
    ASSERT_EQ(host.closedAt.size(), 1u);
    EXPECT_GE(host.closedAt[0], t0 + 1500);
    EXPECT_LT(host.closedAt[0], t0 + 1500 + 600);
    ASSERT_EQ(host.closings.size(), 1u);
    EXPECT_FALSE(host.closings[0]);
}

TEST_F(FrmValuesTest, ClosingAfterUnplugSendsNothingAndDoesNotWait) {
    OpenSettled();
    host.unplugged = true;
    const std::uint64_t t0 = loop.TickCount();
    frame->FormClose();
    EXPECT_EQ(loop.TickCount(), t0);
    EXPECT_EQ(device.ReceivedText(), "");
    EXPECT_TRUE(host.closings.empty());
}

TEST_F(FrmValuesTest, ClosedScreenLeavesThePortToTheMainWindow) {
    OpenSettled();
    EXPECT_TRUE(port.OnError && port.OnException);
    frame->FormClose();
    EXPECT_FALSE(port.OnError || port.OnException);
    // The main window attaches its own; destroying the screen leaves it alone.
    bool mainHandlerCalled = false;
    port.OnException = [&](TCustomComPort*, int, const std::string&, std::int64_t, const std::string&) {
        mainHandlerCalled = true;
    };
    frame.reset();
    ASSERT_TRUE(port.OnException);
    device.HangUp();
    loop.RunFor(10);
    EXPECT_TRUE(mainHandlerCalled);
}

TEST_F(FrmValuesTest, LettingGoInsideANestedWaitDefersTheDestructionAndStopsEverything) {
    OpenSettled();
    bool destroyed = false;
    // The host lets the screen go while the close handling is still waiting its 1.5 s.
    loop.StartTimer(
        700,
        [&] {
            frame->Detach();
            frame->WhenIdle([&] { destroyed = true; });
            EXPECT_FALSE(destroyed); // FormClose is still on the stack
        },
        false);
    device.ClearReceived();
    frame->FormClose();
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(host.closings.empty()); // no call back into a host that has let go
    device.ClearReceived();
    device.StreamEveryMs = 0;
    device.Send("%0019.0\x1b");
    loop.RunFor(12000);
    EXPECT_EQ(device.ReceivedText(), ""); // no keep-alive, no repetition
    EXPECT_EQ(frame->DisplayValue(0), 0.0);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FrmValuesTest, PortFailureIsReportedOnceAndClosesWithTheFailureFlag) {
    OpenSettled();
    device.HangUp();
    loop.RunFor(10);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "The communication with the device failed.\r\nMake sure that the device is properly "
              "connected.\r\nPlease restart the device.");
    ASSERT_EQ(host.closings.size(), 1u);
    EXPECT_TRUE(host.closings[0]);
    EXPECT_TRUE(frame->Link().bErrorOccures());
    device.ClearReceived();
    frame->ClickButton(CommandButton::Measure);
    loop.RunFor(12000);
    EXPECT_EQ(device.ReceivedText(), ""); // the port is given up
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

} // namespace
} // namespace mirota
