// The settings screen's read and write passes against the simulated device, in simulated time.
#include "SettingsFakes.h"

#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/SimulatedLoop.h"
#include "settings/FrmSettings.h"

#include <gtest/gtest.h>

#include <fstream>

namespace mirota {
namespace {

using namespace mirota::testing;
using Texts = std::vector<std::string>;

// One command as the device received it: its text up to and including ESC or CR, and when its first
// and last bytes arrived.
struct Sent {
    std::string text;
    std::uint64_t first;
    std::uint64_t last;
};

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        cfg =
            std::filesystem::temp_directory_path() /
            ("settings-seq-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(cfg);
        std::filesystem::create_directories(cfg);
        Write("SettingsCommands X.ini",
              "[Group A]\nRange=$101\nFilter=$103\n[Group B]\nUnit name=$122\nMode=$110\n");
        Write("DisplayValues X.ini", "[Filter]\n0=1 Hz\n1=10 Hz\n2=100 Hz\n[Mode]\n0=Off\n1=On\n");
        Write("InfoConfiguration X.ini",
              "[Group A]\n1=Range info\n2=Filter info\n[Group B]\n1=Name info\n2=Mode info\n");
        Write("HiddenCommands.ini", "[Hidden]\nh1=$140\nh2=$141\n");
    }
    void TearDown() override {
        frame.reset();
        port.reset();
        device.reset();
        std::filesystem::remove_all(cfg);
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(cfg / name, std::ios::binary) << text;
    }

    // Creates the device, the port and the screen; the first read pass starts.
    // The first read pass runs inside Start (each reply comes within the pause after the last
    // character); `beforeStart` sees the screen just before.
    void Open(int version = 31, devsim::DeviceOptions options = {}, std::function<void()> beforeStart = {}) {
        // The simulator holds the settings of the catalogue in cfg.
        options.Type = " X";
        options.CfgDir = cfg.string();
        device = std::make_unique<devsim::DeviceSimulator>(loop, options);
        auto& s = device->Settings();
        s["$101"] = "250";
        s["$103"] = "2";
        s["$122"] = "Bench A";
        s["$110"] = "0";
        s["$140"] = "1.0042";
        s["$141"] = "0.9987";
        port = std::make_unique<TComPort>(loop, devsim::MakeSimulatedBackend(*device));
        port->Open();
        start = loop.TickCount();
        frame = std::make_unique<TfrmSettingsFrame>(
            ScreenArgs{host, loop, dialogs, port.get(), "Mirota X", "SN42", version}, view, cfg);
        view.frame = frame.get();
        if (beforeStart) beforeStart();
        frame->Start();
    }
    bool RunUntilIdle(std::uint64_t maxMs = 60000) {
        return loop.RunUntil([&] { return frame->iCurrentState == 0 || view.closed; }, maxMs);
    }
    std::vector<Sent> Commands() const {
        std::vector<Sent> out;
        Sent cur{"", 0, 0};
        for (const auto& b : device->Received()) {
            if (cur.text.empty()) cur.first = b.At;
            cur.text += b.Byte;
            cur.last = b.At;
            if (b.Byte == ESC || b.Byte == CR || cur.text == "*" || cur.text == "1") {
                out.push_back(cur);
                cur = {"", 0, 0};
            }
        }
        if (!cur.text.empty()) out.push_back(cur);
        return out;
    }
    Texts CommandTexts() const {
        Texts t;
        for (const auto& c : Commands())
            t.push_back(c.text);
        return t;
    }
    // Gives row `row` a new value the way the user does: double click and input or selection.
    void Enter(int row, const std::string& value) {
        view.selected = row;
        if (frame->Catalogue().olCurrentDisplay[row].empty())
            dialogs.inputs.push_back(value);
        else
            view.selections.push_back(value);
        frame->lvDeviceSettingsDblClick();
    }
    Texts Column(int c) const {
        Texts t;
        for (const auto& r : frame->Rows())
            t.push_back(c == 1 ? r.CurrentValue : c == 2 ? r.NewValue : r.Description);
        return t;
    }

    static std::string E(const std::string& s) { return s + std::string(1, ESC); }
    static std::string C(const std::string& s) { return s + std::string(1, CR); }

