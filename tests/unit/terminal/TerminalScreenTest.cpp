// The terminal screen under simulated time against the in-process device simulator: opening and
// closing bytes, typed keys, the device's text mode on the emulated screen, failures.
#include "terminal/FrmTerminal.h"

#include "../../support/ScreenFakes.h"
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

#include <memory>

using namespace mirota;
using namespace mirota::test;

namespace {

class FakeTerminalView : public TerminalFrameView {
public:
    std::string caption;
    TerminalSession session;
    int closeRequests = 0;
    TfrmTerminalFrame* frame = nullptr;

    void SetCaption(const std::string& c) override { caption = c; }
    TerminalSession& Terminal() override { return session; }
    void CloseWindow() override {
        ++closeRequests;
        if (frame) frame->FormClose();
    }
};

class TerminalScreen : public ::testing::Test {
protected:
    SimulatedLoop loop;
    devsim::DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)};
    FakeHost host;
    FakeDialogs dialogs{loop};
    FakeTerminalView view;
    std::unique_ptr<TfrmTerminalFrame> frame;
    std::uint64_t openedAt = 0;

    void Open(bool openPort = true) {
        if (openPort) port.Open();
        openedAt = loop.TickCount();
        frame = std::make_unique<TfrmTerminalFrame>(host, loop, dialogs, &port, "FT5X1A", view);
        view.frame = frame.get();
        frame->Start();
    }
    const TerminalEmulator& Screen() const { return view.session.Emulator(); }
};

TEST_F(TerminalScreen, OpeningSendsHashThenNAfterASecond) {
    Open();
    EXPECT_EQ(view.caption, "Terminal(FT5X1A)");
    const auto& rx = device.Received();
    ASSERT_EQ(device.ReceivedText(), "#n");
    EXPECT_EQ(rx[0].At, openedAt);
    EXPECT_EQ(rx[1].At, openedAt + 100 + 1000);
    EXPECT_EQ(loop.TickCount(), openedAt + 100 + 1000 + 100);
    EXPECT_TRUE(device.TextMode());
    EXPECT_EQ(view.session.ComPort(), &port);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TerminalScreen, LetGoBeforeItsWindowWasUpItStartsNothing) {
    port.Open();
    frame = std::make_unique<TfrmTerminalFrame>(host, loop, dialogs, &port, "FT5X1A", view);
    view.frame = frame.get();
    EXPECT_EQ(device.ReceivedText(), ""); // constructed: no traffic
    frame->Detach();
    frame->Start(); // the window's posted start arrives late
    loop.RunFor(2000);
    EXPECT_EQ(device.ReceivedText(), "");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(view.closeRequests, 0);
}

TEST_F(TerminalScreen, ShowsTheDevicesTextModeInterpreted) {
    Open();
    loop.RunFor(500);
    const std::string text = Screen().ScreenText();
    EXPECT_NE(text.find_first_not_of(" \n"), std::string::npos) << "the device's menu is on the screen";
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find("[H"), std::string::npos);
    EXPECT_EQ(text.find("[2J"), std::string::npos);
}

TEST_F(TerminalScreen, TypedKeysGoOutAtOnceOneByteEachAndAreNotEchoedLocally) {
    Open();
    loop.RunFor(500);
    device.ClearReceived();
    device.Options().Fault.Silent = true; // no echo from the device either
    const std::string before = Screen().ScreenText();
    const std::uint64_t at = loop.TickCount();
    view.session.KeyChar(U'a');
    view.session.KeyChar(U'b');
    view.session.KeyChar(U'\r');
    view.session.KeyPress(TermKey::Up);
    loop.RunFor(100);
    EXPECT_EQ(device.ReceivedText(), "ab\r\x1b[A");
    for (const auto& b : device.Received())
        EXPECT_EQ(b.At, at);
    EXPECT_EQ(Screen().ScreenText(), before);
}

TEST_F(TerminalScreen, DeviceEchoOfTypedTextAppears) {
    Open();
    loop.RunFor(500);
    for (char c : std::string("hello"))
        view.session.KeyChar(static_cast<char32_t>(c));
    loop.RunFor(500);
    EXPECT_NE(Screen().ScreenText().find("hello"), std::string::npos);
}

TEST_F(TerminalScreen, ClosingSendsStarUnbindsAndHandsBack) {
    Open();
    device.ClearReceived();
    frame->FormClose();
    EXPECT_EQ(device.ReceivedText(), "*");
    EXPECT_FALSE(device.TextMode());
    EXPECT_EQ(view.session.ComPort(), nullptr);
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    EXPECT_FALSE(port.OnException); // handed back to the main window
    frame->FormClose();
    EXPECT_EQ(host.closings.size(), 1u);
}

TEST_F(TerminalScreen, ClosingAfterUnplugSendsNothing) {
    Open();
    device.ClearReceived();
    host.unplugged = true;
    frame->FormClose();
    loop.RunFor(1000);
    EXPECT_EQ(device.ReceivedText(), "");
    EXPECT_TRUE(host.closings.empty());
}

TEST_F(TerminalScreen, PortFailureIsToldAlsoWhenUnpluggedAndNothingMoreIsSent) {
    for (bool unplugged : {false, true}) {
        SCOPED_TRACE(unplugged);
        SimulatedLoop l;
        devsim::DeviceSimulator d{l};
        TComPort p{l, devsim::MakeSimulatedBackend(d)};
        FakeHost h;
        FakeDialogs dl{l};
        FakeTerminalView v;
        p.Open();
        TfrmTerminalFrame f(h, l, dl, &p, "S", v);
        v.frame = &f;
        f.Start();
        d.ClearReceived();
        h.unplugged = unplugged;
        d.SetHangUp();
        l.RunFor(500);
        ASSERT_EQ(dl.shown.size(), 1u);
        EXPECT_EQ(dl.shown[0].caption, kCaptionError);
        EXPECT_EQ(dl.shown[0].text, kCommunicationFailed);
        EXPECT_EQ(v.closeRequests, 1);
        EXPECT_EQ(d.ReceivedText(), "");
        if (unplugged)
            EXPECT_TRUE(h.closings.empty());
        else
            EXPECT_EQ(h.closings, std::vector<bool>{true});
    }
}

TEST_F(TerminalScreen, LetGoDuringTheOpeningWaitTheScreenIsReleasedOnlyAfterItReturns) {
    bool released = false;
    bool releasedDuringClose = true;
    host.onClosing = [&](bool) {
        frame->Detach();
        frame->WhenIdle([&] { released = true; });
        releasedDuringClose = released;
    };
    port.Open();
    loop.StartTimer(
        500, [&] { device.SetHangUp(); }, false);
    Open(false);
    EXPECT_EQ(host.closings, std::vector<bool>{true});
    EXPECT_FALSE(releasedDuringClose);
    EXPECT_TRUE(released);
    EXPECT_EQ(device.ReceivedText(), "#"); // no "n" after the failure
    EXPECT_EQ(view.session.ComPort(), nullptr);
}

TEST_F(TerminalScreen, PortNotOpenTellsTheUserAndReturnsToTheMainWindow) {
    Open(false);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, kCaptionError);
    EXPECT_EQ(dialogs.shown[0].text, kTerminalNotStarted);
    EXPECT_EQ(view.closeRequests, 1);
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    EXPECT_EQ(device.ReceivedText(), "");
}

} // namespace
