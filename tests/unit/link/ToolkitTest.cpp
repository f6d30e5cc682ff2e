// The device windows' toolkit under simulated time against the in-process device simulator: pacing,
// the checked command with repetition, liveness and the reaction to a failing line.
#include "devsim/DeviceSimulator.h"
#include "link/CommandToolkit.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

using namespace mirota;
using devsim::DeviceSimulator;

namespace {

const std::string kEsc3 = std::string(3, ESC);

struct Shown {
    std::string text;
    std::string caption;
};

class RecordingDialogs : public Dialogs {
public:
    std::vector<Shown> shown;
    // Runs while a system box is up (inside the handler that shows it).
    std::function<void()> onSystemBox;
    DialogResult ShowDialog(DialogKind kind, const std::string& text, DialogButtons) override {
        shown.push_back({text, kind == DialogKind::Error ? kCaptionError : kCaptionInformation});
        return DialogResult::Ok;
    }
    DialogResult ShowSystemBox(const std::string& text, const std::string& caption, DialogKind,
                               DialogButtons) override {
        shown.push_back({text, caption});
        if (onSystemBox)
            onSystemBox();
        return DialogResult::Ok;
    }
};

struct NotUnplugged : MainWindowLink {
    bool unplugged = false;
    bool Unplugged() const override { return unplugged; }
};

// A window in the style of the power screen: one reply filter, one "%"-packet filter, checked commands.
class TestWindow : public CommandToolkit {
public:
    TestWindow(MessageLoop& loop, Dialogs& dialogs, TComPort* port, MainWindowLink* main, ToolkitConfig config)
        : CommandToolkit(loop, dialogs, port, main, config) {
        cmdtpcktCommandFilter.SetComPort(port);
        cmdtpcktCommandFilter.SetStopString(std::string(1, ESC));
        cmdtpcktContinuesFilter.SetComPort(port);
        cmdtpcktContinuesFilter.SetStartString("%00");
        cmdtpcktContinuesFilter.SetStopString(std::string(1, ESC));
        AttachPortHandlers(true);
    }

    // A checked command in the reference style: it is its own resend routine.
    void Checked(const std::string& code, const std::string& command) {
        DisableButtons();
        cmdtpcktContinuesFilter.OnPacket = nullptr;
        cmdtpcktCommandFilter.SetStartString("&" + code);
        cmdtpcktCommandFilter.OnPacket = [this](TComDataPacket*, const std::string& s) { Reply(s); };
        bValueIsChecked = false;
        SetResend([this, code, command](void*) { Checked(code, command); });
        SendCommand(command);
        tmrCheckValue.SetEnabled(true);
    }
    void Reply(const std::string& s) {
        tmrCheckValue.SetEnabled(false);
        replies.push_back(s);
        bValueIsChecked = true;
        EnableButtons();
        ReattachPacketFilter();
    }
    void ReattachPacketFilter() override {
        cmdtpcktContinuesFilter.OnPacket = [this](TComDataPacket*, const std::string&) { bIsAlive = true; };
    }
    void EnableButtons() override { ++enables; }
    void DisableButtons() override { ++disables; }
    TComDataPacket* ReplyFilter() override { return &cmdtpcktCommandFilter; }
    void CloseOnFailure() override { ++closes; }

    TComDataPacket cmdtpcktCommandFilter;
    TComDataPacket cmdtpcktContinuesFilter;
    std::vector<std::string> replies;
    int enables = 0, disables = 0, closes = 0;
};

struct ToolkitFixture : ::testing::Test {
    SimulatedLoop loop;
    DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)};
    RecordingDialogs dialogs;
    NotUnplugged main;

    ToolkitFixture() { port.Open(); }

    std::unique_ptr<TestWindow> Window(int pause = 80, int limit = 4) {
        ToolkitConfig config;
        config.PauseMs = pause;
        config.ResendLimit = limit;
        return std::make_unique<TestWindow>(loop, dialogs, &port, &main, config);
    }
    std::size_t Count(const std::string& needle) const {
        const std::string text = device.ReceivedText();
        std::size_t n = 0;
        for (auto p = text.find(needle); p != std::string::npos; p = text.find(needle, p + needle.size()))
            ++n;
        return n;
    }
};

