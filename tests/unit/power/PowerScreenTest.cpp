// The power screen's traffic under simulated time against the in-process device simulator: opening
// sequence, voltage steps, auto-detection, repetition, liveness, failures and closing.
#include "power/FrmPowerSettings.h"

#include "../../support/ScreenFakes.h"
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

using namespace mirota;
using namespace mirota::test;

namespace {

constexpr const char* kLastCommandFailed = "The last command was not executed properly!";
constexpr const char* kDeviceSilent = "The device does not respond. \r\nPlease restart the device!";

class FakePowerView : public PowerFrameView {
public:
    explicit FakePowerView(MessageLoop& loop) : loop_(loop) {}
    std::string caption;
    std::vector<double> frequencies;
    std::vector<double> voltages;
    std::uint64_t lastVoltageAt = 0;
    std::function<void()> onVoltage;
    bool buttonsEnabled = true;
    bool animation = false;
    int closeRequests = 0;
    TfrmPowerFrame* frame = nullptr;

    void SetCaption(const std::string& c) override { caption = c; }
    void ShowFrequency(double v) override { frequencies.push_back(v); }
    void ShowVoltage(double v) override {
        voltages.push_back(v);
        lastVoltageAt = loop_.TickCount();
        if (onVoltage) onVoltage();
    }
    void SetButtonsEnabled(bool e) override { buttonsEnabled = e; }
    void ShowAnimation(bool running) override { animation = running; }
    void CloseWindow() override {
        ++closeRequests;
        if (frame) frame->FormClose();
    }

private:
    MessageLoop& loop_;
};

class PowerScreen : public ::testing::Test {
protected:
    SimulatedLoop loop;
    devsim::DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)};
    FakeHost host;
    FakeDialogs dialogs{loop};
    FakePowerView view{loop};
    std::unique_ptr<TfrmPowerFrame> frame;
    std::uint64_t openedAt = 0;

    void Open() {
        port.Open();
        openedAt = loop.TickCount();
        frame = std::make_unique<TfrmPowerFrame>(host, loop, dialogs, &port, "FT5X1A", view);
        view.frame = frame.get();
        frame->Start();
    }
    // Opens and waits until the frequency packets flow.
    void OpenRunning() {
        Open();
        ASSERT_TRUE(
            loop.RunUntil([&] { return !view.frequencies.empty() && !frame->CommandPending(); }, 3000));
        device.ClearReceived();
    }
    // The bytes received at or after `from`.
    std::string ReceivedSince(std::uint64_t from) const {
        std::string s;
        for (const auto& b : device.Received())
            if (b.At >= from) s.push_back(b.Byte);
        return s;
    }
    std::vector<std::uint64_t> TimesOf(const std::string& bytes) const {
        std::vector<std::uint64_t> at;
        for (const auto& b : device.Received())
            if (bytes.find(b.Byte) != std::string::npos) at.push_back(b.At);
        return at;
    }
    int Count(const std::string& text, const std::string& what) const {
        int n = 0;
        for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
            ++n;
        return n;
    }
};

TEST_F(PowerScreen, OpeningQueriesTheVoltageThenSwitchesThePacketsOnPacedAt80Ms) {
    Open();
    loop.RunFor(2000);
    EXPECT_EQ(view.caption, "Power Settings(FT5X1A)");
    const auto& rx = device.Received();
    ASSERT_GE(rx.size(), 11u);
    EXPECT_EQ(device.ReceivedText().substr(0, 11), std::string("*$029$6661\r"));
    // "*" at once, then one character every 80 ms up to the last of "$029".
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(rx[i].At, openedAt + 80 * i) << i;
    // The reply comes during the last pause; "$6661" CR follows at once, 80 ms per character.
    EXPECT_GT(rx[5].At, rx[4].At);
    EXPECT_LT(rx[5].At, rx[4].At + 80);
    for (std::size_t i = 6; i < 11; ++i)
        EXPECT_EQ(rx[i].At, rx[i - 1].At + 80) << i;
    ASSERT_FALSE(view.voltages.empty());
    EXPECT_DOUBLE_EQ(view.voltages.front(), device.Voltage());
    EXPECT_TRUE(device.Streaming());
    EXPECT_FALSE(view.frequencies.empty());
    EXPECT_TRUE(view.buttonsEnabled);
    EXPECT_FALSE(frame->bReadStartUpVoltage);
    EXPECT_FALSE(frame->Link().bCheckValue());
}