    std::filesystem::path cfg;
    SimulatedLoop loop;
    FakeHost host;
    FakeDialogs dialogs{loop};
    FakeView view;
    std::unique_ptr<devsim::DeviceSimulator> device;
    std::unique_ptr<TComPort> port;
    std::unique_ptr<TfrmSettingsFrame> frame;
    std::uint64_t start = 0;
    bool duringPass = false;
};

TEST_F(SequencerTest, ReadPassAsksForEveryEntryThenEveryHiddenSetting) {
    Open(31, {}, [&] {
        EXPECT_EQ(frame->Caption(), "Settings(SN42)");
        EXPECT_FALSE(view.applyEnabled);
        EXPECT_FALSE(view.cancelEnabled);
        EXPECT_FALSE(view.saveLoadVisible);
        EXPECT_EQ(frame->iCurrentState, 0);
        // While the pass runs: busy panel shown, state 2.
        loop.StartTimer(
            100,
            [&] {
                duringPass = true;
                EXPECT_TRUE(view.busy);
                EXPECT_EQ(frame->iCurrentState, 2);
            },
            false);
    });
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_TRUE(duringPass);

    EXPECT_EQ(CommandTexts(), (Texts{E("$101"), E("$103"), E("$122"), E("$110"), E("$140"), E("$141")}));
    EXPECT_EQ(device->Settings().size(), 6u) << "the simulator holds the catalogue's settings";
    // One character every 60 ms; a reply within the last pause lets the next command follow it.
    const auto cmds = Commands();
    EXPECT_EQ(cmds[0].first, start);
    for (const auto& c : cmds)
        EXPECT_EQ(c.last - c.first, 60u * (c.text.size() - 1)) << c.text;
    for (std::size_t i = 1; i < cmds.size(); ++i)
        EXPECT_EQ(cmds[i].first, cmds[i - 1].last + 60) << i;

    EXPECT_EQ(frame->slCurrentValue, (Texts{"250", "2", "Bench A", "0"}));
    EXPECT_EQ(frame->slHiddenValues, (Texts{"1.0042", "0.9987"}));
    EXPECT_EQ(Column(1), (Texts{"250", "100 Hz", "Bench A", "Off"}));
    EXPECT_EQ(Column(2), (Texts{"-", "-", "-", "-"}));
    EXPECT_EQ(frame->Rows()[2].Group, 1);
    EXPECT_EQ(frame->Rows()[3].Info, "Mode info");
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.applyEnabled);
    EXPECT_FALSE(view.cancelEnabled);
    EXPECT_TRUE(view.saveLoadVisible);
    EXPECT_EQ(frame->iLastState, 2);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(view.busyTexts.front(), "Read current value of: Range");
    EXPECT_EQ(view.busyTexts.back(), "Read configuration value...");
}

TEST_F(SequencerTest, NothingGoesOutBeforeStart) {
    bool quietBeforeStart = false;
    Open(31, {}, [&] {
        loop.RunFor(12000); // no read pass and no keep-alive before the window is up
        quietBeforeStart = device->ReceivedText().empty() && view.busyTexts.empty() && !view.busy;
        start = loop.TickCount();
    });
    EXPECT_TRUE(quietBeforeStart);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Commands().front().first, start);
    EXPECT_EQ(CommandTexts().size(), 6u);
}

TEST_F(SequencerTest, FirmwareBelow30ReadsNoHiddenSettingsAndOffersNoFiles) {
    Open(29);
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(CommandTexts(), (Texts{E("$101"), E("$103"), E("$122"), E("$110")}));
    EXPECT_FALSE(view.saveLoadVisible);
}

TEST_F(SequencerTest, ValuesWithoutADisplayTextAreShownAsRead) {
    Open(31, {}, [&] {
        device->Settings()["$103"] = "7";
        device->Settings()["$110"] = "1.5";
    });
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Column(1), (Texts{"250", "7", "Bench A", "1.5"}));
}

