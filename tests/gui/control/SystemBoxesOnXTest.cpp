// The owner-less system boxes on a real X server (run by tests/gui/run-on-xvfb.sh): each kind is raised
// the way its caller raises it, on the screen that shows it, against the in-process device simulator in
// real time. While the box is shown, a mouse click through the X server (xdotool, XTEST) on a button of
// the screen beside it does what it does without the box, the values screen's packets keep updating
// its displays, and the code after the box runs only once its OK button has been clicked.
// MIROTA_SHOT_DIR=<folder> saves a picture of the display beside each box, to look at.
#include "../../support/ScreenFakes.h"
#include "control/ui/QtDialogs.h"
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "link/ThreadedTimer.h"
#include "loop/qt/QtMessageLoop.h"
#include "screen/ui/AnalogDisplay.h"
#include "settings/ui/FrmSettingsWindow.h"
#include "values/ComponentConfiguration.h"
#include "values/ui/FrmValuesWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

namespace mirota {
namespace {

using test::FakeHost;

// The production dialogs; only the input box, which the settings screen asks for a new value, is
// answered by the test.
class AnsweredInputDialogs : public QtDialogs {
public:
    std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) override {
        return input;
    }
    std::string input;
};

// A left click through the X server at the centre of `w`, as a mouse's would arrive.
void RealClick(QWidget* w) {
    const QPoint at = w->mapToGlobal(w->rect().center());
    ASSERT_EQ(QApplication::widgetAt(at), w) << "something covers " << w->objectName().toStdString();
    ASSERT_EQ(QProcess::execute(
                  "xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"}),
              0);
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    return QTest::qWaitFor(done, ms);
}

QMessageBox* ShownBox(const QString& caption) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w);
            box && box->isVisible() && box->windowTitle() == caption)
            return box;
    return nullptr;
}

enum class Screen { Values, Settings };

class SystemBoxes;

struct BoxKind {
    const char* name;
    Screen screen;
    const char* caption;
    const char* text;
    QMessageBox::Icon icon;
    // Brings the box up as its caller does.
    std::function<void(SystemBoxes&)> raise;
    // True once the code after the box has run.
    std::function<bool(SystemBoxes&)> after;
};

void PrintTo(const BoxKind& kind, std::ostream* os) {
    *os << kind.name;
}

class SystemBoxes : public ::testing::TestWithParam<BoxKind> {
public:
    void SetUp() override {
        cfg = std::filesystem::temp_directory_path() / ("system-boxes-" + std::to_string(::getpid()));
        std::filesystem::remove_all(cfg);
        std::filesystem::create_directories(cfg);
        devsim::DeviceOptions options;
        if (GetParam().screen == Screen::Values) {
            std::ofstream(cfg / kComponentConfigurationFile)
                << "[DMS]\nadspTorque1=Torque 1\nadspTorque2=Torque 2\nadspSpeed1=Speed 1\n";
        } else {
            // A small catalogue: the passes take a second or two.
            Write("SettingsCommands X.ini", "[Group A]\nRange=$101\nFilter=$103\n");
            Write("DisplayValues X.ini", "[Filter]\n0=1 Hz\n1=10 Hz\n");
            Write("InfoConfiguration X.ini", "[Group A]\n1=Range info\n2=Filter info\n");
            Write("HiddenCommands.ini", "[Hidden]\nh1=$140\n");
            options.Type = " X";
            options.CfgDir = cfg.string();
        }
        device = std::make_unique<devsim::DeviceSimulator>(loop, options);
        device->Settings()["$101"] = "250";
        device->Settings()["$103"] = "1";
        device->Settings()["$140"] = "1.5";
        port = std::make_unique<TComPort>(loop, devsim::MakeSimulatedBackend(*device));
        port->Open();
    }
    void TearDown() override {
        host.unplugged = true; // no closing traffic when the fixture goes
        values.reset();
        settings.reset();
        port.reset();
        device.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::filesystem::remove_all(cfg);
    }

    void Write(const std::string& name, const std::string& text) { std::ofstream(cfg / name) << text; }

