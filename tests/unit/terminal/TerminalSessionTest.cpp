// The terminal view's binding to the port: received bytes reach the emulation only while bound, typed
// keys and the emulation's answers go to the port at once.
#include "terminal/TerminalSession.h"
#include "link/ComPort.h"
#include "loop/SimulatedLoop.h"

#include "../../support/FakeBackend.h"

#include <gtest/gtest.h>

using namespace mirota;

namespace {

struct BoundSession : ::testing::Test {
    SimulatedLoop loop;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    TComPort port{loop, std::make_unique<test::FakeBackend>(line)};
    TerminalSession session;

    void SetUp() override {
        port.Open();
        session.SetComPort(&port);
    }
    void Receive(const std::string& bytes) {
        line->Inject(bytes);
        loop.RunFor(1);
    }
};

TEST_F(BoundSession, ShowsReceivedDataAndReportsTheChange) {
    int changes = 0;
    session.OnChanged = [&] { ++changes; };
    Receive("\x1b[2J\x1b[3;1HHello \xe4");
    EXPECT_EQ(session.Emulator().RowText(2), "Hello \xc3\xa4");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(session.BytesReceived(), 17u);
    EXPECT_TRUE(line->written.empty());
}

TEST_F(BoundSession, TypedCharactersGoToThePortOneByteEachWithoutEcho) {
    for (char32_t c : {U'm', U'1', U'\r', U'ä'})
        session.KeyChar(c);
    EXPECT_EQ(line->written, "m1\r\xe4");
    EXPECT_EQ(session.Emulator().ScreenText(), std::string(23, '\n'));
    session.KeyPress(TermKey::Down);
    EXPECT_EQ(line->written, "m1\r\xe4\x1b[B");
}

TEST_F(BoundSession, AnswersTheDevicesQueries) {
    Receive("\x1b[5;7H\x1b[6n\x1b[c");
    EXPECT_EQ(line->written, "\x1b[5;7R\x1b[?1;2c");
}

TEST_F(BoundSession, UnboundSessionNeitherReceivesNorSends) {
    // The main window's filter stays bound and takes the data off the line meanwhile.
    TComLink mainFilter;
    mainFilter.OnRxBuf = [](TCustomComPort*, const char*, int) {};
    port.RegisterLink(&mainFilter);
    session.SetComPort(nullptr);
    Receive("ignored");
    session.KeyChar(U'x');
    EXPECT_EQ(session.Emulator().RowText(0), "");
    EXPECT_TRUE(line->written.empty());
    // Binding again takes up the data from then on.
    session.SetComPort(&port);
    Receive("seen");
    EXPECT_EQ(session.Emulator().RowText(0), "seen");
}

TEST_F(BoundSession, DestroyedSessionLeavesThePort) {
    auto other = std::make_unique<TerminalSession>();
    other->SetComPort(&port);
    other.reset();
    Receive("still fine");
    EXPECT_EQ(session.Emulator().RowText(0), "still fine");
}

} // namespace