class Pacing : public ToolkitFixture, public ::testing::WithParamInterface<std::pair<int, bool>> {};

TEST_P(Pacing, EachCharacterIsFollowedByTheWindowsPause) {
    const auto [pause, asText] = GetParam();
    ToolkitConfig config;
    config.PauseMs = pause;
    config.WriteAsText = asText;
    TestWindow w(loop, dialogs, &port, &main, config);
    const std::uint64_t t0 = loop.TickCount();
    w.SendCommand("$6660\r");
    EXPECT_EQ(loop.TickCount() - t0, 6u * pause);
    const auto& got = device.Received();
    ASSERT_EQ(got.size(), 6u);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].At - t0, i * pause) << i;
        EXPECT_EQ(got[i].Byte, "$6660\r"[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Toolkit, Pacing,
                         ::testing::Values(std::pair{60, false}, std::pair{70, false}, std::pair{80, false},
                                           std::pair{100, true}));

TEST_F(ToolkitFixture, EmptyCommandSendsNothingAndTakesNoTime) {
    auto w = Window();
    w->SendCommand("");
    EXPECT_EQ(loop.TickCount(), 0u);
    EXPECT_TRUE(device.Received().empty());
}

TEST_F(ToolkitFixture, ReplyDuringTheLastPauseIsAcceptedAndTheTimeOutDoesNothing) {
    auto w = Window();
    device.Options().AnswerDelayMs = 20; // well inside the 80 ms pause after the last character
    w->Checked("029", "$029");
    ASSERT_EQ(w->replies.size(), 1u);
    loop.RunFor(2000);
    EXPECT_EQ(Count("$029"), 1u);
    EXPECT_EQ(Count(kEsc3), 0u);
    EXPECT_TRUE(dialogs.shown.empty() || dialogs.shown[0].caption != "Timeout...");
}

TEST_F(ToolkitFixture, UnansweredCommandIsSentLimitPlusOneTimesThenTheMessage) {
    auto w = Window(80, 4);
    device.Options().Fault.Silent = true;
    w->StartLiveness();
    w->Checked("025", "$025");
    ASSERT_TRUE(loop.RunUntil([&] { return !dialogs.shown.empty(); }, 10000));
    EXPECT_EQ(Count("$025"), 5u);
    EXPECT_EQ(Count(kEsc3), 4u);
    // ESC ESC ESC precedes every repetition.
    EXPECT_EQ(device.ReceivedText().rfind(kEsc3 + "$025"), device.ReceivedText().size() - 7);
    EXPECT_EQ(dialogs.shown[0].text, "The last command was not executed properly!");
    EXPECT_EQ(dialogs.shown[0].caption, "Timeout...");
    EXPECT_EQ(w->iResendCount, 0);
    EXPECT_GE(w->enables, 1);
    // The "%"-packet filter is attached again, so a live device keeps the screen open.
    EXPECT_TRUE(bool(w->cmdtpcktContinuesFilter.OnPacket));
}

TEST_F(ToolkitFixture, RepetitionsOfEarlierCommandsCountAgainstLaterOnes) {
    auto w = Window(80, 4);
    device.Options().Fault.DropReplies = 2;
    w->Checked("026", "$026");
    ASSERT_TRUE(loop.RunUntil([&] { return w->replies.size() == 1; }, 10000));
    EXPECT_EQ(w->iResendCount, 2);
    device.Options().Fault.Silent = true;
    w->Checked("027", "$027");
    ASSERT_TRUE(loop.RunUntil([&] { return !dialogs.shown.empty(); }, 10000));
    EXPECT_EQ(Count("$027"), 3u); // two repetitions were left
}

TEST_F(ToolkitFixture, ARoutineWithoutResendIsNeverCalledEmpty) {
    auto w = Window(80, 4);
    device.Options().Fault.Silent = true;
    w->cmdtpcktCommandFilter.SetStartString("&666");
    w->bValueIsChecked = false;
    w->SendCommand("$6661\r");
    w->tmrCheckValue.SetEnabled(true);
    loop.RunFor(2000);
    EXPECT_EQ(w->iResendCount, 1);
    EXPECT_EQ(Count("$6661\r"), 1u);
}

TEST_F(ToolkitFixture, FailureInTheMiddleOfSendingStopsTheRestAndIsShownOnce) {
    auto w = Window(80, 4);
    loop.StartTimer(150, [&] { device.SetHangUp(); }, false);
    w->SendCommand("$6661\r");
    loop.RunFor(1000);
    // "$", "6" went out at 0 and 80 ms; the hang-up at 150 ms stops everything after it.
    EXPECT_EQ(device.ReceivedText(), "$6");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "The communication with the device failed.\r\n"
                                     "Make sure that the device is properly connected.\r\n"
                                     "Please restart the device.");
    EXPECT_EQ(dialogs.shown[0].caption, "Fehler");
    EXPECT_EQ(w->closes, 1);
    EXPECT_TRUE(w->bErrorOccures);
    EXPECT_EQ(w->cpComController, nullptr);
}

