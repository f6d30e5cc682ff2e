// A screen's device link under simulated time against the in-process device simulator: pacing, the
// checked command with repetition under both reply policies, both liveness variants, the reaction to a
// failing line, and the guarded entry points.
#include "link/DeviceLink.h"
#include "../../support/RecordingDialogs.h"
#include "devsim/DeviceSimulator.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

using namespace mirota;
using devsim::DeviceSimulator;

namespace {

const std::string kEsc3 = std::string(3, ESC);

using test::RecordingDialogs;

struct NotUnplugged : MainWindowLink {
    bool unplugged = false;
    bool Unplugged() const override { return unplugged; }
};

// A screen in the style of the power screen: one reply filter, one "%"-packet filter, checked commands.
class TestWindow : public LinkHooks {
public:
    TestWindow(MessageLoop& loop, Dialogs& dialogs, TComPort* port, MainWindowLink* main, LinkPolicy policy)
        : link(loop, dialogs, port, main, policy, *this, &cmdtpcktCommandFilter) {
        cmdtpcktCommandFilter.SetComPort(port);
        cmdtpcktCommandFilter.SetStopString(std::string(1, ESC));
        cmdtpcktContinuesFilter.SetComPort(port);
        cmdtpcktContinuesFilter.SetStartString("%00");
        cmdtpcktContinuesFilter.SetStopString(std::string(1, ESC));
        link.AttachPortHandlers();
    }

    // A checked command in the reference style: it is its own resend routine; replies are read.
    void Checked(const std::string& code, const std::string& command) {
        ++disables;
        cmdtpcktContinuesFilter.OnPacket = nullptr;
        DeviceLink::Ask ask;
        ask.ReplyStart = "&" + code;
        ask.Command = command;
        ask.Reader = [this](const std::string& s) {
            replies.push_back(s);
            return true;
        };
        ask.Resend = [this, code, command](void*) { Checked(code, command); };
        link.SendChecked(ask);
    }
    // A comparing command that repeats itself.
    void Compared(const std::string& code, const std::string& command, const std::string& expected) {
        DeviceLink::Ask ask;
        ask.ReplyStart = "&" + code;
        ask.Command = command;
        ask.Expected = expected;
        ask.Resend = [this, code, command, expected](void*) { Compared(code, command, expected); };
        link.SendChecked(ask);
    }
    void ReplyHandled(const std::string& s, ReplyOutcome outcome) override {
        outcomes.emplace_back(s, outcome);
        if (outcome != ReplyOutcome::Ignored || link.Policy().Replies == ReplyPolicy::Reference) {
            EnableButtons();
            ReattachPacketFilter();
        }
    }
    void ReattachPacketFilter() override {
        cmdtpcktContinuesFilter.OnPacket = [this](TComDataPacket*, const std::string&) { link.SignOfLife(); };
    }
    void EnableButtons() override { ++enables; }
    void CloseOnFailure() override { ++closes; }
    // Sequencer liveness.
    bool RetryMissedReply() override {
        ++retries;
        if (retrySpent) return false;
        retrySpent = true;
        link.AwaitReply();
        link.SendCommand("R");
        return true;
    }
    void LinkAlive() override {
        ++alive;
        retrySpent = false;
    }
    bool PassRunning() const override { return passRunning; }

    TComDataPacket cmdtpcktCommandFilter;
    TComDataPacket cmdtpcktContinuesFilter;
    std::vector<std::string> replies;
    std::vector<std::pair<std::string, ReplyOutcome>> outcomes;
    int enables = 0, disables = 0, closes = 0, retries = 0, alive = 0;
    bool retrySpent = false;
    bool passRunning = false;
    DeviceLink link;
};

struct LinkFixture : ::testing::Test {
    SimulatedLoop loop;
    DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)};
    RecordingDialogs dialogs;
    NotUnplugged main;

    LinkFixture() { port.Open(); }

    std::unique_ptr<TestWindow> Window(int pause = 80, int limit = 4) {
        LinkPolicy policy;
        policy.PauseMs = pause;
        policy.ResendLimit = limit;
        return Window(policy);
    }
    std::unique_ptr<TestWindow> Window(const LinkPolicy& policy) {
        return std::make_unique<TestWindow>(loop, dialogs, &port, &main, policy);
    }
    std::size_t Count(const std::string& needle) const {
        const std::string text = device.ReceivedText();
        std::size_t n = 0;
        for (auto p = text.find(needle); p != std::string::npos; p = text.find(needle, p + needle.size()))
            ++n;
        return n;
    }
};