    // Opens the screen of the box's caller at the left edge of the display and waits until it talks
    // with the device.
    void Open() {
        if (GetParam().screen == Screen::Values) {
            values = std::make_unique<TfrmValuesFrameView>(
                ScreenArgs{host, loop, dialogs, port.get(), "Mirota DMS", "4711", 0}, cfg);
            for (int i = 0; i < 3; ++i)
                values->Box(i)->setChecked(true);
            Show(*values);
            // Streaming, and the switch's time-out over (a click before it ends is not taken).
            ASSERT_TRUE(WaitFor([&] { return CommandsTaken() && values->Display(0)->Value() != 0; }, 5000));
        } else {
            settings = std::make_unique<TfrmSettingsFrameView>(
                ScreenArgs{host, loop, dialogs, port.get(), "Mirota X", "SN42", 31}, cfg);
            Show(*settings);
            ASSERT_TRUE(WaitFor(
                [&] {
                    return settings->ApplyButton()->isVisible() && Logic().iLastState == 2 &&
                           Logic().iCurrentState == 0;
                },
                15000));
        }
    }
    template <class W> void Show(W& window) {
        window.Show();
        window.move(0, 0);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QWidget& ScreenWindow() {
        return values ? static_cast<QWidget&>(*values) : static_cast<QWidget&>(*settings);
    }
    TfrmSettingsFrame& Logic() { return settings->Logic(); }
    bool CommandsTaken() {
        return values->Button(CommandButton::Null)->isEnabled() && !values->Logic().Link().CommandPending();
    }

    // Uses the screen beside the shown box and checks that it answers as without the box.
    void UseTheScreen() {
        if (values) {
            device->Options().Fault = {}; // the device answers and streams again
            // The displays keep following the packets.
            const QString shown = values->Display(0)->Text();
            EXPECT_TRUE(WaitFor([&] { return values->Display(0)->Text() != shown; }, 2000))
                << "the displays stand still while the box is shown";
            // A click on "0%" sends its command.
            ASSERT_TRUE(WaitFor([&] { return CommandsTaken(); }, 3000));
            device->ClearReceived();
            RealClick(values->Button(CommandButton::Null));
            EXPECT_TRUE(
                WaitFor([&] { return device->ReceivedText().find("$2011\r") != std::string::npos; }, 3000))
                << "received: " << device->ReceivedText();
            EXPECT_TRUE(WaitFor([&] { return values->Button(CommandButton::Null)->isChecked(); }, 1000));
            const QString before = values->Display(0)->Text();
            EXPECT_TRUE(WaitFor([&] { return values->Display(0)->Text() != before; }, 2000));
        } else {
            // Save writes the configuration read.
            const std::string file = (cfg / "saved").string();
            settings->saveNameHook = [file](const std::string&) { return std::optional<std::string>(file); };
            RealClick(settings->SaveButton());
            EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(file + ".xml"); }, 2000))
                << "Save did nothing while the box was shown";
        }
    }

    QtMessageLoop loop;
    std::unique_ptr<devsim::DeviceSimulator> device;
    std::unique_ptr<TComPort> port;
    FakeHost host;
    AnsweredInputDialogs dialogs;
    std::filesystem::path cfg;
    std::unique_ptr<TfrmValuesFrameView> values;
    std::unique_ptr<TfrmSettingsFrameView> settings;
};

bool LivenessOn(const DeviceLink& link) {
    return link.ttmrCheckAlive() && link.ttmrCheckAlive()->Enabled();
}

// A settings write pass of a new range value; the device keeps `held` of what it is given.
void WriteRange(SystemBoxes& t, const char* value, std::function<std::string(const std::string&)> held) {
    t.device->OnSettingWritten = [held](const std::string&, const std::string& written) {
        return held(written);
    };
    t.dialogs.input = value;
    t.settings->List()->setCurrentItem(t.settings->RowItem(0));
    t.Logic().lvDeviceSettingsDblClick();
    ASSERT_TRUE(t.settings->ApplyButton()->isEnabled());
    QTimer::singleShot(0, t.settings->ApplyButton(), &QAbstractButton::click);
}