TEST_F(SequencerTest, WritePassWritesCheckedRowsInRowOrderThenHiddenValuesThenReads) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    // Checked out of order, written in row order.
    Enter(3, "On");
    Enter(0, "12.5");
    Enter(1, "10 Hz");
    frame->slHiddenNValues = {"1.5", "0.5"};
    device->ClearReceived();
    loop.StartTimer(
        100,
        [&] {
            duringPass = true;
            EXPECT_FALSE(view.applyEnabled);
            EXPECT_TRUE(view.cancelEnabled);
            EXPECT_EQ(frame->iCurrentState, 1);
        },
        false);
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_TRUE(duringPass);

    const Texts writes{C("$10112.5"), C("$1031"), C("$1101"), C("$1401.5"), C("$1410.5")};
    const Texts reads{E("$101"), E("$103"), E("$122"), E("$110"), E("$140"), E("$141")};
    Texts expected = writes;
    expected.insert(expected.end(), reads.begin(), reads.end());
    EXPECT_EQ(CommandTexts(), expected);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Configuration complete...");
    EXPECT_EQ(dialogs.shown[0].text, "All values are set correctly");
    EXPECT_EQ(Column(1), (Texts{"12.5", "10 Hz", "Bench A", "On"}));
    EXPECT_EQ(Column(2), (Texts{"-", "-", "-", "-"}));
    for (const auto& r : frame->Rows())
        EXPECT_FALSE(r.Checked);
    EXPECT_TRUE(frame->slHiddenNValues.empty());
    EXPECT_FALSE(frame->bWritingUncomplete);
    EXPECT_EQ(frame->iLastState, 2);
}

TEST_F(SequencerTest, ApplyWaits500MsBeforeTheFirstWrite) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(0, "5");
    device->ClearReceived();
    const std::uint64_t pressed = loop.TickCount();
    frame->btnApplyClick();
    ASSERT_FALSE(device->Received().empty());
    EXPECT_EQ(device->Received().front().At, pressed + 500);
}

TEST_F(SequencerTest, ApplyWithoutACheckedRowOnlyTellsTheUser) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    device->ClearReceived();
    frame->btnApplyClick();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].first, "");
    EXPECT_EQ(view.boxes[0].second, "There is no value selected to be set. \r\nPlease select one first.");
    EXPECT_EQ(frame->iCurrentState, 0);
    loop.RunFor(1000);
    EXPECT_TRUE(device->ReceivedText().empty());
}

TEST(EchoTest, EqualOrEqualHundredsCountsAsSet) {
    struct Case {
        const char* written;
        const char* echoed;
        bool set;
    };
    for (const Case& tc : {Case{"12.5", "12.50", true}, Case{"12.5", "12.4", true}, Case{"251", "250", false},
                           Case{"150", "249", true}, Case{"150", "250", true}, Case{"250", "349", false},
                           Case{"-49", "49", true}, Case{"7", " 7 ", true}, Case{"1e2", "100", true},
                           Case{"12,5", "12,5", false}, Case{"abc", "abc", false}, Case{"5", "", false},
                           Case{"", "", false}, Case{"nan", "nan", false}}) {
        EXPECT_EQ(EchoMatches(tc.written, tc.echoed), tc.set) << tc.written << " / " << tc.echoed;
    }
}

TEST_F(SequencerTest, TheResultBoxFollowsTheEchoes) {
    struct Case {
        const char* written;
        const char* held;
        const char* caption;
    };
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    for (const Case& tc :
         {Case{"12.5", "12.50", "Configuration complete..."},
          Case{"12.5", "12.4", "Configuration complete..."}, Case{"251", "250", "Configuration failed..."}}) {
        SCOPED_TRACE(tc.written + std::string(" / ") + tc.held);
        const std::string held = tc.held;
        device->OnSettingWritten = [held](const std::string& command, const std::string& written) {
            return command == "$101" ? held : written;
        };
        dialogs.shown.clear();
        Enter(0, tc.written);
        frame->btnApplyClick();
        ASSERT_TRUE(RunUntilIdle());
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].caption, tc.caption);
        EXPECT_EQ(frame->Rows()[0].CurrentValue, tc.held);
        EXPECT_FALSE(frame->bWritingUncomplete);
    }
}

TEST_F(SequencerTest, APassStartedWhileTheResultBoxIsShownKeepsItsOwnResult) {
    // The result box does not block the screen: Apply may be pressed again before it is answered.
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    bool again = false;
    dialogs.whileShown = [&] {
        if (again) return;
        again = true;
        Enter(0, "251");
        frame->btnApplyClick();
    };
    Enter(0, "12.5");
    // The second value is not taken.
    device->OnSettingWritten = [](const std::string& command, const std::string& written) {
        return command == "$101" && written == "251" ? std::string("1") : written;
    };
    frame->btnApplyClick();
    ASSERT_TRUE(loop.RunUntil([&] { return dialogs.shown.size() >= 2 && frame->iCurrentState == 0; }, 60000));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].caption, "Configuration complete...");
    EXPECT_EQ(dialogs.shown[1].caption, "Configuration failed...");
    EXPECT_FALSE(frame->bWritingUncomplete);
}