class Pacing : public LinkFixture, public ::testing::WithParamInterface<std::pair<int, bool>> {};

TEST_P(Pacing, EachCharacterIsFollowedByTheWindowsPause) {
    const auto [pause, asText] = GetParam();
    LinkPolicy policy;
    policy.PauseMs = pause;
    policy.WriteAsText = asText;
    TestWindow w(loop, dialogs, &port, &main, policy);
    const std::uint64_t t0 = loop.TickCount();
    w.link.SendCommand("$6660\r");
    EXPECT_EQ(loop.TickCount() - t0, 6u * pause);
    const auto& got = device.Received();
    ASSERT_EQ(got.size(), 6u);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].At - t0, i * pause) << i;
        EXPECT_EQ(got[i].Byte, "$6660\r"[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(DeviceLink, Pacing,
                         ::testing::Values(std::pair{60, false}, std::pair{70, false}, std::pair{80, false},
                                           std::pair{100, true}));

TEST_F(LinkFixture, EmptyCommandSendsNothingAndTakesNoTime) {
    auto w = Window();
    w->link.SendCommand("");
    EXPECT_EQ(loop.TickCount(), 0u);
    EXPECT_TRUE(device.Received().empty());
}

TEST_F(LinkFixture, ReplyDuringTheLastPauseIsAcceptedAndTheTimeOutDoesNothing) {
    auto w = Window();
    device.Options().AnswerDelayMs = 20; // well inside the 80 ms pause after the last character
    w->Checked("029", "$029");
    ASSERT_EQ(w->replies.size(), 1u);
    loop.RunFor(2000);
    EXPECT_EQ(Count("$029"), 1u);
    EXPECT_EQ(Count(kEsc3), 0u);
    EXPECT_TRUE(dialogs.shown.empty() || dialogs.shown[0].caption != "Timeout...");
}

TEST_F(LinkFixture, UnansweredCommandIsSentLimitPlusOneTimesThenTheMessage) {
    auto w = Window(80, 4);
    device.Options().Fault.Silent = true;
    w->link.StartLiveness();
    w->Checked("025", "$025");
    ASSERT_TRUE(loop.RunUntil([&] { return !dialogs.shown.empty(); }, 10000));
    EXPECT_EQ(Count("$025"), 5u);
    EXPECT_EQ(Count(kEsc3), 4u);
    // ESC ESC ESC precedes every repetition.
    EXPECT_EQ(device.ReceivedText().rfind(kEsc3 + "$025"), device.ReceivedText().size() - 7);
    EXPECT_EQ(dialogs.shown[0].text, "The last command was not executed properly!");
    EXPECT_EQ(dialogs.shown[0].caption, "Timeout...");
    EXPECT_EQ(w->link.iResendCount(), 0);
    EXPECT_GE(w->enables, 1);
    // The "%"-packet filter is attached again, so a live device keeps the screen open.
    EXPECT_TRUE(bool(w->cmdtpcktContinuesFilter.OnPacket));
}

TEST_F(LinkFixture, RepetitionsOfEarlierCommandsCountAgainstLaterOnes) {
    auto w = Window(80, 4);
    device.Options().Fault.DropReplies = 2;
    w->Checked("026", "$026");
    ASSERT_TRUE(loop.RunUntil([&] { return w->replies.size() == 1; }, 10000));
    EXPECT_EQ(w->link.iResendCount(), 2);
    device.Options().Fault.Silent = true;
    w->Checked("027", "$027");
    ASSERT_TRUE(loop.RunUntil([&] { return !dialogs.shown.empty(); }, 10000));
    EXPECT_EQ(Count("$027"), 3u); // two repetitions were left
}

TEST_F(LinkFixture, ARoutineWithoutResendIsNeverCalledEmpty) {
    auto w = Window(80, 4);
    device.Options().Fault.Silent = true;
    DeviceLink::Ask ask; // no resend routine
    ask.ReplyStart = "&666";
    ask.Command = "$6661\r";
    w->link.SendChecked(ask);
    loop.RunFor(2000);
    EXPECT_EQ(w->link.iResendCount(), 1);
    EXPECT_EQ(Count("$6661\r"), 1u);
}

TEST_F(LinkFixture, FailureInTheMiddleOfSendingStopsTheRestAndIsShownOnce) {
    auto w = Window(80, 4);
    loop.StartTimer(
        150, [&] { device.SetHangUp(); }, false);
    w->link.SendCommand("$6661\r");
    loop.RunFor(1000);
    // "$", "6" went out at 0 and 80 ms; the hang-up at 150 ms stops everything after it.
    EXPECT_EQ(device.ReceivedText(), "$6");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "The communication with the device failed.\r\n"
                                     "Make sure that the device is properly connected.\r\n"
                                     "Please restart the device.");
    EXPECT_EQ(dialogs.shown[0].caption, "Fehler");
    EXPECT_EQ(w->closes, 1);
    EXPECT_TRUE(w->link.bErrorOccures());
    EXPECT_EQ(w->link.cpComController(), nullptr);
}

TEST_F(LinkFixture, UnpluggedFailureClosesSilently) {
    auto w = Window();
    main.unplugged = true;
    device.SetHangUp();
    loop.RunFor(100);
    EXPECT_TRUE(w->link.bErrorOccures());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->closes, 0); // the main window is closing the program already
}

