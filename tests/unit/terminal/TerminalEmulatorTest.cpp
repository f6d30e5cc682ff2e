// The emulation core: escape sequences interpreted into screen cells, 8-bit data shown as it is,
// keyboard bytes, answers to the device's queries, scrollback.
#include "terminal/TerminalEmulator.h"

#include <gtest/gtest.h>

#include <string>

using namespace mirota;

namespace {

std::string Utf8(char32_t ch) {
    std::string s;
    if (ch < 0x80) {
        s.push_back(static_cast<char>(ch));
    } else if (ch < 0x800) {
        s.push_back(static_cast<char>(0xC0 | (ch >> 6)));
        s.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else {
        s.push_back(static_cast<char>(0xE0 | (ch >> 12)));
        s.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    }
    return s;
}

TEST(TerminalEmulator, StartsEmptyWithCaretHome) {
    TerminalEmulator t;
    EXPECT_EQ(t.Rows(), 24);
    EXPECT_EQ(t.Cols(), 80);
    EXPECT_EQ(t.ScreenText(), std::string(23, '\n'));
    EXPECT_EQ(t.CursorRow(), 0);
    EXPECT_EQ(t.CursorCol(), 0);
    EXPECT_TRUE(t.CursorVisible());
    EXPECT_FALSE(t.HasOutput());
}

TEST(TerminalEmulator, InterpretsCursorMovesClearAndAttributes) {
    TerminalEmulator t;
    t.Feed("garbage on the first line\r\n");
    // Clear screen, home, bold title, reverse item at row 5 column 10, plain text after it.
    t.Feed("\x1b[2J\x1b[H\x1b[1mMENU\x1b[0m\x1b[5;10H\x1b[7m1 Setup\x1b[m rest");
    EXPECT_EQ(t.RowText(0), "MENU");
    EXPECT_EQ(t.RowText(1), "");
    EXPECT_EQ(t.RowText(4), "         1 Setup rest");
    EXPECT_TRUE(t.Cell(0, 0).bold);
    EXPECT_TRUE(t.Cell(0, 3).bold);
    EXPECT_FALSE(t.Cell(0, 3).reverse);
    EXPECT_TRUE(t.Cell(4, 9).reverse);
    EXPECT_TRUE(t.Cell(4, 15).reverse);
    EXPECT_FALSE(t.Cell(4, 16).reverse); // the blank after "\x1b[m"
    EXPECT_FALSE(t.Cell(4, 17).bold);
    EXPECT_EQ(t.Cell(4, 9).ch, U'1');
    EXPECT_EQ(t.CursorRow(), 4);
    EXPECT_EQ(t.CursorCol(), 21);
    // No escape character or parameter text ever lands in a cell.
    EXPECT_EQ(t.ScreenText().find('['), std::string::npos);
}

TEST(TerminalEmulator, DefaultColoursAreBlackOnWhite) {
    TerminalEmulator t;
    t.Feed("x\x1b[31my");
    const TermCell plain = t.Cell(0, 0);
    EXPECT_TRUE(plain.defaultFg);
    EXPECT_TRUE(plain.defaultBg);
    EXPECT_EQ(plain.fg, (TermRgb{0, 0, 0}));
    EXPECT_EQ(plain.bg, (TermRgb{255, 255, 255}));
    const TermCell red = t.Cell(0, 1);
    EXPECT_FALSE(red.defaultFg);
    EXPECT_GT(red.fg.r, 100);
    EXPECT_EQ(red.fg.g, 0);
}

TEST(TerminalEmulator, SequencesSplitAcrossChunksAreInterpretedWhole) {
    TerminalEmulator t;
    const std::string stream = "ab\x1b[3;4Hcd\x1b[1mef\xe4";
    for (char c : stream)
        t.Feed(&c, 1);
    EXPECT_EQ(t.RowText(0), "ab");
    EXPECT_EQ(t.RowText(2), "   cdef" + Utf8(U'ä'));
    EXPECT_TRUE(t.Cell(2, 5).bold);
}

struct ByteCase {
    unsigned char byte;
    char32_t shown;
};

class EightBitData : public ::testing::TestWithParam<ByteCase> {};

TEST_P(EightBitData, ByteIsShownAsItsCharacter) {
    TerminalEmulator t;
    const char bytes[] = {'<', static_cast<char>(GetParam().byte), '>'};
    t.Feed(bytes, 3);
    EXPECT_EQ(t.Cell(0, 0).ch, U'<');
    EXPECT_EQ(t.Cell(0, 1).ch, GetParam().shown);
    EXPECT_EQ(t.Cell(0, 2).ch, U'>');
    EXPECT_EQ(CharOfByte(GetParam().byte), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(TerminalEmulator, EightBitData,
                         ::testing::Values(ByteCase{0x41, U'A'}, ByteCase{0xE4, U'ä'}, ByteCase{0xFC, U'ü'},
                                           ByteCase{0xDF, U'ß'}, ByteCase{0xB0, U'°'}, ByteCase{0xFF, U'ÿ'},
                                           ByteCase{0x80, U'€'}, ByteCase{0x9B, U'›'}, // not an 8-bit CSI
                                           ByteCase{0x85, U'…'}, ByteCase{0x81, U'\uFFFD'}));

TEST(TerminalEmulator, EightBitCsiByteDoesNotStartASequence) {
    TerminalEmulator t;
    t.Feed("\x9b"
           "2J");
    EXPECT_EQ(t.RowText(0), Utf8(U'›') + "2J");
}

// Byte streams the emulation library cannot take (memory corruption on many CSI separators, an endless
// loop on a repeat sequence before any printable character): after each, whole or split at any point,
// the terminal still works and shows nothing of the dropped sequence.
struct HostileCase {
    const char* name;
    std::string bytes;
    std::string row0; // what row 0 shows after the bytes and "ok"
};

std::string Repeat(char c, int n) {
    return std::string(static_cast<std::size_t>(n), c);
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, IsSurvivedWholeAndSplitAtEveryPoint) {
    const auto& param = GetParam();
    const std::string& bytes = param.bytes;
    for (std::size_t split = 0; split <= bytes.size(); ++split) {
        TerminalEmulator t;
        t.Feed(bytes.substr(0, split));
        t.Feed(bytes.substr(split));
        t.Feed("ok");
        EXPECT_EQ(t.RowText(0), param.row0) << "split at " << split;
    }
    TerminalEmulator bytewise;
    for (char c : bytes)
        bytewise.Feed(&c, 1);
    bytewise.Feed("ok");
    EXPECT_EQ(bytewise.RowText(0), param.row0);
}

INSTANTIATE_TEST_SUITE_P(
    TerminalEmulator, HostileInput,
    ::testing::Values(
        HostileCase{"BelCsiNineteenColons", "\a\x1b[" + Repeat(':', 19) + "H", "ok"},
        HostileCase{"SixteenSemicolons", "\x1b[" + Repeat(';', 16) + "H", "ok"},
        HostileCase{"ManySeparatorsWithDigits", "ab\x1b[1;2:3;4" + Repeat(';', 40) + "5m", "abok"},
        HostileCase{"OverlongParameters", "\x1b[" + Repeat('1', 5000) + "m", "ok"},
        HostileCase{"RepeatBeforeAnyCharacter", "\x1b[b", "ok"},
        HostileCase{"RepeatWithCountBeforeAnyCharacter", "\x1b[12b\x1b[H", "ok"},
        HostileCase{"RepeatAfterOnlyControls", "\r\n\x1b[H\x1b[b", "ok"},
        HostileCase{"RepeatWithSubParameters", "x\x1b[2:3b", "xok"},
        // Found by fuzzing: the emulation takes "[" after ESC and intermediates as a control sequence.
        HostileCase{"RepeatAfterIntermediates", "\x1b&[b", "ok"},
        HostileCase{"RepeatAfterIntermediatesAndControls", std::string("\x05\a\x1b&\0\0\x1e[b", 10), "ok"},
        HostileCase{"SeparatorsAfterIntermediates", "\x1b([" + Repeat(':', 19) + "H", "ok"},
        // The emulation skips DEL and NUL even between ESC and "[".
        HostileCase{"SeparatorsAfterEscapeAndDelete", "\x1b\x7f[" + Repeat(':', 19) + "H", "ok"},
        HostileCase{"SeparatorsAfterIntermediateAndNul", std::string("\x1b$\0[", 4) + Repeat(';', 19) + "H",
                    "ok"},
        HostileCase{"RepeatAfterEscapeAndDelete", "\x1b\x7f[b", "ok"},
        // The emulation's status request (a device control string) crashed on requests it does not
        // know; device control strings are kept from it.
        HostileCase{"UnknownStatusRequest", "\x1bP$qx\x1b\\", "ok"},
        HostileCase{"StatusRequestEndedByBel", "\x1bP$q1$r%b\aab", "abok"},
        HostileCase{"StatusRequestAfterIntermediate", "\x1b$P$qzz\x1b\\", "ok"},
        HostileCase{"ControlStringBrokenOffByEscape", "\x1bP$qx\x1b[2Cab", "  abok"},
        // Counts beyond a signed 64-bit number overflowed the emulation's arithmetic.
        HostileCase{"HugeCountIsCapped", "x\x1b[5555555555555555555555Cy", "x" + Repeat(' ', 78) + "y"},
        // A control inside a parameter does not end it.
        HostileCase{"HugeCountAcrossAControl", "x\x1b[5555\a5555555555555555555Cy",
                    "x" + Repeat(' ', 78) + "y"},
        HostileCase{"EscapeBeforeEscapeBeforeText", "\x1b\x1b[3.b\x1b[2b[3b\x1b(\x1b[b", "[3bbok"},
        HostileCase{"RepeatAfterCharacter", "x\x1b[3b", "xxxxok"},
        HostileCase{"RepeatWithHugeCountIsCapped", "\x1b[2000000000b\x1b[Hx\x1b[4000000000b\x1b[H",
                    "ok" + Repeat('x', 78)},
        HostileCase{"SequenceBrokenOffByEscape", "\x1b[1;2\x1b[3Cab", "   abok"},
        HostileCase{"SequenceBrokenOffByCancel",
                    "\x1b[" + Repeat(';', 30) +
                        "\x18"
                        "ab",
                    "abok"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalEmulator, ControlSequenceWithFifteenSeparatorsIsInterpreted) {
    TerminalEmulator t;
    t.Feed("\x1b[5;10" + Repeat(';', 14) + "Hx");
    EXPECT_EQ(t.Cell(4, 9).ch, U'x');
    t.Feed("\x1b[5;10" + Repeat(';', 15) + "Hy");
    EXPECT_EQ(t.Cell(4, 10).ch, U'y'); // dropped: the caret did not move
}

TEST(TermInputGuard, OutputDoesNotDependOnChunkBoundaries) {
    const std::string stream = "ab\x1b[3;4Hc\x1b]0;title\a\x1b(Bd\x1b[" + Repeat(':', 20) +
                               "He\x1b[2b\x1b"
                               "P1$r\x1b\\\x1b[?25l\xe4\x1b[b\x1b[1;2\x1b"
                               "c";
    TermInputGuard whole;
    std::string expected;
    whole.Filter(stream.data(), stream.size(), expected);
    for (std::size_t a = 0; a <= stream.size(); ++a) {
        for (std::size_t b = a; b <= stream.size(); b += 3) {
            TermInputGuard guard;
            std::string out;
            guard.Filter(stream.data(), a, out);
            guard.Filter(stream.data() + a, b - a, out);
            guard.Filter(stream.data() + b, stream.size() - b, out);
            ASSERT_EQ(out, expected) << "chunks end at " << a << " and " << b;
        }
    }
    EXPECT_EQ(expected.find(":::"), std::string::npos);
    EXPECT_NE(expected.find("eee"), std::string::npos);
}

TEST(TermInputGuard, ParametersAboveTheLimitArePassedOnAsTheLimit) {
    const std::string in = "\x1b[123456789;0000012;99999:7m\x1b[9999H";
    TermInputGuard guard;
    std::string out;
    guard.Filter(in.data(), in.size(), out);
    EXPECT_EQ(out, "\x1b[9999;0000012;9999:7m\x1b[9999H");
    out.clear();
    const std::string split = "\x1b[12\x1c"
                              "345678\r9m"; // controls go out at once, the digits count on
    guard.Filter(split.data(), split.size(), out);
    EXPECT_EQ(out, "\x1c\r\x1b[9999m");
}

TEST(TerminalEmulator, StatusRequestsInDeviceControlStringsAreNotAnswered) {
    TerminalEmulator t;
    t.Feed("\x1bP$qm\x1b\\\x1bP$q\"q\a");
    EXPECT_FALSE(t.HasOutput());
}

TEST(TerminalEmulator, AnswersDeviceAttributesAndCursorPositionQueries) {
    TerminalEmulator t;
    t.Feed("\x1b[c");
    EXPECT_EQ(t.TakeOutput(), "\x1b[?1;2c");
    t.Feed("\x1b[7;12H\x1b[6n");
    EXPECT_EQ(t.TakeOutput(), "\x1b[7;12R");
    EXPECT_FALSE(t.HasOutput());
}

struct CharCase {
    char32_t typed;
    std::string sent;
};

class TypedCharacters : public ::testing::TestWithParam<CharCase> {};

TEST_P(TypedCharacters, SendOneByteAndEchoNothing) {
    TerminalEmulator t;
    t.ClearChanged();
    t.TypeChar(GetParam().typed);
    EXPECT_EQ(t.TakeOutput(), GetParam().sent);
    EXPECT_FALSE(t.Changed()); // no local echo
    EXPECT_EQ(t.ScreenText(), std::string(23, '\n'));
}

INSTANTIATE_TEST_SUITE_P(TerminalEmulator, TypedCharacters,
                         ::testing::Values(CharCase{U'a', "a"}, CharCase{U'7', "7"}, CharCase{U'\r', "\r"},
                                           CharCase{U'\x03', "\x03"}, CharCase{U'\b', "\b"},
                                           CharCase{U'\x1b', "\x1b"}, CharCase{U'ä', "\xe4"},
                                           CharCase{U'€', "\x80"}, CharCase{U'中', ""}));

TEST(TerminalEmulator, EnterStaysCrAloneInNewlineMode) {
    TerminalEmulator t;
    t.Feed("\x1b[20h"); // the device switches the terminal to newline mode
    t.TypeChar(U'\r');
    EXPECT_EQ(t.TakeOutput(), "\r");
}

struct KeyCase {
    const char* mode; // sent by the device before the key
    TermKey key;
    unsigned modifiers;
    std::string sent;
};

class Keys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(Keys, SendTheEmulationsSequence) {
    TerminalEmulator t;
    t.Feed(GetParam().mode);
    t.PressKey(GetParam().key, GetParam().modifiers);
    EXPECT_EQ(t.TakeOutput(), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    TerminalEmulator, Keys,
    ::testing::Values(
        KeyCase{"", TermKey::Up, tmNone, "\x1b[A"}, KeyCase{"", TermKey::Down, tmNone, "\x1b[B"},
        KeyCase{"", TermKey::Right, tmNone, "\x1b[C"}, KeyCase{"", TermKey::Left, tmNone, "\x1b[D"},
        KeyCase{"\x1b[?1h", TermKey::Up, tmNone, "\x1bOA"}, // application cursor keys
        KeyCase{"\x1b[?1h", TermKey::Left, tmNone, "\x1bOD"}, KeyCase{"", TermKey::Up, tmCtrl, "\x1b[1;5A"},
        KeyCase{"", TermKey::Delete, tmNone, "\x1b[3~"}, KeyCase{"", TermKey::PageDown, tmNone, "\x1b[6~"},
        KeyCase{"", TermKey::F1, tmNone, "\x1bOP"}, KeyCase{"", TermKey::F4, tmNone, "\x1bOS"},
        KeyCase{"", TermKey::F5, tmNone, "\x1b[15~"}, KeyCase{"", TermKey::F12, tmNone, "\x1b[24~"}));

TEST(TerminalEmulator, LinesScrolledOffTheTopGoToTheScrollbackWithTheirAttributes) {
    TerminalEmulator t(24, 80, 5);
    t.Feed("\x1b[1mline 0\x1b[0m\r\n");
    for (int i = 1; i < 30; ++i)
        t.Feed("line " + std::to_string(i) + "\r\n");
    // 30 lines and an empty one with the caret: 7 scrolled off, the oldest 2 dropped at the limit.
    EXPECT_EQ(t.LinesScrolled(), 7u);
    ASSERT_EQ(t.ScrollbackSize(), 5u);
    EXPECT_EQ(t.ScrollbackText(0), "line 2");
    EXPECT_EQ(t.ScrollbackText(4), "line 6");
    EXPECT_EQ(t.RowText(0), "line 7");
    EXPECT_EQ(t.RowText(22), "line 29");
    EXPECT_EQ(t.ScrollbackLine(0).size(), 80u);

    TerminalEmulator bold(24, 80, 100);
    bold.Feed("\x1b[1mB\x1b[0m");
    bold.Feed(std::string(24, '\n'));
    ASSERT_EQ(bold.ScrollbackSize(), 1u);
    EXPECT_TRUE(bold.ScrollbackLine(0)[0].bold);
    EXPECT_FALSE(bold.ScrollbackLine(0)[1].bold);
}

TEST(TerminalEmulator, ChangedFlagFollowsScreenAndCaret) {
    TerminalEmulator t;
    t.ClearChanged();
    t.Feed("\x1b[5;5H");
    EXPECT_TRUE(t.Changed());
    t.ClearChanged();
    t.Feed("x");
    EXPECT_TRUE(t.Changed());
    t.ClearChanged();
    t.Feed("\x1b[?25l");
    EXPECT_FALSE(t.CursorVisible());
}

TEST(TerminalEmulator, ResetClearsScreenModesAndScrollback) {
    TerminalEmulator t;
    t.Feed(std::string(30, '\n') + "text\x1b[?1h");
    t.Reset();
    EXPECT_EQ(t.ScrollbackSize(), 0u);
    EXPECT_EQ(t.RowText(0), "");
    t.PressKey(TermKey::Up);
    EXPECT_EQ(t.TakeOutput(), "\x1b[A");
}

TEST(TerminalEmulator, ResetEndsAnUnfinishedTitleString) {
    TerminalEmulator t;
    t.Feed("\x1b]0;a title without its end");
    t.Reset();
    t.Feed("ok");
    EXPECT_EQ(t.RowText(0), "ok");
}

} // namespace
