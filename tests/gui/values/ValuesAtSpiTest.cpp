// The values screen as a screen reader meets it: over AT-SPI, on a real X server with a session and an
// accessibility bus of its own (tests/gui/run-with-a11y-bus.sh inside run-on-xvfb.sh), against the
// in-process device simulator streaming in real time. The displays are labels named by their captions
// whose text is the shown text; the command buttons carry their captions and latched states, and
// their actions send what a click sends.
#include "../../support/AtSpiTestMain.h"
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/qt/QtMessageLoop.h"
#include "screen/ui/AnalogDisplay.h"
#include "values/ComponentConfiguration.h"
#include "values/ui/FrmValuesWindow.h"

#include "../../support/ScreenFakes.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace mirota {
namespace {

using test::AtSpiClient;
using test::AtSpiObject;
using test::AtSpiState;

AtSpiClient* client = nullptr;

class ValuesAtSpi : public ::testing::Test {
protected:
    void SetUp() override {
        cfg = std::filesystem::temp_directory_path() / ("values-atspi-" + std::to_string(::getpid()));
        std::filesystem::create_directories(cfg);
        std::ofstream(cfg / kComponentConfigurationFile)
            << "[DMS]\nadspTorque1=Torque 1\nadspTorque2=Torque 2\nadspSpeed1=Speed 1\n";
        port.Open();
        window = std::make_unique<TfrmValuesFrameView>(
            ScreenArgs{host, loop, dialogs, &port, "Mirota DMS", "4711", 0}, cfg);
        window->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return CommandsTaken() && window->Display(0)->Value() != 0; }, 5000));
        const auto found = client->Application(QCoreApplication::applicationName());
        ASSERT_TRUE(found) << "the application is not registered: " << client->LastError().toStdString();
        app = *found;
    }
    void TearDown() override {
        host.unplugged = true; // no closing traffic
        window.reset();
        std::filesystem::remove_all(cfg);
    }
    // Streaming, and the last command's time-out over: a command button's click is taken.
    bool CommandsTaken() {
        return window->Button(CommandButton::Null)->isEnabled() && !window->Logic().Link().CommandPending();
    }
    AtSpiObject Find(const QString& role, const QString& name) {
        const auto found = client->Find(app, role, name);
        EXPECT_TRUE(found) << "no " << role.toStdString() << " \"" << name.toStdString() << "\"";
        return found.value_or(AtSpiObject{});
    }

    QtMessageLoop loop;
    devsim::DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)};
    test::FakeHost host;
    test::FakeDialogs dialogs{loop};
    std::filesystem::path cfg;
    std::unique_ptr<TfrmValuesFrameView> window;
    AtSpiObject app;
};

TEST_F(ValuesAtSpi, DisplaysReadAsShown) {
    const char* captions[] = {"Torque 1", "Torque 2", "Speed 1"};
    const QRegularExpression fourDecimals(R"(^-?\d+\.\d{4}$)");
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(captions[i]);
        // A label (what screen readers read out), named by its caption.
        const AtSpiObject display = Find("label", captions[i]);
        EXPECT_TRUE(client->Has(display, AtSpiState::ReadOnly));
        // Its text and description are the text shown, precision included; the values stream, so the
        // reading is repeated until it meets the display between two packets.
        QString text, description, shown;
        for (int attempt = 0; attempt < 20; ++attempt) {
            text = client->Text(display);
            description = client->Description(display);
            shown = window->Display(i)->Text();
            if (text == shown && description == shown) break;
        }
        EXPECT_EQ(text.toStdString(), shown.toStdString());
        EXPECT_EQ(description.toStdString(), shown.toStdString());
        EXPECT_TRUE(fourDecimals.match(text).hasMatch()) << text.toStdString();
    }
}

TEST_F(ValuesAtSpi, ButtonsCarryTheirCaptionsAndStatesAndTheirActionsSendAsAClickDoes) {
    // The screen opens with "Measure" latched.
    EXPECT_TRUE(client->Has(Find("push button", "Measure"), AtSpiState::Checked));
    EXPECT_FALSE(client->Has(Find("push button", "0%"), AtSpiState::Checked));
    struct Case {
        const char* name;
        const char* action; // a latching button offers both
        const char* sent;
        bool latches;
        const char* released; // the button whose latch goes, if any
    } cases[] = {
        {"0%", "Toggle", "$2011\r", true, "Measure"}, {"50%", "Press", "$2013\r", true, "0%"},
        {"100%", "Toggle", "$2012\r", true, "50%"},   {"Measure", "Press", "$2010\r", true, "100%"},
        {"Zero", "Press", "$200", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AtSpiObject button = Find("push button", c.name);
        EXPECT_TRUE(client->Has(button, AtSpiState::Enabled));
        EXPECT_TRUE(client->Actions(button).contains("Press"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return CommandsTaken(); }, 3000));
        device.ClearReceived();
        EXPECT_TRUE(client->DoAction(button, c.action)) << client->LastError().toStdString();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return device.ReceivedText().find(c.sent) != std::string::npos; }, 3000))
            << "received: " << device.ReceivedText();
        EXPECT_EQ(client->Has(button, AtSpiState::Checked), c.latches);
        if (c.released) {
            EXPECT_FALSE(client->Has(Find("push button", c.released), AtSpiState::Checked));
        }
    }
}

} // namespace
} // namespace mirota

int main(int argc, char** argv) {
    return mirota::test::AtSpiTestMain(argc, argv, mirota::client);
}