TEST_F(LinkFixture, SilentDeviceIsReportedAtTheSecondTick) {
    auto w = Window();
    w->link.StartLiveness();
    ASSERT_TRUE(loop.RunUntil([&] { return !dialogs.shown.empty(); }, 60000));
    // First tick at 5000 ms sends the keep-alive (one character, 80 ms) and then re-enables the timer.
    EXPECT_EQ(loop.TickCount(), 5000u + 80u + 5000u);
    EXPECT_EQ(dialogs.shown[0].text, "The device does not respond. \r\nPlease restart the device!");
    EXPECT_EQ(dialogs.shown[0].caption, "Timeout...");
    EXPECT_EQ(w->closes, 1);
    EXPECT_EQ(Count("1"), 1u); // the keep-alive at the first tick
}

TEST_F(LinkFixture, FlowingPacketsKeepTheLinkAliveAndKeepAlivesGoOut) {
    auto w = Window(60, 3);
    w->ReattachPacketFilter();
    w->link.SendCommand("$6661\r");
    w->link.StartLiveness();
    loop.RunFor(60000);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->closes, 0);
    EXPECT_GE(Count("1") - 1, 10u); // "$6661" carries a "1" of its own
}

TEST_F(LinkFixture, WhenIdleWaitsUntilTheRunningTickReturns) {
    auto w = Window();
    w->link.StartLiveness();
    bool ran = false;
    bool ranInsideTheTick = false;
    dialogs.onSystemBox = [&] {
        w->link.WhenIdle([&] { ran = true; });
        ranInsideTheTick = ran;
    };
    ASSERT_TRUE(loop.RunUntil([&] { return !dialogs.shown.empty(); }, 60000));
    EXPECT_FALSE(ranInsideTheTick);
    EXPECT_TRUE(ran);
    bool ranAtOnce = false;
    w->link.WhenIdle([&] { ranAtOnce = true; });
    EXPECT_TRUE(ranAtOnce);
}

TEST_F(LinkFixture, DetachedScreenSendsNothingAndReleasesItsPortHandlers) {
    auto w = Window();
    w->link.StartLiveness();
    w->link.Detach();
    EXPECT_TRUE(w->link.Detached());
    EXPECT_FALSE(port.OnError);
    EXPECT_FALSE(port.OnException);
    loop.RunFor(20000);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->closes, 0);
    EXPECT_EQ(device.ReceivedText(), "");
}

