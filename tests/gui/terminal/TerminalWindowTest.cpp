// The terminal screen's Qt window under the Qt loop against the in-process device simulator: caption,
// layout, the device's menu on the view and through accessibility, typing, painting, closing.
#include "terminal/ui/ComTerminal.h"
#include "terminal/ui/FrmTerminalWindow.h"

#include "../../support/FileDialogAnswer.h"
#include "../../support/ScreenFakes.h"
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/qt/QtMessageLoop.h"
#include "screen/ui/DialogFolder.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace mirota;
using namespace mirota::test;

namespace {

class TerminalWindow : public ::testing::Test {
protected:
    QtMessageLoop loop;
    devsim::DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)};
    FakeHost host;
    FakeDialogs dialogs{loop};
    std::unique_ptr<HostedScreen> screen;
    TfrmTerminalFrameView* window = nullptr;
    TComTerminal* view = nullptr;

    void SetUp() override {
        port.Open();
        screen = CreateTerminalScreen(ScreenArgs{host, loop, dialogs, &port, "Mirota DMS", "FT5X1A", 0});
        window = TerminalWindowOf(screen.get());
        ASSERT_NE(window, nullptr);
        view = window->TerminalView();
        screen->Show();
        Delay(loop, 300);
        view->FlushRepaint();
    }
    void TearDown() override {
        host.unplugged = true;
        screen.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(TerminalWindow, ShowsCaptionLayoutAndTheDevicesMenu) {
    EXPECT_EQ(window->windowTitle(), "Terminal(FT5X1A)");
    EXPECT_EQ(window->size(), QSize(644, 455));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(view->geometry().top(), 64 + 27);
    EXPECT_EQ(view->geometry().bottom() + 1, 455);
    EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(device.ReceivedText(), "#n");
    const QString text = view->AllText();
    EXPECT_FALSE(text.trimmed().isEmpty());
    EXPECT_FALSE(text.contains(QChar(0x1b)));
    // The same text through the accessibility text interface.
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(view);
    ASSERT_NE(acc, nullptr);
    ASSERT_NE(acc->textInterface(), nullptr);
    EXPECT_EQ(acc->textInterface()->text(0, acc->textInterface()->characterCount()), text);
    EXPECT_EQ(acc->text(QAccessible::Name), "ctTerminal");
}

TEST_F(TerminalWindow, TypedKeysGoToThePortOneByteEach) {
    device.ClearReceived();
    device.Options().Fault.Silent = true;
    const QString before = view->AllText();
    QTest::keyClicks(view, "ab");
    QTest::keyClick(view, Qt::Key_Return);
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(device.ReceivedText(), "ab\r\x1b[A\x03\t");
    view->FlushRepaint();
    EXPECT_EQ(view->AllText(), before); // no local echo
    EXPECT_TRUE(view->hasFocus() || !window->isActiveWindow());
}

TEST_F(TerminalWindow, ClosingSendsStarAndHandsBack) {
    device.ClearReceived();
    screen->Close();
    EXPECT_EQ(device.ReceivedText(), "*");
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    EXPECT_EQ(view->ComPort(), nullptr);
}

TEST(TerminalWindowNotStarted, ToldThenClosedOnceTheMainWindowHoldsIt) {
    QtMessageLoop loop;
    devsim::DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)}; // never opened
    FakeHost host;
    FakeDialogs dialogs{loop};
    auto screen = CreateTerminalScreen(ScreenArgs{host, loop, dialogs, &port, "Mirota DMS", "FT5X1A", 0});
    EXPECT_TRUE(dialogs.shown.empty()); // the screen starts once its window is shown
    EXPECT_TRUE(host.closings.empty()); // not from inside the creation
    screen->Show();
    Delay(loop, 50);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, kTerminalNotStarted);
    EXPECT_EQ(host.closings, std::vector<bool>{false});
    EXPECT_FALSE(TerminalWindowOf(screen.get())->isVisible());
    EXPECT_EQ(device.ReceivedText(), "");
    screen.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(TerminalWindow, SaveLogWritesTheReceivedLinesWithTheirTimes) {
    QToolButton* save = window->SaveLogButton();
    ASSERT_NE(save, nullptr);
    EXPECT_TRUE(save->isVisible());
    EXPECT_EQ(save->accessibleName(), "Save log...");
    QCheckBox* typed = window->IncludeTypedSwitch();
    EXPECT_EQ(typed->accessibleName(), "Include typed text");
    EXPECT_FALSE(typed->isChecked());
    QTest::keyClicks(view, "x");
    Delay(loop, 300);

    const auto dir = std::filesystem::temp_directory_path() /
                     ("terminal-log-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(dir);
    std::string proposed;
    std::string name = (dir / "session.log").string();
    window->logNameHook = [&](const std::string& p) {
        proposed = p;
        return std::optional<std::string>(name);
    };
    auto read = [&] {
        std::ifstream in(name, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    save->click();
    EXPECT_EQ(proposed.rfind("Terminal_FT5X1A_", 0), 0u) << proposed;
    const std::string log = read();
    ASSERT_FALSE(log.empty());
    // Every line: "YYYY-MM-DD hh:mm:ss.mmm RX ...".
    const std::string first = log.substr(0, log.find('\n'));
    ASSERT_GE(first.size(), 27u) << first;
    EXPECT_EQ(first[4], '-');
    EXPECT_EQ(first[10], ' ');
    EXPECT_EQ(first[19], '.');
    EXPECT_EQ(first.substr(23, 4), " RX ");
    EXPECT_EQ(log.find(" TX "), std::string::npos);
    typed->setChecked(true);
    save->click();
    EXPECT_NE(read().find(" TX x\n"), std::string::npos) << read();
    // A folder that is not there: told, nothing written.
    name = (dir / "missing" / "session.log").string();
    save->click();
    EXPECT_FALSE(std::filesystem::exists(name));
    ASSERT_FALSE(dialogs.shown.empty());
    std::filesystem::remove_all(dir);
}

TEST_F(TerminalWindow, SaveLogStartsInTheFolderUsedLastAndRemembersItsOwn) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("terminal-log-folder-" + std::to_string(QCoreApplication::applicationPid()));
    const std::filesystem::path used = dir / "used", chosen = dir / "chosen";
    std::filesystem::create_directories(used);
    std::filesystem::create_directories(chosen);
    RememberDialogFolder(QString::fromStdString((used / "earlier.csv").string()));
    test::FileDialogSeen seen;
    test::AnswerNextFileDialog(seen, QString::fromStdString((chosen / "session.log").string()));
    window->SaveLogButton()->click();
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.folder, QString::fromStdString(used.string()));
    EXPECT_TRUE(seen.proposed.startsWith(QString::fromStdString((used / "Terminal_FT5X1A_").string())))
        << seen.proposed.toStdString();
    EXPECT_TRUE(std::filesystem::exists(chosen / "session.log"));
    EXPECT_EQ(DialogFolder(), QString::fromStdString(chosen.string()));
    std::filesystem::remove_all(dir);
}

} // namespace

int main(int argc, char** argv) {
    // Also when the build lists the tests without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); // file dialogs the tests can answer
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
