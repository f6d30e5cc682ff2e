// The values screen against the device simulator in simulated time: the protocol as both sides see it.
#include "values/FrmValues.h"

#include "../../support/ScreenFakes.h"
#include "devsim/DeviceSimulator.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

namespace mirota {
namespace {

using test::FakeHost;
using test::RecordingDialogs;

class QuietView : public ValuesView {
public:
    void SetCaption(const std::string&) override {}
    void SetPanelVisible(int, bool) override {}
    void SetBoxCaption(int, const std::string&) override {}
    void ShowValue(int, double) override {}
    void SetButtonEnabled(CommandButton, bool) override {}
    void SetButtonPressed(CommandButton, bool) override {}
    void CloseWindow() override {}
};

TEST(FrmValuesDevice, StreamsCalibratesZeroesAndStopsWithTheSimulatedDevice) {
    SimulatedLoop loop;
    devsim::DeviceSimulator device(loop);
    TComPort port(loop, devsim::MakeSimulatedBackend(device));
    port.Open();
    FakeHost host;
    RecordingDialogs dialogs;
    QuietView view;
    TfrmValuesFrame frame(host, loop, dialogs, &port, "Mirota DMS", "S1", view, MIROTA_DATA_CFG);
    EXPECT_EQ(device.ReceivedText(), ""); // constructed: no traffic before Start
    for (int i = 0; i < 6; ++i)
        frame.SetBoxTicked(i, true);
    frame.Start();
    EXPECT_EQ(device.ReceivedText(), "*$6661\r");
    loop.RunFor(1000);
    EXPECT_TRUE(device.Streaming());
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(frame.PanelShown(i)) << i; // the shipped configuration has all six for DMS
        EXPECT_NE(frame.DisplayValue(i), 0.0) << i;
        EXPECT_GT(frame.Plot().PointCount(i), 0u) << i;
    }

    device.ClearReceived();
    // All four within the first liveness interval, so no keep-alive comes between them.
    for (CommandButton b :
         {CommandButton::Fifty, CommandButton::Nulling, CommandButton::Hundred, CommandButton::Measure}) {
        frame.ClickButton(b);
        loop.RunFor(500);
    }
    EXPECT_LT(loop.TickCount(), 5920u);
    // Every command answered as expected: sent once each, nothing repeated.
    EXPECT_EQ(device.ReceivedText(), "$2013\r$200$2012\r$2010\r");
    EXPECT_EQ(frame.Link().iResendCount(), 0);
    EXPECT_TRUE(dialogs.Texts().empty());

    // Twenty seconds of streaming keep the link alive.
    loop.RunFor(20000);
    EXPECT_TRUE(dialogs.Texts().empty());

    frame.FormClose();
    EXPECT_FALSE(device.Streaming());
    ASSERT_EQ(host.closings.size(), 1u);
    EXPECT_FALSE(host.closings[0]);
}

} // namespace
} // namespace mirota