// ---- reply policies ------------------------------------------------------------------------------

TEST_F(LinkFixture, ReferenceComparingCommandIgnoresAWrongAnswerWithoutRepetition) {
    auto w = Window();
    device.Options().Fault.LateMs = 100; // the answer comes once the time-out runs
    w->Compared("201", "$2011\r", "5");  // the device confirms "1"
    loop.RunFor(150);
    ASSERT_EQ(w->outcomes.size(), 1u);
    EXPECT_EQ(w->outcomes[0], std::make_pair(std::string("1"), ReplyOutcome::Ignored));
    EXPECT_TRUE(w->link.bCheckValue()); // still waiting for its answer
    EXPECT_FALSE(w->link.bValueIsChecked());
    EXPECT_FALSE(w->link.CommandPending()); // any reply ends the time-out
    loop.RunFor(2000);
    EXPECT_EQ(Count("$2011\r"), 1u);
    EXPECT_EQ(Count(kEsc3), 0u);
    EXPECT_TRUE(dialogs.shown.empty());
    // While bCheckValue is set, a reading command's reply is compared too.
    w->Checked("200", "$200");
    loop.RunFor(600);
    EXPECT_TRUE(w->replies.empty());
    EXPECT_EQ(w->outcomes.back().second, ReplyOutcome::Ignored);
}

TEST_F(LinkFixture, CompareOnlyKeepsTheTimeOutAndRepeatsAWrongAnswer) {
    LinkPolicy policy;
    policy.PauseMs = 60;
    policy.ResendLimit = 3;
    policy.ReplyTimeoutMs = 400;
    policy.Replies = ReplyPolicy::CompareOnly;
    auto w = Window(policy);

    struct Case {
        const char* expected;
        std::size_t sent; // times the command went out
        bool message;     // "The last command was not executed properly!"
    };
    for (const Case c : {Case{"1", 1, false}, Case{"0", 4, true}}) {
        SCOPED_TRACE(c.expected);
        device.ClearReceived();
        dialogs.shown.clear();
        w->outcomes.clear();
        w->Compared("201", "$2011\r", c.expected);
        loop.RunFor(50);
        // An accepted answer does not end the time-out; a wrong one is not handed on at all.
        EXPECT_TRUE(w->link.CommandPending());
        EXPECT_EQ(w->outcomes.size(), c.message ? 0u : 1u);
        EXPECT_FALSE(w->link.bCheckValue());
        loop.RunFor(5000);
        EXPECT_EQ(Count("$2011\r"), c.sent);
        EXPECT_EQ(Count(kEsc3), c.sent - 1);
        EXPECT_EQ(dialogs.shown.size(), c.message ? 1u : 0u);
        EXPECT_EQ(w->link.iResendCount(), 0);
        EXPECT_FALSE(w->link.CommandPending());
    }
}

TEST_F(LinkFixture, CheckedCommandSendsItsLeadThenTheCommandThenTimesOutFromTheEnd) {
    LinkPolicy policy;
    policy.PauseMs = 60;
    policy.ReplyTimeoutMs = 400;
    policy.Replies = ReplyPolicy::CompareOnly;
    auto w = Window(policy);
    device.Options().Fault.Silent = true;
    DeviceLink::Ask ask;
    ask.Lead = "*";
    ask.LeadPauseMs = 500;
    ask.ReplyStart = "&201";
    ask.Command = "$2010\r";
    ask.Expected = "0";
    int resent = 0;
    ask.Resend = [&](void*) { ++resent; };
    w->link.SendChecked(ask);
    EXPECT_EQ(device.ReceivedText(), "*$2010\r");
    EXPECT_EQ(device.Received()[1].At, 60u + 500u);
    EXPECT_EQ(loop.TickCount(), 60u + 500u + 6 * 60u);
    EXPECT_EQ(w->link.strValueToCheck(), "0");
    EXPECT_TRUE(w->link.HasResend());
    EXPECT_TRUE(w->link.CommandPending());
    ASSERT_TRUE(loop.RunUntil([&] { return resent == 1; }, 1000));
    // ESC ESC ESC 400 ms after the last character's pause, then the routine.
    EXPECT_EQ(device.Received()[7].At, 920u + 400u);
    EXPECT_EQ(device.ReceivedText(), "*$2010\r" + kEsc3);
}

