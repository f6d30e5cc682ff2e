// The terminal's session log (line splitting, timestamps from an injected clock, the line limits) and
// pasting (the characters sent, paced like typed keys, under simulated time).
#include "link/ComPort.h"
#include "loop/SimulatedLoop.h"
#include "terminal/SessionLog.h"
#include "terminal/TerminalPaste.h"
#include "terminal/TerminalSession.h"

#include "../../support/FakeBackend.h"

#include <gtest/gtest.h>

using namespace mirota;

namespace {

// A clock that moves on by 7 ms each time it is read, from 2026-12-10 23:59:59.990.
struct SteppingClock {
    int calls = 0;
    LocalDateTime operator()() {
        const int ms = 990 + 7 * calls++;
        LocalDateTime t{2026, 12, 10, 23, 59, 59, ms % 1000};
        if (ms >= 1000) t = {2026, 12, 11, 0, 0, 0, ms % 1000};
        return t;
    }
};

using Dir = SessionLog::Direction;

TEST(SessionLogTest, TimestampsAreLocalDateTimeWithMilliseconds) {
    EXPECT_EQ(FormatTimestamp({2026, 3, 4, 5, 6, 7, 8}), "2026-03-04 05:06:07.008");
    const LocalDateTime now = SystemLocalTime();
    EXPECT_GE(now.Year, 2024);
    EXPECT_GE(now.Millisecond, 0);
    EXPECT_LT(now.Millisecond, 1000);
}

TEST(SessionLogTest, LinesEndAtLfCrLfOrALoneCrAcrossChunks) {
    struct Case {
        const char* what;
        std::vector<std::string> chunks;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"lf", {"one\ntwo\n"}, "A RX one\nB RX two\n"},
        {"crlf split over chunks", {"one\r", "\ntwo\r\n"}, "A RX one\nB RX two\n"},
        {"lone cr", {"50%\r100%\r\n"}, "A RX 50%\nB RX 100%\n"},
        {"empty lines kept", {"a\r\n\r\nb\n"}, "A RX a\nB RX \nC RX b\n"},
        {"open line included", {"prompt> "}, "A RX prompt> \n"},
        {"line stamped at its first byte", {"pa", "rt\n"}, "A RX part\n"},
        {"controls shown by name", {"\x1b[2J\tx\x07\x7f\x01\n"}, "A RX <ESC>[2J\tx<BEL><DEL><SOH>\n"},
        {"utf-8 kept",
         {"Gr\xc3\xbc\xc3\x9f"
          "e\n"},
         "A RX Gr\xc3\xbc\xc3\x9f"
         "e\n"},
        // A screen drawn by cursor addressing: a line per position, also when the sequence is split.
        {"cursor positions",
         {"\x1b[1;1HTitle\x1b[1mX\x1b[0m\x1b[2", ";5Hnext\x1b[H"},
         "A RX <ESC>[1;1HTitle<ESC>[1mX<ESC>[0m\nB RX <ESC>[2;5Hnext\nC RX <ESC>[H\n"},
        {"reset",
         {"a\x1b"
          "cb"},
         "A RX a\nB RX <ESC>cb\n"},
        {"an abandoned sequence is kept", {"\x1b[12\r\n"}, "A RX <ESC>[12\n"},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.what);
        SteppingClock clock;
        SessionLog log([&clock] { return clock(); });
        for (const std::string& chunk : tc.chunks)
            log.Add(Dir::Received, chunk);
        std::string expected = tc.text;
        // A, B, C: the first, second and third clock readings.
        const std::string stamps[] = {"2026-12-10 23:59:59.990", "2026-12-10 23:59:59.997",
                                      "2026-12-11 00:00:00.004"};
        for (int k = 0; k < 3; ++k)
            for (auto p = expected.find(std::string(1, char('A' + k)) + " RX"); p != std::string::npos;
                 p = expected.find(std::string(1, char('A' + k)) + " RX"))
                expected.replace(p, 1, stamps[k]);
        EXPECT_EQ(log.Text(false), expected);
        EXPECT_EQ(clock.calls, static_cast<int>(std::count(tc.text.begin(), tc.text.end(), '\n')));
    }
}

TEST(SessionLogTest, TypedLinesAreOptionalAndInterleaveByTheirStart) {
    int tick = 0;
    SessionLog log([&tick] { return LocalDateTime{2026, 1, 2, 3, 4, 5, tick++}; });
    // The device echoes what is typed; Enter ends the received line, and its echoed line end adds none.
    log.Add(Dir::Received, "login: ");
    log.Add(Dir::Typed, "ad");
    log.Add(Dir::Received, "ad");
    log.Add(Dir::Typed, "min");
    log.Add(Dir::Received, "min");
    log.Add(Dir::Typed, "\r");
    log.Add(Dir::Received, "\r\nok\r\n");
    EXPECT_EQ(log.Text(false), "2026-01-02 03:04:05.000 RX login: admin\n"
                               "2026-01-02 03:04:05.002 RX ok\n");
    EXPECT_EQ(log.Text(true), "2026-01-02 03:04:05.000 RX login: admin\n"
                              "2026-01-02 03:04:05.001 TX admin\n"
                              "2026-01-02 03:04:05.002 RX ok\n");
    log.Clear();
    EXPECT_EQ(log.Text(true), "");
}