TEST_F(SequencerTest, EchoesThatAreNoNumbersDoNotStallThePass) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(2, "Bench B"); // a free-text value: its echo is no number
    Enter(0, "300");
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Configuration failed...");
    EXPECT_EQ(dialogs.shown[0].text, "Not all values have been set correctly");
    EXPECT_EQ(device->Settings()["$122"], "Bench B");
    EXPECT_EQ(device->Settings()["$101"], "300");
    EXPECT_FALSE(frame->bWritingUncomplete);
}

TEST_F(SequencerTest, UnknownDisplayTextIsSkippedAndCountsAsNotSet) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    // As a loaded file can give it: a text that is none of the setting's display texts.
    frame->SetRowChecked(1, true);
    view.selected = 1;
    view.selections.push_back("1000 Hz");
    frame->lvDeviceSettingsDblClick();
    Enter(3, "on"); // display texts match without regard to letter case
    device->ClearReceived();
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    const Texts cmds = CommandTexts();
    ASSERT_FALSE(cmds.empty());
    EXPECT_EQ(cmds[0], C("$1101"));
    EXPECT_EQ(cmds[1], E("$101"));
    EXPECT_EQ(device->Settings()["$103"], "2");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Configuration failed...");
}

TEST_F(SequencerTest, SurplusPendingHiddenValuesAreNotSent) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(0, "1");
    frame->slHiddenNValues = {"1", "2", "3", "4"};
    device->ClearReceived();
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    const Texts cmds = CommandTexts();
    EXPECT_EQ(Texts(cmds.begin(), cmds.begin() + 4), (Texts{C("$1011"), C("$1401"), C("$1412"), E("$101")}));
    EXPECT_TRUE(frame->slHiddenNValues.empty());
}

TEST_F(SequencerTest, CancelDuringAWritePassActsAfterTheOutstandingReply) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(0, "1");
    Enter(2, "x");
    Enter(3, "On");
    device->ClearReceived();
    // Press Cancel while the first write is being sent.
    std::uint64_t cancelAt = 0;
    loop.StartTimer(
        600,
        [&] {
            cancelAt = loop.TickCount();
            frame->btnCancelClick();
        },
        false);
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_GT(cancelAt, 0u);
    const Texts cmds = CommandTexts();
    ASSERT_GE(cmds.size(), 2u);
    EXPECT_EQ(cmds[0], C("$1011"));
    // Yes: no further writes, a read pass, no result box.
    EXPECT_EQ(cmds[1], E("$101"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, kSettingsCancelWrite);
    EXPECT_GT(dialogs.shown[0].at, cancelAt);
    EXPECT_EQ(frame->iLastState, 2);
    EXPECT_FALSE(view.closed);
}

TEST_F(SequencerTest, CancelAnsweredNoGoesOnWithTheNextValue) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(0, "1");
    Enter(3, "On");
    device->ClearReceived();
    dialogs.answers = {DialogResult::No};
    loop.StartTimer(
        600, [&] { frame->btnCancelClick(); }, false);
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    const Texts cmds = CommandTexts();
    EXPECT_EQ(Texts(cmds.begin(), cmds.begin() + 3), (Texts{C("$1011"), C("$1101"), E("$101")}));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, "All values are set correctly");
}

TEST_F(SequencerTest, CancelWhileTheLastWriteIsOutstandingAsksNothingAndShowsNoBox) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(0, "1");
    device->ClearReceived();
    loop.StartTimer(
        600, [&] { frame->btnCancelClick(); }, false);
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(CommandTexts().size(), 7u);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SequencerTest, AfterCancelClosingClosesAtOnceWithoutAQuestion) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(0, "1");
    Enter(3, "On");
    bool closedAtOnce = false;
    loop.StartTimer(
        600,
        [&] {
            frame->btnCancelClick();
            view.CloseWindow();
            closedAtOnce = view.closed;
        },
        false);
    device->ClearReceived();
    frame->btnApplyClick();
    EXPECT_TRUE(closedAtOnce);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    // The outstanding reply is consumed without a further step.
    loop.RunFor(20000);
    EXPECT_EQ(CommandTexts(), Texts{C("$1011")});
}