TEST_F(LinkFixture, LateReplyAfterTheTimeOutIsConsumedWithoutEffect) {
    auto w = Window(80, 0); // no repetitions: the first time-out gives up
    device.Options().Fault.LateMs = 700;
    w->Checked("026", "$026");
    loop.RunFor(2000);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, kLastCommandFailedMessage);
    EXPECT_TRUE(w->replies.empty());
    EXPECT_FALSE(w->cmdtpcktCommandFilter.OnPacket);
}

// ---- liveness and closing ----------------------------------------------------------------------

TEST_F(LinkFixture, SequencerLivenessRetriesAMissedReplyOnceThenReportsTheSilentDevice) {
    LinkPolicy policy;
    policy.PauseMs = 60;
    policy.Liveness = LivenessPolicy::Sequencer;
    auto w = Window(policy);
    device.Options().Fault.Silent = true;
    w->link.StartLiveness();
    // Idle: a tick finds the link alive and sends the keep-alive.
    loop.RunFor(5000);
    EXPECT_EQ(w->alive, 1);
    EXPECT_EQ(device.ReceivedText(), "1");
    // A step's reply goes missing while a pass runs: one retry, no keep-alive, then the message.
    w->passRunning = true;
    w->link.AwaitReply();
    w->link.SendCommand("S");
    w->link.ResumeLiveness();
    ASSERT_TRUE(loop.RunUntil([&] { return !dialogs.shown.empty(); }, 30000));
    EXPECT_EQ(w->retries, 2);
    EXPECT_EQ(device.ReceivedText(), "1SR");
    EXPECT_EQ(dialogs.shown[0].text, kDeviceSilentMessage);
    EXPECT_EQ(dialogs.shown[0].caption, kLinkTimeoutCaption);
    EXPECT_EQ(w->closes, 1);
    EXPECT_TRUE(w->link.bErrorOccures());
    EXPECT_EQ(w->link.cpComController(), nullptr);
    EXPECT_FALSE(port.OnException);
}

TEST_F(LinkFixture, ClosingStopsTheLivenessForGood) {
    auto w = Window();
    w->link.StartLiveness();
    EXPECT_TRUE(w->link.BeginClosing());
    EXPECT_FALSE(w->link.BeginClosing()); // once
    EXPECT_TRUE(w->link.bAlreadyClosing());
    w->link.ResumeLiveness();
    EXPECT_FALSE(w->link.ttmrCheckAlive()->Enabled());
    loop.RunFor(20000);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(device.ReceivedText(), "");
}

// ---- failures ----------------------------------------------------------------------------------