TEST_F(ToolkitFixture, UnpluggedFailureClosesSilently) {
    auto w = Window();
    main.unplugged = true;
    device.SetHangUp();
    loop.RunFor(100);
    EXPECT_TRUE(w->bErrorOccures);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->closes, 0); // the main window is closing the program already
}

TEST_F(ToolkitFixture, SilentDeviceIsReportedAtTheSecondTick) {
    auto w = Window();
    w->StartLiveness();
    ASSERT_TRUE(loop.RunUntil([&] { return !dialogs.shown.empty(); }, 60000));
    // First tick at 5000 ms sends the keep-alive (one character, 80 ms) and then re-enables the timer.
    EXPECT_EQ(loop.TickCount(), 5000u + 80u + 5000u);
    EXPECT_EQ(dialogs.shown[0].text, "The device does not respond. \r\nPlease restart the device!");
    EXPECT_EQ(dialogs.shown[0].caption, "Timeout...");
    EXPECT_EQ(w->closes, 1);
    EXPECT_EQ(Count("1"), 1u); // the keep-alive at the first tick
}

TEST_F(ToolkitFixture, FlowingPacketsKeepTheLinkAliveAndKeepAlivesGoOut) {
    auto w = Window(60, 3);
    w->ReattachPacketFilter();
    w->SendCommand("$6661\r");
    w->StartLiveness();
    loop.RunFor(60000);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->closes, 0);
    EXPECT_GE(Count("1") - 1, 10u); // "$6661" carries a "1" of its own
}

TEST_F(ToolkitFixture, WhenIdleWaitsUntilTheRunningTickReturns) {
    auto w = Window();
    w->StartLiveness();
    bool ran = false;
    bool ranInsideTheTick = false;
    dialogs.onSystemBox = [&] {
        w->WhenIdle([&] { ran = true; });
        ranInsideTheTick = ran;
    };
    ASSERT_TRUE(loop.RunUntil([&] { return !dialogs.shown.empty(); }, 60000));
    EXPECT_FALSE(ranInsideTheTick);
    EXPECT_TRUE(ran);
    bool ranAtOnce = false;
    w->WhenIdle([&] { ranAtOnce = true; });
    EXPECT_TRUE(ranAtOnce);
}

TEST_F(ToolkitFixture, DetachedScreenSendsNothingAndReleasesItsPortHandlers) {
    auto w = Window();
    w->StartLiveness();
    w->Detach();
    EXPECT_TRUE(w->Detached());
    EXPECT_FALSE(port.OnError);
    EXPECT_FALSE(port.OnException);
    loop.RunFor(20000);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->closes, 0);
    EXPECT_EQ(device.ReceivedText(), "");
}

} // namespace