TEST_F(SequencerTest, ClosingDuringAReadPassAsksWhetherToCancel) {
    for (DialogResult answer : {DialogResult::Yes, DialogResult::No}) {
        SCOPED_TRACE(answer == DialogResult::Yes ? "Yes" : "No");
        TearDown();
        SetUp();
        view = FakeView{};
        dialogs.shown.clear();
        host.closings.clear();
        dialogs.answers = {answer};
        std::size_t sentAtClose = 0;
        loop.StartTimer(
            100,
            [&] {
                view.CloseWindow();
                sentAtClose = device->ReceivedText().size();
            },
            false);
        Open(31);
        ASSERT_TRUE(RunUntilIdle());
        EXPECT_EQ(view.closeRequests, answer == DialogResult::Yes ? 2 : 1);
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, kSettingsCancelRead);
        if (answer == DialogResult::Yes) {
            EXPECT_TRUE(view.closed);
            EXPECT_EQ(host.closings, std::vector<bool>{false});
            EXPECT_EQ(CommandTexts(), Texts{E("$101")});
        } else {
            EXPECT_FALSE(view.closed);
            // The pass goes on with the next entry, not the one just read.
            EXPECT_EQ(CommandTexts().size(), 6u);
            EXPECT_EQ(CommandTexts()[1], E("$103"));
            EXPECT_EQ(frame->slCurrentValue.size(), 4u);
        }
        (void)sentAtClose;
    }
}

TEST_F(SequencerTest, ClosingWhenIdleHandsBackAtOnce) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    view.CloseWindow();
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SequencerTest, OneMissedReplyIsRetriedWithAStarASecondGivesTheTimeout) {
    devsim::DeviceOptions options;
    options.Fault.DropReplies = 1;
    Open(31, options);
    ASSERT_TRUE(RunUntilIdle());
    const auto cmds = Commands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].text, E("$101"));
    EXPECT_EQ(cmds[1].text, "*");
    EXPECT_EQ(cmds[2].text, E("$101"));
    // The tick comes 5 s after the command's last character; "*" then a 50 ms pause.
    EXPECT_EQ(cmds[1].first, cmds[0].last + 60 + 5000);
    EXPECT_EQ(cmds[2].first, cmds[1].first + 60 + 50);
    EXPECT_EQ(frame->slCurrentValue, (Texts{"250", "2", "Bench A", "0"}));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(frame->iRetryCount, 1);

    // The retry is spent until an idle interval passes: a second miss in the next pass is fatal.
    device->Options().Fault.DropReplies = 1;
    Enter(0, "1");
    frame->btnApplyClick();
    ASSERT_TRUE(loop.RunUntil([&] { return view.closed; }, 60000));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Timeout...");
    EXPECT_EQ(dialogs.shown[0].text, "The device does not respond. \r\nPlease restart the device!");
    EXPECT_EQ(host.closings, std::vector<bool>{true});
    EXPECT_TRUE(frame->Link().bErrorOccures());
    EXPECT_EQ(frame->Link().cpComController(), nullptr);
}

TEST_F(SequencerTest, AnIdleIntervalGrantsTheRetryAgain) {
    devsim::DeviceOptions options;
    options.Fault.DropReplies = 1;
    Open(31, options);
    ASSERT_TRUE(RunUntilIdle());
    loop.RunFor(5100); // one tick with nothing outstanding
    EXPECT_EQ(frame->iRetryCount, 0);
    device->Options().Fault.DropReplies = 1;
    Enter(0, "1");
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_FALSE(view.closed);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "All values are set correctly");
}

TEST_F(SequencerTest, WithoutAPassTheKeepAliveRunsAndSilenceIsNeverReported) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    const std::uint64_t idleFrom = loop.TickCount();
    device->ClearReceived();
    device->Options().Fault.Silent = true;
    loop.RunFor(16000);
    const auto cmds = Commands();
    ASSERT_EQ(cmds.size(), 3u);
    for (const auto& c : cmds)
        EXPECT_EQ(c.text, "1");
    EXPECT_LE(cmds[0].first, idleFrom + 5000);
    EXPECT_EQ(cmds[1].first, cmds[0].first + 60 + 5000);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(view.closed);
}

TEST_F(SequencerTest, EmptyCatalogueCompletesAtOnceAndKeepsAlive) {
    std::filesystem::remove(cfg / "SettingsCommands X.ini");
    std::filesystem::remove(cfg / "HiddenCommands.ini");
    Open(31);
    EXPECT_EQ(frame->iCurrentState, 0);
    EXPECT_TRUE(frame->Rows().empty());
    EXPECT_TRUE(view.applyEnabled);
    loop.RunFor(4999);
    EXPECT_TRUE(device->ReceivedText().empty());
    loop.RunFor(1);
    EXPECT_EQ(device->ReceivedText(), "1");
}

