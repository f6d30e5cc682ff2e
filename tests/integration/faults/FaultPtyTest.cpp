// Faults where the port's reader thread matters, against mirota-devsim on its pseudo-terminal in real
// time: the line hung up in the middle of a settings pass and of the values stream at the line's full
// rate, and noise between the packets at that rate. One message at most, the right one; nothing written
// once the link has failed.
#include "../../support/DevsimProcess.h"
#include "../../support/ScreenFakes.h"
#include "../../support/WatchedBackend.h"
#include "link/ComPort.h"
#include "link/SerialBackend.h"
#include "loop/RealTimeLoop.h"
#include "settings/FrmSettings.h"
#include "values/FrmValues.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace mirota {
namespace {

using test::FakeDialogs;
using test::FakeHost;

class FaultPty : public ::testing::Test {
protected:
    // Starts mirota-devsim with `args` and opens the port on its line; every write is checked against
    // `failed` (the screen's link has failed).
    void OpenLine(std::vector<std::string> args) {
        args.insert(args.end(), {"--type", " DMS", "--cfg", MIROTA_DATA_CFG});
        devsim = std::make_unique<test::DevsimProcess>(MIROTA_DEVSIM_PROGRAM, args);
        ASSERT_TRUE(devsim->Ok());
        port = std::make_unique<TComPort>(
            loop,
            std::make_unique<WatchedBackend>(CreatePlatformSerialBackend(), [this](const char*, std::size_t) {
                if (failed && failed()) ++writesAfterFailure;
            }));
        port->SetPort(devsim->LinePath());
        port->SetBaudRate(TBaudRate::brCustom);
        port->SetCustomBaudRate(19200);
        port->SetFlowControlNone();
        port->Open();
        ASSERT_TRUE(port->Connected());
    }
    void TearDown() override {
        if (port && port->Connected()) port->Close();
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& d : dialogs.shown)
            t.push_back(d.text);
        return t;
    }

    RealTimeLoop loop;
    std::unique_ptr<test::DevsimProcess> devsim;
    std::unique_ptr<TComPort> port;
    FakeHost host;
    FakeDialogs dialogs{loop};
    std::function<bool()> failed;
    int writesAfterFailure = 0;
};

struct NullSettingsView : SettingsView {
    std::function<void()> close;
    void ShowBusy(bool) override {}
    void SetBusyText(const std::string&) override {}
    void SetApplyEnabled(bool) override {}
    void SetCancelEnabled(bool) override {}
    void ShowSaveLoad(bool) override {}
    void ListRebuilt() override {}
    void RowChanged(int) override {}
    int SelectedRow() const override { return -1; }
    void CloseWindow() override {
        if (close) close();
    }
    std::string SelectBox(const std::string&, const std::string&, const std::vector<std::string>&) override {
        return kSettingsNoValue;
    }
    void MessageBox(const std::string&, const std::string&, DialogKind) override {}
    std::optional<std::string> SaveFileName(const std::string&) override { return std::nullopt; }
    std::optional<std::string> OpenFileName() override { return std::nullopt; }
};

struct TickedValuesView : ValuesView {
    std::function<void()> close;
    void SetCaption(const std::string&) override {}
    void SetPanelVisible(int, bool) override {}
    void SetBoxCaption(int, const std::string&) override {}
    void ShowValue(int, double) override {}
    void SetButtonEnabled(CommandButton, bool) override {}
    void SetButtonPressed(CommandButton, bool) override {}
    void CloseWindow() override {
        if (close) close();
    }
};

TEST_F(FaultPty, HangUpDuringTheFirstSettingsReadPass) {
    // The first read pass of the shipped catalogue takes several seconds; the line goes in its middle.
    OpenLine({"--hangup-after", "2500"});
    NullSettingsView view;
    TfrmSettingsFrame frame(ScreenArgs{host, loop, dialogs, port.get(), "Mirota DMS", "PTY1", 31}, view,
                            MIROTA_DATA_CFG);
    view.close = [&] { frame.FormClose(); };
    failed = [&] { return frame.Link().bErrorOccures(); };
    frame.Start();
    ASSERT_TRUE(loop.RunUntil([&] { return !host.closings.empty(); }, 15000)) << "the screen never closed";
    EXPECT_GT(frame.slCurrentValue.size(), 0u); // the pass had begun
    EXPECT_EQ(Texts(), std::vector<std::string>{test::kCommunicationFailed});
    EXPECT_EQ(host.closings, std::vector<bool>{true});
    EXPECT_EQ(writesAfterFailure, 0);
    EXPECT_FALSE(frame.Busy());
    Delay(loop, 1000); // later reports of the same breakdown change nothing
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(FaultPty, HangUpWhileValuesStreamAtLineRate) {
    OpenLine({"--rate", "1000", "--hangup-after", "3000"});
    TickedValuesView view;
    TfrmValuesFrame frame(host, loop, dialogs, port.get(), "Mirota DMS", "PTY1", view, MIROTA_DATA_CFG);
    view.close = [&] { frame.FormClose(); };
    failed = [&] { return frame.Link().bErrorOccures(); };
    for (int i = 0; i < TfrmValuesFrame::kValues; ++i)
        frame.SetBoxTicked(i, true);
    frame.Start();
    ASSERT_TRUE(loop.RunUntil([&] { return !host.closings.empty(); }, 10000)) << "the screen never closed";
    EXPECT_GT(frame.Plot().PointCount(0), 100u); // it streamed before the line went
    EXPECT_EQ(Texts(), std::vector<std::string>{test::kCommunicationFailed});
    EXPECT_EQ(host.closings, std::vector<bool>{true});
    EXPECT_EQ(writesAfterFailure, 0);
}

TEST_F(FaultPty, GarbageBetweenPacketsAtLineRate) {
    OpenLine({"--rate", "1000", "--garbage"});
    TickedValuesView view;
    TfrmValuesFrame frame(host, loop, dialogs, port.get(), "Mirota DMS", "PTY1", view, MIROTA_DATA_CFG);
    view.close = [&] { frame.FormClose(); };
    for (int i = 0; i < TfrmValuesFrame::kValues; ++i)
        frame.SetBoxTicked(i, true);
    frame.Start();
    ASSERT_TRUE(loop.RunUntil([&] { return frame.Plot().PointCount(0) > 0; }, 5000));
    // The zero command goes through the noise and is confirmed the first time.
    frame.ClickButton(CommandButton::Null);
    Delay(loop, 3000);
    EXPECT_EQ(frame.Link().iResendCount(), 0);
    EXPECT_FALSE(frame.CommandPending());
    const std::size_t points = frame.Plot().PointCount(0);
    EXPECT_GT(points, 300u); // about 140 packets a second, each a point
    for (int i = 0; i < TfrmValuesFrame::kValues; ++i) {
        EXPECT_EQ(frame.Plot().PointCount(i), points) << i;
        EXPECT_NE(frame.DisplayValue(i), 0.0) << i;
    }
    EXPECT_TRUE(dialogs.shown.empty());
    frame.FormClose();
    EXPECT_EQ(host.closings, std::vector<bool>{false});
}

} // namespace
} // namespace mirota