const BoxKind kKinds[] = {
    {"DeviceSilent", Screen::Values, kLinkTimeoutCaption, kDeviceSilentMessage, QMessageBox::Warning,
     [](SystemBoxes& t) { t.device->Options().Fault.Silent = true; },
     // The port is given up and the screen closes.
     [](SystemBoxes& t) { return t.host.closings == std::vector<bool>{true}; }},
    {"LastCommandFailed", Screen::Values, kLinkTimeoutCaption, kLastCommandFailedMessage,
     QMessageBox::Information,
     [](SystemBoxes& t) {
         t.device->Options().Fault.DropReplies = 1000;
         QTimer::singleShot(0, t.values->Button(CommandButton::Fifty), &QAbstractButton::click);
     },
     // The liveness check runs again.
     [](SystemBoxes& t) { return LivenessOn(t.values->Logic().Link()); }},
    {"ConfigurationComplete", Screen::Settings, kSettingsAllSetCaption, kSettingsAllSet,
     QMessageBox::Information,
     [](SystemBoxes& t) { WriteRange(t, "300", [](const std::string& w) { return w; }); },
     [](SystemBoxes& t) { return LivenessOn(t.Logic().Link()) && !t.Logic().bWritingUncomplete; }},
    {"ConfigurationFailed", Screen::Settings, kSettingsNotAllSetCaption, kSettingsNotAllSet,
     QMessageBox::Warning,
     [](SystemBoxes& t) { WriteRange(t, "300", [](const std::string&) { return std::string("900"); }); },
     [](SystemBoxes& t) { return LivenessOn(t.Logic().Link()) && !t.Logic().bWritingUncomplete; }},
};

TEST_P(SystemBoxes, TheScreenBesideStaysUsableAndTheCallerGoesOnOnlyAfterOk) {
    const BoxKind& kind = GetParam();
    Open();
    if (HasFatalFailure()) return;

    bool shown = false;
    bool afterRanEarly = false;
    bool answered = false;
    // The box's wait runs inside the caller's handler; what the user does meanwhile runs inside that wait.
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QMessageBox* box = ShownBox(kind.caption);
        if (!box) return;
        watch.stop();
        shown = true;
        // Whatever fails below, the box is answered at the end, so that its caller returns.
        const std::unique_ptr<QMessageBox, void (*)(QMessageBox*)> answerAnyway(box, [](QMessageBox* b) {
            if (b->isVisible()) b->done(0);
        });
        EXPECT_EQ(box->text(), QString(kind.text).replace("\r\n", "\n"));
        EXPECT_EQ(box->icon(), kind.icon);
        EXPECT_EQ(box->parentWidget(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
        // Beside the screen, so that both can be clicked.
        box->move(ScreenWindow().frameGeometry().right() + 20, 40);
        QTest::qWait(200);
        UseTheScreen();
        if (const QByteArray dir = qgetenv("MIROTA_SHOT_DIR"); !dir.isEmpty())
            QGuiApplication::primaryScreen()->grabWindow(0).save(QString("%1/%2.png").arg(dir, kind.name));
        afterRanEarly = kind.after(*this);
        EXPECT_TRUE(box->isVisible());
        EXPECT_TRUE(ScreenWindow().isVisible());
        QAbstractButton* ok = box->buttons().value(0);
        ASSERT_NE(ok, nullptr);
        RealClick(ok);
        answered = WaitFor([&] { return !box->isVisible(); }, 2000);
    });
    watch.start();
    kind.raise(*this);
    ASSERT_TRUE(WaitFor([&] { return shown; }, 15000)) << "no box \"" << kind.caption << "\"";
    EXPECT_TRUE(answered) << "OK did not close the box";
    EXPECT_FALSE(afterRanEarly) << "the code after the box ran before OK";
    EXPECT_TRUE(WaitFor([&] { return kind.after(*this); }, 3000)) << "the code after the box did not run";
}

INSTANTIATE_TEST_SUITE_P(EachKind, SystemBoxes, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<BoxKind>& info) { return info.param.name; });

} // namespace
} // namespace mirota

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // A real X server and a way to click through it, or nothing to show here.
    if (QGuiApplication::platformName() != "xcb" || QStandardPaths::findExecutable("xdotool").isEmpty()) {
        std::fprintf(stderr, "needs the xcb platform on an X server and xdotool: skipped\n");
        return 77;
    }
    return RUN_ALL_TESTS();
}