TEST_F(SequencerTest, PortFailureWaits300MsThenTellsTheUserAndCloses) {
    for (bool unplugged : {false, true}) {
        SCOPED_TRACE(unplugged);
        TearDown();
        SetUp();
        view = FakeView{};
        dialogs.shown.clear();
        host.closings.clear();
        host.unplugged = unplugged;
        Open(31);
        ASSERT_TRUE(RunUntilIdle());
        const std::uint64_t failedAt = loop.TickCount();
        device->SetHangUp();
        loop.RunFor(1000);
        EXPECT_TRUE(frame->Link().bErrorOccures());
        EXPECT_EQ(frame->Link().cpComController(), nullptr);
        if (unplugged) {
            EXPECT_TRUE(dialogs.shown.empty());
            EXPECT_FALSE(view.closed); // the control screen's unplug handling closes it
        } else {
            ASSERT_EQ(dialogs.shown.size(), 1u);
            EXPECT_EQ(dialogs.shown[0].text, kLinkFailedMessage);
            EXPECT_GE(dialogs.shown[0].at, failedAt + 300);
            EXPECT_TRUE(view.closed);
            EXPECT_EQ(host.closings, std::vector<bool>{true});
        }
    }
}

TEST_F(SequencerTest, TheScreenIsReleasedOnlyOnceNoHandlerOfItRuns) {
    // The line fails while a write is being sent: the failure box and the close happen deep inside the
    // write step's pauses; the host lets go of the screen right there.
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(0, "123456");
    bool releasedBusy = true;
    bool released = false;
    host.onClosing = [&](bool) {
        frame->Detach();
        frame->WhenIdle([&] {
            released = true;
            releasedBusy = frame->Busy();
        });
        EXPECT_FALSE(released) << "the closing screen is still running its handlers";
    };
    loop.StartTimer(
        700, [&] { device->SetHangUp(); }, false);
    device->ClearReceived();
    frame->btnApplyClick();
    EXPECT_TRUE(released);
    EXPECT_FALSE(releasedBusy);
    EXPECT_EQ(host.closings, std::vector<bool>{true});
    // The write stopped at the failure; nothing is sent afterwards.
    const std::size_t sent = device->ReceivedText().size();
    EXPECT_LT(sent, std::string("$101123456\r").size());
    loop.RunFor(20000);
    EXPECT_EQ(device->ReceivedText().size(), sent);
}

class ConfigurationTest : public SequencerTest {
protected:
    std::string File(const std::string& name, const std::string& text) {
        const std::string path = (cfg / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    Texts NewValues() const { return Column(2); }
    std::vector<bool> Checks() const {
        std::vector<bool> c;
        for (const auto& r : frame->Rows())
            c.push_back(r.Checked);
        return c;
    }
};

TEST_F(ConfigurationTest, SavedFileHoldsTheShownValuesAndLoadsBackAsNewValues) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    view.saveName = (cfg / "snapshot.XML").string(); // already has the extension: not added twice
    frame->btnSaveClick();
    EXPECT_EQ(view.proposedSaveName.rfind("Mirota X_SN42_", 0), 0u);
    std::ifstream in(cfg / "snapshot.XML");
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(doc,
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<conf vtype=\" X\">\n  <G0>\n    <V0>250</V0>\n"
              "    <V1>100 Hz</V1>\n  </G0>\n  <G1>\n    <V2>Bench A</V2>\n    <V3>Off</V3>\n  </G1>\n"
              "  <H>\n    <V0>1.0042</V0>\n    <V1>0.9987</V1>\n  </H>\n</conf>\n");

    view.openName = (cfg / "snapshot.XML").string();
    frame->btnLoadClick();
    EXPECT_EQ(NewValues(), (Texts{"250", "100 Hz", "Bench A", "Off"}));
    EXPECT_EQ(Checks(), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(frame->slHiddenNValues, (Texts{"1.0042", "0.9987"}));
}

TEST_F(ConfigurationTest, LoadedValuesAreWrittenByApplyInRowOrderThenTheHiddenValues) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    // Other element names, other grouping, a "-" that leaves its row unchecked.
    frame->LoadConfiguration(File("other.xml", "<conf vtype=\" X\"><A><x>300</x><y>-</y><z>Bench C</z></A>"
                                               "<B><w>on</w></B><H><q>2.5</q></H></conf>"));
    EXPECT_EQ(NewValues(), (Texts{"300", "-", "Bench C", "on"}));
    EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true, true}));
    device->ClearReceived();
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    const Texts cmds = CommandTexts();
    ASSERT_GE(cmds.size(), 4u);
    EXPECT_EQ(Texts(cmds.begin(), cmds.begin() + 4),
              (Texts{C("$101300"), C("$122Bench C"), C("$1101"), C("$1402.5")}));
    EXPECT_EQ(device->Settings()["$140"], "2.5");
}

