// The power screen as a screen reader meets it: over AT-SPI, on a real X server with a session and an
// accessibility bus of its own (tests/gui/run-with-a11y-bus.sh inside run-on-xvfb.sh), against the
// in-process device simulator in real time. Each display is a label named by its caption whose text is
// the shown text with precision and unit; the step buttons carry their captions and their Press action
// steps the supply as a click does.
#include "../../support/AtSpiTestMain.h"
#include "../../support/ScreenFakes.h"
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/qt/QtMessageLoop.h"
#include "power/ui/FrmPowerWindow.h"
#include "screen/ui/AnalogDisplay.h"

#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace mirota {
namespace {

using test::AtSpiClient;
using test::AtSpiObject;
using test::AtSpiState;

AtSpiClient* client = nullptr;

class PowerAtSpi : public ::testing::Test {
protected:
    void SetUp() override {
        port.Open();
        screen = CreatePowerScreen(ScreenArgs{host, loop, dialogs, &port, "Mirota DMS", "FT5X1A", 0});
        window = PowerWindowOf(screen.get());
        ASSERT_NE(window, nullptr);
        screen->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Idle() && window->Voltage()->Value() != 0; }, 5000));
        const auto found = client->Application(QCoreApplication::applicationName());
        ASSERT_TRUE(found) << "the application is not registered: " << client->LastError().toStdString();
        app = *found;
    }
    void TearDown() override {
        host.unplugged = true; // no closing traffic
        screen.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    bool Idle() {
        return window->Frequency()->Value() != 0 && !window->Logic().CommandPending() &&
               window->ButtonAt(TfrmPowerFrameView::Plus)->isEnabled();
    }
    // The display among the objects named by its caption (the caption's own label carries the name too).
    AtSpiObject Display(const QString& caption, const QString& unit) {
        for (const AtSpiObject& label : client->FindAll(app, "label", caption))
            if (client->Text(label).endsWith(unit)) return label;
        ADD_FAILURE() << "no label \"" << caption.toStdString() << "\" that shows a value in "
                      << unit.toStdString();
        return {};
    }
    // The display's text and description as AT-SPI gives them, once they agree with what it shows.
    void ExpectReadAsShown(const AtSpiObject& display, TiAnalogDisplay* shownBy) {
        QString text, description, shown;
        for (int attempt = 0; attempt < 20; ++attempt) {
            text = client->Text(display);
            description = client->Description(display);
            shown = shownBy->Text();
            if (text == shown && description == shown) break;
        }
        EXPECT_EQ(text.toStdString(), shown.toStdString());
        EXPECT_EQ(description.toStdString(), shown.toStdString());
    }

    QtMessageLoop loop;
    devsim::DeviceSimulator device{loop};
    TComPort port{loop, devsim::MakeSimulatedBackend(device)};
    test::FakeHost host;
    test::FakeDialogs dialogs{loop};
    std::unique_ptr<HostedScreen> screen;
    TfrmPowerFrameView* window = nullptr;
    AtSpiObject app;
};

TEST_F(PowerAtSpi, DisplaysReadAsShownWithPrecisionAndUnit) {
    const AtSpiObject voltage = Display("VOLTAGE", "[V]");
    ExpectReadAsShown(voltage, window->Voltage());
    EXPECT_TRUE(QRegularExpression(R"(^\d+\.\d{4}\[V\]$)").match(client->Text(voltage)).hasMatch())
        << client->Text(voltage).toStdString();
    EXPECT_TRUE(client->Has(voltage, AtSpiState::ReadOnly));
    const AtSpiObject frequency = Display("FREQUENZY", "[Hz]");
    ExpectReadAsShown(frequency, window->Frequency());
    EXPECT_TRUE(QRegularExpression(R"(^\d+\[Hz\]$)").match(client->Text(frequency)).hasMatch())
        << client->Text(frequency).toStdString();
}

TEST_F(PowerAtSpi, StepButtonsCarryTheirCaptionsAndPressStepsTheSupply) {
    for (const char* caption : {"- -", "-", "Auto detect", "+", "+ +"}) {
        const AtSpiObject button = client->Find(app, "push button", caption).value_or(AtSpiObject{});
        EXPECT_TRUE(client->Has(button, AtSpiState::Enabled)) << caption;
    }
    struct Case {
        const char* caption;
        const char* sent;
    } cases[] = {{"+", "$026"}, {"- -", "$027"}};
    const AtSpiObject voltage = Display("VOLTAGE", "[V]");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        const auto button = client->Find(app, "push button", c.caption);
        ASSERT_TRUE(button);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(); }, 3000));
        device.ClearReceived();
        const std::string before = window->Voltage()->Text().toStdString();
        EXPECT_TRUE(client->DoAction(*button, "Press")) << client->LastError().toStdString();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return device.ReceivedText().find(c.sent) != std::string::npos; }, 3000))
            << "received: " << device.ReceivedText();
        // The new supply voltage, as the screen reader reads it.
        std::string read;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                read = client->Text(voltage).toStdString();
                return read != before && read == FormatDisplayValue(device.Voltage(), 4) + "[V]";
            },
            3000))
            << read << " after " << before;
    }
}

} // namespace
} // namespace mirota

int main(int argc, char** argv) {
    return mirota::test::AtSpiTestMain(argc, argv, mirota::client);
}
