// The settings screen's passes through the termios port against the device simulator program on its
// pseudo-terminal, in real time, with the shipped catalogue files.
#include "../../support/DevsimProcess.h"
#include "../../unit/settings/SettingsFakes.h"
#include "link/ComPort.h"
#include "loop/RealTimeLoop.h"
#include "settings/FrmSettings.h"

#include <gtest/gtest.h>

namespace mirota {
namespace {

using namespace mirota::testing;

TEST(SettingsPtyTest, ReadsWritesAndReadsBackTheShippedCatalogue) {
    test::DevsimProcess devsim(MIROTA_DEVSIM_PROGRAM,
                               {"--firmware", "2.31", "--type", " DMS", "--cfg", MIROTA_DATA_CFG});
    ASSERT_TRUE(devsim.Ok());
    RealTimeLoop loop;
    TComPort port(loop);
    port.SetPort(devsim.LinePath());
    port.SetBaudRate(TBaudRate::brCustom);
    port.SetCustomBaudRate(19200);
    port.SetFlowControlNone();
    port.Open();
    ASSERT_TRUE(port.Connected());

    FakeHost host;
    FakeDialogs dialogs(loop);
    FakeView view;
    TfrmSettingsFrame frame(ScreenArgs{host, loop, dialogs, &port, "Mirota DMS", "PTY1", 31}, view,
                            MIROTA_DATA_CFG);
    view.frame = &frame;
    frame.Start();
    ASSERT_TRUE(loop.RunUntil([&] { return frame.iCurrentState == 0; }, 20000));
    const int entries = frame.Catalogue().EntryCount();
    ASSERT_GT(entries, 0);
    EXPECT_EQ(static_cast<int>(frame.slCurrentValue.size()), entries);
    EXPECT_EQ(frame.slHiddenValues.size(), frame.Catalogue().slHiddenCommands.size());
    EXPECT_TRUE(view.saveLoadVisible);

    // A free-text row and a display-valued row, written and read back.
    int freeRow = -1, displayRow = -1;
    for (int i = 0; i < entries; ++i) {
        const bool display = !frame.Catalogue().olCurrentDisplay[i].empty();
        if (display && displayRow < 0 && frame.Catalogue().olCurrentDisplay[i].size() > 2) displayRow = i;
        if (!display && freeRow < 0) freeRow = i;
    }
    ASSERT_GE(freeRow, 0);
    ASSERT_GE(displayRow, 0);
    const std::string choice = frame.Catalogue().olCurrentDisplay[displayRow][2];
    view.selected = freeRow;
    dialogs.inputs = {std::string("12.5")};
    frame.lvDeviceSettingsDblClick();
    view.selected = displayRow;
    view.selections = {choice};
    frame.lvDeviceSettingsDblClick();
    frame.btnApplyClick();
    ASSERT_TRUE(loop.RunUntil([&] { return frame.iCurrentState == 0 && !dialogs.shown.empty(); }, 30000));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "All values are set correctly");
    EXPECT_EQ(frame.Rows()[freeRow].CurrentValue, "12.5");
    EXPECT_EQ(frame.Rows()[displayRow].CurrentValue, choice);
    EXPECT_TRUE(host.closings.empty());
}

} // namespace
} // namespace mirota