TEST_F(PowerScreen, RunningScreenKeepsTheDeviceAliveWithoutMessages) {
    OpenRunning();
    loop.RunFor(21000);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(host.closings.empty());
    // The keep-alive "1" every 5 s, nothing else.
    EXPECT_EQ(device.ReceivedText(), "1111");
    EXPECT_GT(view.frequencies.size(), 100u);
}

struct StepCase {
    const char* name;
    void (TfrmPowerFrame::*click)(void*);
    const char* command;
};

class VoltageSteps : public PowerScreen, public ::testing::WithParamInterface<StepCase> {};

TEST_P(VoltageSteps, SendTheStepAndShowTheAnsweredVoltage) {
    OpenRunning();
    const std::size_t shown = view.voltages.size();
    const std::uint64_t clickedAt = loop.TickCount();
    (frame.get()->*GetParam().click)(nullptr);
    EXPECT_EQ(device.ReceivedText(), GetParam().command);
    EXPECT_EQ(TimesOf(GetParam().command).front(), clickedAt);
    loop.RunFor(600);
    ASSERT_EQ(view.voltages.size(), shown + 1);
    EXPECT_DOUBLE_EQ(view.voltages.back(), device.Voltage());
    EXPECT_TRUE(view.buttonsEnabled);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(ReceivedSince(clickedAt).find(ESC), std::string::npos); // no repetition
}