TEST_F(ConfigurationTest, FewerValuesChangeOnlyTheFirstRowsAndSurplusValuesAreIgnored) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(3, "On");
    frame->LoadConfiguration(
        File("short.xml", "<conf vtype=\" X\"><G0><V0>1</V0><V1>10 Hz</V1></G0></conf>"));
    EXPECT_EQ(NewValues(), (Texts{"1", "10 Hz", "-", "On"}));
    EXPECT_EQ(Checks(), (std::vector<bool>{true, true, false, true}));
    frame->LoadConfiguration(File("long.xml",
                                  "<conf vtype=\" X\"><G0><V0>a</V0><V1>b</V1><V2>c</V2><V3>d</V3>"
                                  "<V4>e</V4><V5>f</V5></G0><H><V0>x</V0></H></conf>"));
    EXPECT_EQ(NewValues(), (Texts{"a", "b", "c", "d"}));
    // A second file's hidden values are appended to those pending.
    frame->LoadConfiguration(File("hidden.xml", "<conf vtype=\" X\"><H><V0>y</V0><V1>z</V1></H></conf>"));
    EXPECT_EQ(frame->slHiddenNValues, (Texts{"x", "y", "z"}));
}

TEST_F(ConfigurationTest, FilesThatDoNotFitChangeNothing) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    struct Case {
        const char* what;
        std::string text;
        bool typeBox;  // "The Mirota version ..." box
        bool errorBox; // error dialog
    };
    const std::vector<Case> cases = {
        {"type in other letter case", "<conf vtype=\" x\"><G0><V0>1</V0></G0></conf>", true, false},
        {"other type", "<conf vtype=\"DMS\"><G0><V0>1</V0></G0></conf>", true, false},
        {"no type", "<conf><G0><V0>1</V0></G0></conf>", false, false},
        {"not well-formed", "<conf vtype=\" X\"><G0><V0>1</V0></conf>", false, true},
        {"entities", "<!DOCTYPE conf [<!ENTITY e \"1\">]><conf vtype=\" X\"><G0><V0>&e;</V0></G0></conf>",
         false, true},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.what);
        view.boxes.clear();
        dialogs.shown.clear();
        frame->LoadConfiguration(File("bad.xml", tc.text));
        EXPECT_EQ(NewValues(), (Texts{"-", "-", "-", "-"}));
        EXPECT_TRUE(frame->slHiddenNValues.empty());
        ASSERT_EQ(view.boxes.size(), tc.typeBox ? 1u : 0u);
        if (tc.typeBox) {
            EXPECT_EQ(view.boxes[0].first, "Ostrel");
            EXPECT_EQ(view.boxes[0].second,
                      "The Mirota version of the configuration file does not match the version "
                      "of the connected device.Please load a valid configuration file.");
        }
        ASSERT_EQ(dialogs.shown.size(), tc.errorBox ? 1u : 0u);
        if (tc.errorBox) {
            EXPECT_EQ(dialogs.shown[0].kind, DialogKind::Error);
        }
    }
    // Cancelled dialogs do nothing.
    dialogs.shown.clear();
    view.openName.reset();
    view.saveName.reset();
    frame->btnLoadClick();
    frame->btnSaveClick();
    EXPECT_TRUE(dialogs.shown.empty());
}

// ---------------------------------------------------------------------------------------------------
// Comparison with a configuration file and the CSV export

std::vector<int> DifferingRows(const TfrmSettingsFrame& frame) {
    std::vector<int> rows;
    for (int i = 0; i < static_cast<int>(frame.Rows().size()); ++i)
        if (frame.Comparison().RowDiffers(i)) rows.push_back(i);
    return rows;
}