TEST(SessionLogTest, KeepsTheNewestLinesAndBreaksOverlongOnes) {
    SessionLog log([] { return LocalDateTime{}; }, 3, 4);
    log.Add(Dir::Received, "1\n2\n3\n4\n5\n");
    EXPECT_EQ(log.LineCount(), 3u);
    EXPECT_EQ(log.DroppedLines(), 2u);
    const std::string text = log.Text(false);
    EXPECT_EQ(text.substr(0, text.find('\n')), "(2 earlier lines were dropped)");
    EXPECT_NE(text.find("RX 3\n"), std::string::npos);
    EXPECT_EQ(text.find("RX 2\n"), std::string::npos);
    // The text of the lines kept is limited too.
    SessionLog small([] { return LocalDateTime{}; }, 100, 100, 10);
    small.Add(Dir::Received, "aaaa\nbbbb\ncccc\n");
    EXPECT_EQ(small.LineCount(), 2u);
    EXPECT_EQ(small.DroppedLines(), 1u);
    log.Clear();
    log.Add(Dir::Received, "abcdefghij");
    EXPECT_EQ(log.Text(false), "1970-01-01 00:00:00.000 RX abcd\n1970-01-01 00:00:00.000 RX efgh\n"
                               "1970-01-01 00:00:00.000 RX ij\n");
}

TEST(PasteTest, LineEndsBecomeEnterAndControlCharactersAreDropped) {
    EXPECT_EQ(PasteCharacters(U"a\r\nb\nc\rd\te\x1b[2J\x07\x7f\u0085ä€"), U"a\rb\rc\rd\te[2Jä€");
}

struct PastingSession : ::testing::Test {
    SimulatedLoop loop;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    TComPort port{loop, std::make_unique<test::FakeBackend>(line)};
    TerminalSession session;
    void SetUp() override {
        port.Open();
        session.SetComPort(&port);
    }
};

TEST_F(PastingSession, OneCharacterPer100MsThroughTheTypedKeyPath) {
    session.Paste(U"ab\r\nc");
    EXPECT_EQ(line->written, "a"); // the first at once
    EXPECT_TRUE(session.Pasting());
    loop.RunFor(99);
    EXPECT_EQ(line->written, "a");
    loop.RunFor(1);
    EXPECT_EQ(line->written, "ab");
    session.Paste(U"d"); // follows the running paste
    loop.RunFor(100);
    EXPECT_EQ(line->written, "ab\r");
    loop.RunFor(200);
    EXPECT_EQ(line->written, "ab\rcd");
    EXPECT_FALSE(session.Pasting());
    EXPECT_EQ(loop.TimerCount(), 0u);
    // Typed, so the log has it as typed text.
    EXPECT_NE(session.Log().Text(true).find(" TX ab\n"), std::string::npos) << session.Log().Text(true);
    EXPECT_NE(session.Log().Text(true).find(" TX cd\n"), std::string::npos);
}

TEST_F(PastingSession, UnbindingDropsTheRestAndUnboundPastesNothing) {
    session.Paste(U"hello");
    loop.RunFor(100);
    EXPECT_EQ(line->written, "he");
    session.SetComPort(nullptr);
    loop.RunFor(1000);
    EXPECT_EQ(line->written, "he");
    EXPECT_FALSE(session.Pasting());
    session.Paste(U"x");
    EXPECT_FALSE(session.Pasting());
    EXPECT_EQ(loop.TimerCount(), 0u);
}

TEST_F(PastingSession, TheLogHoldsWhatWasReceivedAndTyped) {
    line->Inject("Menu\r\n> ");
    loop.RunFor(1);
    session.KeyChar(U'1');
    session.KeyChar(U'\r');
    session.KeyPress(TermKey::Up);
    const std::string withTyped = session.Log().Text(true);
    EXPECT_NE(withTyped.find(" RX Menu\n"), std::string::npos) << withTyped;
    EXPECT_NE(withTyped.find(" RX > \n"), std::string::npos) << withTyped;
    EXPECT_NE(withTyped.find(" TX 1\n"), std::string::npos) << withTyped;
    EXPECT_NE(withTyped.find(" TX <ESC>[A\n"), std::string::npos) << withTyped;
    EXPECT_EQ(session.Log().Text(false).find(" TX "), std::string::npos);
}

} // namespace
