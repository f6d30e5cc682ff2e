// The terminal view on its own, bound to a scripted line under the Qt loop: real key events to bytes,
// painting, scroll bars over the scrollback, coalesced repaints and the accessible text.
#include "terminal/ui/ComTerminal.h"

#include "../../support/FakeBackend.h"
#include "link/ComPort.h"
#include "loop/qt/QtMessageLoop.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace mirota;

namespace {

class ComTerminalView : public ::testing::Test {
protected:
    QtMessageLoop loop;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    TComPort port{loop, std::make_unique<test::FakeBackend>(line)};
    TComTerminal view;

    void SetUp() override {
        port.Open();
        view.resize(644, 364);
        view.SetComPort(&port);
        view.show();
    }
    void Receive(const std::string& bytes) {
        line->Inject(bytes);
        Delay(loop, 5);
        view.FlushRepaint();
    }
};

struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::string sent;
};

class Keys : public ComTerminalView, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(Keys, KeyEventSendsItsBytesAtOnce) {
    QTest::keyClick(&view, GetParam().key, GetParam().modifiers);
    EXPECT_EQ(line->written, GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(ComTerminal, Keys,
                         ::testing::Values(KeyCase{"Letter", Qt::Key_A, Qt::NoModifier, "a"},
                                           KeyCase{"Return", Qt::Key_Return, Qt::NoModifier, "\r"},
                                           KeyCase{"Enter", Qt::Key_Enter, Qt::KeypadModifier, "\r"},
                                           KeyCase{"Backspace", Qt::Key_Backspace, Qt::NoModifier, "\b"},
                                           KeyCase{"Tab", Qt::Key_Tab, Qt::NoModifier, "\t"},
                                           KeyCase{"Escape", Qt::Key_Escape, Qt::NoModifier, "\x1b"},
                                           KeyCase{"CtrlC", Qt::Key_C, Qt::ControlModifier, "\x03"},
                                           KeyCase{"Up", Qt::Key_Up, Qt::NoModifier, "\x1b[A"},
                                           KeyCase{"Left", Qt::Key_Left, Qt::NoModifier, "\x1b[D"},
                                           KeyCase{"F1", Qt::Key_F1, Qt::NoModifier, "\x1bOP"},
                                           KeyCase{"F10", Qt::Key_F10, Qt::NoModifier, "\x1b[21~"},
                                           KeyCase{"Delete", Qt::Key_Delete, Qt::NoModifier, "\x1b[3~"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComTerminalView, TypedTextIsNotEchoedAndEightBitCharactersGoAsOneByte) {
    QTest::keyClicks(&view, "x1");
    QTest::keyClick(&view, 'A');
    QTest::keyClick(&view, Qt::Key_Adiaeresis, Qt::NoModifier); // text "ä" on a German layout
    QKeyEvent umlaut(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("\xc3\xa4"));
    QApplication::sendEvent(&view, &umlaut);
    Delay(loop, 50);
    view.FlushRepaint();
    EXPECT_EQ(line->written.substr(0, 3), "x1A");
    EXPECT_EQ(line->written.back(), '\xe4');
    EXPECT_TRUE(view.AllText().trimmed().isEmpty());
}

TEST_F(ComTerminalView, CursorKeysFollowTheApplicationMode) {
    Receive("\x1b[?1h");
    QTest::keyClick(&view, Qt::Key_Up);
    EXPECT_EQ(line->written, "\x1bOA");
}

TEST_F(ComTerminalView, PaintsReceivedTextBlackOnWhiteWithAnUnderlineCaret) {
    Receive("\x1b[2J\x1b[1;1HMMMMMMMM\x1b[7mRR\x1b[0m");
    const QImage image = view.viewport()->grab().toImage();
    const int w = view.CellWidth();
    const int h = view.CellHeight();
    auto darkIn = [&](const QRect& r) {
        int dark = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (image.pixelColor(x, y).lightness() < 100) ++dark;
        return dark;
    };
    EXPECT_GT(darkIn(QRect(0, 0, 8 * w, h)), 8 * 5);      // glyphs
    EXPECT_GT(darkIn(QRect(8 * w, 0, 2 * w, h)), w * h);  // reverse: dark cells
    EXPECT_EQ(darkIn(QRect(0, 2 * h, 20 * w, 3 * h)), 0); // empty rows stay white
    EXPECT_EQ(darkIn(QRect(10 * w, h - 2, w, 2)), w * 2); // the caret under column 10
    EXPECT_EQ(darkIn(QRect(10 * w, 0, w, h - 3)), 0);     // and nothing above it
}

TEST_F(ComTerminalView, ScrollbackIsReachableThroughTheScrollBarsAndNewOutputFollows) {
    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    Receive(lines);
    QScrollBar* v = view.verticalScrollBar();
    EXPECT_EQ(view.TotalLines(), 24 + 77);
    EXPECT_EQ(v->value(), v->maximum());
    EXPECT_EQ(v->maximum(), view.TotalLines() - view.viewport()->height() / view.CellHeight());
    v->setValue(0);
    Receive("more\r\n");
    EXPECT_EQ(v->value(), 0); // a reader scrolled back stays where he is
    v->setValue(v->maximum());
    Receive("and more\r\n");
    EXPECT_EQ(v->value(), v->maximum());
    // 80 columns wider than the view: the horizontal bar reaches the last column.
    view.resize(300, 364);
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 80 * view.CellWidth() - view.viewport()->width());
}

TEST_F(ComTerminalView, BurstRepaintsAtTheScreenRateNotPerChunk) {
    const auto before = view.Repaints();
    for (int i = 0; i < 300; ++i)
        line->Inject("chunk " + std::to_string(i) + "\r\n");
    Delay(loop, 20);
    EXPECT_LE(view.Repaints() - before, 2u);
    Delay(loop, 100);
    EXPECT_GE(view.Repaints() - before, 1u);
    EXPECT_NE(view.AllText().indexOf("chunk 299"), -1);
}

TEST_F(ComTerminalView, AccessibleTextAndCaret) {
    Receive("first\r\nsecond\x1b[1;3H");
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(acc, nullptr);
    EXPECT_EQ(acc->text(QAccessible::Name), "ctTerminal");
    EXPECT_FALSE(acc->text(QAccessible::Description).isEmpty());
    QAccessibleTextInterface* text = acc->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(0, 12), "first\nsecond");
    EXPECT_EQ(text->cursorPosition(), 2);
    EXPECT_EQ(text->characterCount(), view.AllText().size());
}

TEST_F(ComTerminalView, DraggingSelectsAndCtrlShiftCCopies) {
    Receive("\x1b[2J\x1b[1;1Hfirst line\r\nsecond line");
    const int top = static_cast<int>(view.Emulator().ScrollbackSize());
    EXPECT_EQ(view.TopLine(), 0); // the whole screen is in view
    const int w = view.CellWidth(), h = view.CellHeight();
    // From the start of "line" in row 1 to after "second" in row 2 (cell boundaries).
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, QPoint(6 * w, (top + 0) * h + h / 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(6 * w, (top + 1) * h + h / 2),
                     view.viewport()->mapToGlobal(QPointF(0, 0)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, QPoint(6 * w, (top + 1) * h + h / 2));
    ASSERT_TRUE(view.HasSelection());
    EXPECT_EQ(view.SelectedText(), "line\nsecond");
    QGuiApplication::clipboard()->setText("old");
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "line\nsecond");
    EXPECT_TRUE(line->written.empty()); // copying sends nothing; Ctrl+C alone still sends ETX
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(line->written, "\x03");

    // The selection through accessibility, and set from there.
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(acc, nullptr);
    QAccessibleTextInterface* text = acc->textInterface();
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(text->selectionCount(), 1);
    int start = -1, end = -1;
    text->selection(0, &start, &end);
    EXPECT_EQ(text->text(start, end), "line\nsecond");
    const int second = static_cast<int>(view.AllText().indexOf("second"));
    text->setSelection(0, second, second + 6);
    EXPECT_EQ(view.SelectedText(), "second");
    // A click without dragging leaves no selection.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(2 * w, h / 2));
    EXPECT_FALSE(view.HasSelection());
    EXPECT_EQ(text->selectionCount(), 0);
}

TEST_F(ComTerminalView, CtrlShiftVTypesTheClipboardPaced) {
    QGuiApplication::clipboard()->setText("ab\r\nc");
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(line->written, "a");
    Delay(loop, 150);
    EXPECT_EQ(line->written, "ab");
    Delay(loop, 300);
    EXPECT_EQ(line->written, "ab\rc");
    EXPECT_FALSE(view.Session().Pasting());
}

} // namespace

int main(int argc, char** argv) {
    // Also when the build lists the tests without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