TEST_F(ConfigurationTest, CompareMarksDifferencesAndChangesNothingElse) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    Enter(3, "On"); // a new value of the user's own stays as it is
    // Device: 250, "100 Hz", "Bench A", "Off". "250.00" and "100 hz" stand for the same values.
    view.openName = File("cmp.xml", "<conf vtype=\" X\"><G0><V0>250.00</V0><V1>100 hz</V1></G0>"
                                    "<G1><V2>Bench B</V2><V3>On</V3></G1><H><V0>9</V0></H></conf>");
    device->ClearReceived();
    frame->btnCompareClick();
    EXPECT_EQ(DifferingRows(*frame), (std::vector<int>{2, 3}));
    EXPECT_EQ(ComparisonSummary(frame->Comparison()), "2 of 4 settings differ");
    EXPECT_EQ(*frame->Comparison().Differences[2], "Bench B");
    EXPECT_EQ(view.comparisonChanges, 1);
    EXPECT_EQ(NewValues(), (Texts{"-", "-", "-", "On"}));
    EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false, true}));
    EXPECT_TRUE(frame->slHiddenNValues.empty());
    loop.RunFor(200);
    EXPECT_TRUE(CommandTexts().empty()); // nothing goes to the device
}

TEST_F(ConfigurationTest, LoadingAlsoMarksAndTheMarksFollowTheNextReadPass) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    frame->LoadConfiguration(File("load.xml", "<conf vtype=\" X\"><G0><V0>300</V0><V1>100 Hz</V1>"
                                              "<V2>Bench A</V2><V3>On</V3></G0><H/></conf>"));
    EXPECT_EQ(NewValues(), (Texts{"300", "100 Hz", "Bench A", "On"})); // loading as before
    EXPECT_EQ(DifferingRows(*frame), (std::vector<int>{0, 3}));
    // The device refuses the range: after the write pass only it still differs.
    device->OnSettingWritten = [](const std::string& command, const std::string& written) {
        return command == "$101" ? std::string("250") : written;
    };
    frame->btnApplyClick();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Column(1), (Texts{"250", "100 Hz", "Bench A", "On"}));
    EXPECT_EQ(DifferingRows(*frame), (std::vector<int>{0}));
    EXPECT_EQ(ComparisonSummary(frame->Comparison()), "1 of 4 settings differ");
}

TEST_F(ConfigurationTest, CompareRefusesFilesThatDoNotFitAndKeepsTheMarksItHad) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    frame->CompareConfiguration(File("first.xml", "<conf vtype=\" X\"><G0><V0>1</V0></G0></conf>"));
    ASSERT_EQ(DifferingRows(*frame), (std::vector<int>{0}));
    struct Case {
        const char* what;
        std::string text;
        std::size_t boxes, errors;
    };
    for (const Case& tc : {Case{"other type", "<conf vtype=\"DMS\"><G0><V0>2</V0></G0></conf>", 1, 0},
                           Case{"no type", "<conf><G0><V0>2</V0></G0></conf>", 1, 0},
                           Case{"not well-formed", "<conf vtype=\" X\"><G0>", 0, 1}}) {
        SCOPED_TRACE(tc.what);
        view.boxes.clear();
        dialogs.shown.clear();
        frame->CompareConfiguration(File("bad.xml", tc.text));
        EXPECT_EQ(view.boxes.size(), tc.boxes);
        EXPECT_EQ(dialogs.shown.size(), tc.errors);
        EXPECT_EQ(DifferingRows(*frame), (std::vector<int>{0}));
    }
}

TEST_F(ConfigurationTest, ExportWritesTheListAndTheHiddenValuesAsCsv) {
    Open(31);
    ASSERT_TRUE(RunUntilIdle());
    view.exportName = (cfg / "report").string();
    frame->btnExportClick();
    EXPECT_EQ(view.proposedExportName, "Mirota X_SN42_settings.csv");
    std::ifstream in(cfg / "report.csv", std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(csv, "Section,Description,Current Value,Info\r\n"
                   "Group A,Range,250,Range info\r\nGroup A,Filter,100 Hz,Filter info\r\n"
                   "Group B,Unit name,Bench A,Name info\r\nGroup B,Mode,Off,Mode info\r\n"
                   "Hidden,Hidden value 0,1.0042,\r\nHidden,Hidden value 1,0.9987,\r\n");
    // Cancelled: nothing written, nothing shown; an unwritable name: an error box.
    view.exportName.reset();
    frame->btnExportClick();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(frame->ExportList((cfg / "no such folder" / "x.csv").string()));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, DialogKind::Error);
}

} // namespace
} // namespace mirota