TEST_F(LinkFixture, FailurePoliciesPauseAndReportAsConfigured) {
    struct Case {
        const char* what;
        int pause;
        bool reportUnplugged;
        bool unplugged;
        bool closeDuringPause;
        bool shown;
    };
    const Case cases[] = {
        {"reference", 0, false, false, false, true},
        {"paused", 300, false, false, false, true},
        {"closed while paused", 300, false, false, true, false},
        {"unplugged", 0, false, true, false, false},
        {"unplugged, reported all the same", 0, true, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedLoop l;
        DeviceSimulator d(l);
        TComPort p(l, devsim::MakeSimulatedBackend(d));
        p.Open();
        RecordingDialogs dl;
        NotUnplugged m;
        m.unplugged = c.unplugged;
        LinkPolicy policy;
        policy.FailureMessagePauseMs = c.pause;
        policy.ReportWhenUnplugged = c.reportUnplugged;
        TestWindow w(l, dl, &p, &m, policy);
        if (c.closeDuringPause)
            l.StartTimer(
                100, [&] { w.link.BeginClosing(); }, false);
        std::uint64_t shownAt = 0;
        dl.onSystemBox = nullptr;
        d.SetHangUp();
        l.RunUntil(
            [&] {
                if (!dl.shown.empty() && shownAt == 0) shownAt = l.TickCount();
                return false;
            },
            1000);
        EXPECT_TRUE(w.link.bErrorOccures());
        EXPECT_EQ(dl.shown.size(), c.shown ? 1u : 0u);
        EXPECT_EQ(w.closes, c.shown ? 1 : 0);
        if (c.shown) {
            EXPECT_EQ(dl.shown[0].text, kLinkFailedMessage);
            EXPECT_GE(shownAt, static_cast<std::uint64_t>(c.pause));
        }
    }
}

// ---- entry points ------------------------------------------------------------------------------

TEST_F(LinkFixture, GuardedEntriesDeferWhenIdleAndBoundHandlersStopOnceDetached) {
    auto w = Window();
    int calls = 0;
    auto handler = w->link.Bind([&](int n) { calls += n; });
    handler(2);
    EXPECT_EQ(calls, 2);
    bool idle = false;
    const int result = w->link.Guard([&] {
        EXPECT_TRUE(w->link.Busy());
        w->link.Guard([&] { w->link.WhenIdle([&] { idle = true; }); });
        EXPECT_FALSE(idle); // the outer entry still runs
        return 7;
    });
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(idle);
    EXPECT_FALSE(w->link.Busy());
    w->link.Detach();
    handler(5);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(w->link.bAlreadyClosing());
    EXPECT_TRUE(w->link.bErrorOccures());
}

// The filters outlive a link here, so what it leaves bound to the port (which outlives both) shows.
TEST_F(LinkFixture, BoundPacketFiltersAreLetGoOnDetachAndWhenTheLinkEnds) {
    struct Hooks : LinkHooks {
        void CloseOnFailure() override {}
    };
    for (const bool detach : {true, false}) {
        SCOPED_TRACE(detach ? "detached" : "destroyed");
        TComDataPacket packets, replies;
        Hooks hooks;
        auto link = std::make_unique<DeviceLink>(loop, dialogs, &port, &main, LinkPolicy{}, hooks, &replies);
        replies.OnPacket = [](TComDataPacket*, const std::string&) {};
        link->BindPacketFilters(packets, "%007");
        EXPECT_EQ(packets.ComPort(), &port);
        EXPECT_EQ(replies.ComPort(), &port);
        EXPECT_EQ(packets.StartString(), "%007");
        EXPECT_EQ(replies.StartString(), "");
        EXPECT_EQ(packets.StopString(), std::string(1, ESC));
        EXPECT_EQ(replies.StopString(), std::string(1, ESC));
        EXPECT_FALSE(replies.OnPacket); // until a checked command arms it
        packets.OnPacket = [](TComDataPacket*, const std::string&) {};
        if (detach)
            link->Detach();
        else
            link.reset();
        EXPECT_EQ(packets.ComPort(), nullptr);
        EXPECT_EQ(replies.ComPort(), nullptr);
        EXPECT_FALSE(packets.OnPacket);
        EXPECT_FALSE(replies.OnPacket);
    }
}

TEST_F(LinkFixture, DestroyedLinkReleasesOnlyItsOwnPortHandlers) {
    {
        auto w = Window();
        EXPECT_TRUE(port.OnError && port.OnException);
    }
    EXPECT_FALSE(port.OnError || port.OnException);
    auto w = Window();
    w->link.ReleasePortHandlers(); // handed back: from now on the port's handlers are someone else's
    bool mine = false;
    port.OnException = [&](TCustomComPort*, int, const std::string&, std::int64_t, const std::string&) {
        mine = true;
    };
    w.reset();
    ASSERT_TRUE(port.OnException);
    device.SetHangUp();
    loop.RunFor(10);
    EXPECT_TRUE(mine);
}

} // namespace