INSTANTIATE_TEST_SUITE_P(PowerScreen, VoltageSteps,
                         ::testing::Values(StepCase{"Minus", &TfrmPowerFrame::btnMinusClick, "$025"},
                                           StepCase{"Plus", &TfrmPowerFrame::btnPlusClick, "$026"},
                                           StepCase{"MinusMinus", &TfrmPowerFrame::btnMinusMinusClick,
                                                    "$027"},
                                           StepCase{"PlusPlus", &TfrmPowerFrame::btnPlusPlusClick, "$028"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PowerScreen, FrequencyIsFrozenWhileAStepIsPending) {
    OpenRunning();
    device.Options().Fault.LateMs = 400;
    frame->btnPlusClick(nullptr);
    EXPECT_FALSE(view.buttonsEnabled);
    const std::size_t frozen = view.frequencies.size();
    loop.RunUntil([&] { return view.buttonsEnabled; }, 2000);
    EXPECT_EQ(view.frequencies.size(), frozen);
    loop.RunFor(500);
    EXPECT_GT(view.frequencies.size(), frozen);
}

struct ReplyCase {
    const char* reply;
    std::optional<double> shown;
};

class StepReplies : public PowerScreen, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(StepReplies, NumbersAreShownAndEverythingElseIgnoredButTheButtonsComeBack) {
    OpenRunning();
    device.Options().Fault.Silent = true; // the reply comes from the test
    frame->btnMinusClick(nullptr);
    ASSERT_FALSE(view.buttonsEnabled);
    const std::size_t shown = view.voltages.size();
    frame->cmdtpcktCommandFilterPacket(&frame->cmdtpcktCommandFilter, GetParam().reply);
    EXPECT_TRUE(view.buttonsEnabled);
    if (GetParam().shown) {
        ASSERT_EQ(view.voltages.size(), shown + 1);
        EXPECT_DOUBLE_EQ(view.voltages.back(), *GetParam().shown);
        EXPECT_TRUE(frame->Link().bValueIsChecked());
    } else {
        EXPECT_EQ(view.voltages.size(), shown);
        EXPECT_FALSE(frame->Link().bValueIsChecked());
    }
    EXPECT_FALSE(frame->CommandPending());
}

INSTANTIATE_TEST_SUITE_P(PowerScreen, StepReplies,
                         ::testing::Values(ReplyCase{"23.9", 23.9}, ReplyCase{"24.1700", 24.17},
                                           ReplyCase{"12", 12.0}, ReplyCase{"-0.5", -0.5},
                                           ReplyCase{" 5.25 ", 5.25}, ReplyCase{"ERR", std::nullopt},
                                           ReplyCase{"23,9", std::nullopt}, ReplyCase{"", std::nullopt},
                                           ReplyCase{"inf", std::nullopt}, ReplyCase{"0x1A", std::nullopt},
                                           ReplyCase{"12V", std::nullopt}));

TEST_F(PowerScreen, FiveUnansweredSendsThenTheMessageAndUsableButtons) {
    OpenRunning();
    device.Options().Fault.DropReplies = 5;
    frame->btnMinusMinusClick(nullptr);
    loop.RunUntil([&] { return !dialogs.shown.empty(); }, 10000);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Timeout...");
    EXPECT_EQ(dialogs.shown[0].text, kLastCommandFailed);
    EXPECT_TRUE(view.buttonsEnabled);
    EXPECT_EQ(frame->Link().iResendCount(), 0);
    std::string sent = device.ReceivedText();
    std::erase(sent, '1'); // keep-alives may fall between
    const std::string esc3(3, ESC);
    EXPECT_EQ(sent, "$027" + esc3 + "$027" + esc3 + "$027" + esc3 + "$027" + esc3 + "$027");
    // The frequency packets are taken again, so the live device is not reported as silent.
    const std::size_t frequencies = view.frequencies.size();
    loop.RunFor(15000);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_GT(view.frequencies.size(), frequencies);
    EXPECT_TRUE(host.closings.empty());
}

TEST_F(PowerScreen, RepetitionsCountAcrossCommands) {
    OpenRunning();
    device.Options().Fault.DropReplies = 2;
    frame->btnPlusClick(nullptr);
    loop.RunUntil([&] { return view.buttonsEnabled; }, 5000);
    EXPECT_EQ(frame->Link().iResendCount(), 2);
    device.Options().Fault.DropReplies = 5;
    frame->btnPlusClick(nullptr);
    loop.RunUntil([&] { return !dialogs.shown.empty(); }, 10000);
    std::string sent = device.ReceivedText();
    std::erase(sent, '1');
    EXPECT_EQ(Count(sent, "$026"), 3 + 3); // 2 repetitions left for the second command
}

TEST_F(PowerScreen, StartUpQueryAndSwitchRepeatThemselvesOnATimeOut) {
    device.Options().Fault.DropReplies = 2; // the first "$029" and its first repetition
    Open();
    loop.RunFor(4000);
    const std::string sent = device.ReceivedText();
    const std::string esc3(3, ESC);
    EXPECT_EQ(sent.substr(0, 15 + 8 + 6), "*$029" + esc3 + "$029" + esc3 + "$029$6661\r");
    EXPECT_EQ(view.voltages.size(), 1u);
    EXPECT_TRUE(device.Streaming());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(PowerScreen, UnansweredSwitchOnIsRepeated) {
    // The voltage is shown before "$6661" goes out: drop the answer to that.
    view.onVoltage = [&] {
        device.Options().Fault.DropReplies = 1;
        view.onVoltage = nullptr;
    };
    Open();
    loop.RunFor(3000);
    EXPECT_EQ(Count(device.ReceivedText(), "$6661\r"), 2);
    EXPECT_TRUE(device.Streaming());
    EXPECT_FALSE(frame->Link().bCheckValue());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(PowerScreen, AutoDetectShowsTheAnimationWithoutTimeOutThenFinishesInTextMode) {
    OpenRunning();
    device.Options().Fault.LateMs = 3000; // detection takes a while
    const std::uint64_t clickedAt = loop.TickCount();
    frame->btnAutoDetectClick(nullptr);
    EXPECT_TRUE(view.animation);
    EXPECT_FALSE(view.buttonsEnabled);
    EXPECT_TRUE(frame->bAutoDetect);
    const std::size_t shown = view.voltages.size();
    loop.RunUntil([&] { return view.voltages.size() > shown; }, 5000);
    const std::uint64_t replyAt = view.lastVoltageAt;
    EXPECT_GE(replyAt, clickedAt + 3000);
    EXPECT_FALSE(view.animation);
    EXPECT_FALSE(frame->bAutoDetect);
    loop.RunFor(1000);
    EXPECT_TRUE(view.buttonsEnabled);
    // No time-out and no repetition while waiting; then "#", "p1", CR, "*" with the 100 ms waits.
    std::string sent = ReceivedSince(clickedAt);
    std::erase(sent, '1');
    EXPECT_EQ(sent, "$030#p\r*");
    std::vector<std::uint64_t> finish;
    for (const auto& b : device.Received())
        if (b.At >= replyAt && std::string("#p1\r*").find(b.Byte) != std::string::npos)
            finish.push_back(b.At - replyAt);
    EXPECT_EQ(finish, (std::vector<std::uint64_t>{100, 180, 260, 340, 520}));
    EXPECT_FALSE(device.TextMode());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(PowerScreen, ClosingSwitchesThePacketsOffAndHandsBackAfterOneAndAHalfSeconds) {
    OpenRunning();
    const std::uint64_t closedAt = loop.TickCount();
    frame->FormClose();
    EXPECT_EQ(loop.TickCount(), closedAt + 1500 + 6 * 80);
    EXPECT_EQ(device.ReceivedText(), "$6660\r");
    EXPECT_FALSE(device.Streaming());
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    EXPECT_FALSE(port.OnException); // handed back to the main window
    EXPECT_FALSE(port.OnError);
    frame->FormClose(); // a second close request changes nothing
    EXPECT_EQ(host.closings.size(), 1u);
    loop.RunFor(20000);
    EXPECT_TRUE(dialogs.shown.empty()); // liveness stopped
}

TEST_F(PowerScreen, ClosingAfterUnplugSendsNothing) {
    OpenRunning();
    host.unplugged = true;
    frame->FormClose();
    loop.RunFor(20000);
    EXPECT_EQ(device.ReceivedText(), "");
    EXPECT_TRUE(host.closings.empty());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(PowerScreen, PortFailureTellsOnceThenClosesAndEndsTheProgram) {
    OpenRunning();
    device.SetHangUp();
    loop.RunFor(100);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, kCaptionError);
    EXPECT_EQ(dialogs.shown[0].text, kCommunicationFailed);
    EXPECT_EQ(host.closings, std::vector<bool>{true});
    EXPECT_EQ(frame->Link().cpComController(), nullptr);
    frame->btnPlusClick(nullptr); // a failed screen sends nothing more
    loop.RunFor(20000);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(PowerScreen, PortFailureAfterUnplugIsSilent) {
    OpenRunning();
    host.unplugged = true;
    device.SetHangUp();
    loop.RunFor(20000);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(host.closings.empty());
}

TEST_F(PowerScreen, LetGoInsideANestedWaitTheScreenIsReleasedOnlyAfterItsHandlersReturn) {
    OpenRunning();
    bool released = false;
    bool releasedDuringClose = true;
    host.onClosing = [&](bool) {
        frame->Detach();
        frame->WhenIdle([&] { released = true; });
        releasedDuringClose = released;
    };
    // The line goes while "$026" is being sent: the failure is handled inside the click's pauses.
    loop.StartTimer(
        100, [&] { device.SetHangUp(); }, false);
    frame->btnPlusClick(nullptr);
    EXPECT_EQ(host.closings, std::vector<bool>{true});
    EXPECT_FALSE(releasedDuringClose);
    EXPECT_TRUE(released);
    EXPECT_EQ(device.ReceivedText(), "$0"); // nothing after the failure
    loop.RunFor(20000);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(host.closings.size(), 1u);
}

TEST_F(PowerScreen, DetachedScreenSendsAndShowsNothingMore) {
    OpenRunning();
    const std::size_t frequencies = view.frequencies.size();
    frame->Detach();
    frame->btnMinusClick(nullptr);
    frame->btnAutoDetectClick(nullptr);
    frame->FormClose();
    loop.RunFor(20000);
    EXPECT_EQ(device.ReceivedText(), "");
    EXPECT_EQ(view.frequencies.size(), frequencies);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(host.closings.empty());
    EXPECT_FALSE(port.OnException);
    bool ran = false;
    frame->WhenIdle([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST_F(PowerScreen, SilentDeviceIsReportedAtTheSecondTick) {
    device.Options().Fault.Silent = true;
    Open();
    loop.RunUntil([&] { return dialogs.shown.size() == 2; }, 30000);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    // The start-up query gives up first; its message pauses the liveness timer, which starts over.
    EXPECT_EQ(dialogs.shown[0].text, kLastCommandFailed);
    EXPECT_EQ(dialogs.shown[1].caption, "Timeout...");
    EXPECT_EQ(dialogs.shown[1].text, kDeviceSilent);
    // Re-enabled after the message; the first tick clears bIsAlive and is enabled again after its
    // keep-alive "1" (80 ms); the second reports.
    EXPECT_EQ(dialogs.shown[1].at, dialogs.shown[0].at + 5000 + 80 + 5000);
    EXPECT_EQ(host.closings, std::vector<bool>{true});
    std::string sent = device.ReceivedText();
    EXPECT_EQ(Count(sent, "$029"), 5);
    EXPECT_EQ(sent.substr(sent.size() - 1), "1"); // the keep-alive of the first tick
}

} // namespace
