// Long runs under simulated time: the values screen streaming at the line's full rate for hours, and
// the settings screen running passes back to back. They check that counts add up and that nothing
// grows or drifts; the figures (points, heap per point, real time per simulated hour) are printed and
// recorded as test properties, never asserted on.
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/SimulatedLoop.h"
#include "settings/FrmSettings.h"
#include "values/FrmValues.h"

#include "../../support/ScreenFakes.h"
#include "../../support/WatchedBackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// Live heap of the whole test program, to see what the screens keep per point and per pass.
namespace {
std::atomic<long long> gLiveBlocks{0};
std::atomic<long long> gLiveBytes{0};
struct BlockHeader {
    std::size_t size;
    std::size_t pad; // keeps the block 16-byte aligned
};
void* CountedAlloc(std::size_t n) {
    auto* h = static_cast<BlockHeader*>(std::malloc(n + sizeof(BlockHeader)));
    if (!h) throw std::bad_alloc();
    h->size = n;
    ++gLiveBlocks;
    gLiveBytes += static_cast<long long>(n);
    return h + 1;
}
void CountedFree(void* p) noexcept {
    if (!p) return;
    auto* h = static_cast<BlockHeader*>(p) - 1;
    --gLiveBlocks;
    gLiveBytes -= static_cast<long long>(h->size);
    std::free(h);
}
} // namespace

void* operator new(std::size_t n) {
    return CountedAlloc(n);
}
void* operator new[](std::size_t n) {
    return CountedAlloc(n);
}
void operator delete(void* p) noexcept {
    CountedFree(p);
}
void operator delete[](void* p) noexcept {
    CountedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    CountedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    CountedFree(p);
}

namespace mirota {
namespace {

// Yes/No questions are not answered Yes; input boxes take "300" unless a pass sets another value.
struct SoakDialogs : test::RecordingDialogs {
    SoakDialogs() {
        unanswered = DialogResult::No;
        input = "300";
    }
};

// A backend that counts the complete measurement packets ("%00" ... ESC) the host read.
class CountingBackend : public WatchedBackend {
public:
    explicit CountingBackend(std::unique_ptr<SerialBackend> inner) : WatchedBackend(std::move(inner), {}) {}
    int Read(char* buffer, std::size_t count, std::size_t& got) override {
        const int r = WatchedBackend::Read(buffer, count, got);
        for (std::size_t i = 0; i < got; ++i)
            Scan(buffer[i]);
        return r;
    }
    std::uint64_t packets = 0;

private:
    void Scan(char c) {
        if (c == '%') {
            head_ = "%";
            return;
        }
        if (head_.empty()) return;
        if (head_.size() < 3) {
            head_ += c;
            if (head_ != "%0" && head_ != "%00") head_.clear();
            return;
        }
        if (c == '\x1b') {
            ++packets;
            head_.clear();
        }
    }
    std::string head_;
};

class TickedView : public ValuesView {
public:
    void SetCaption(const std::string&) override {}
    void SetPanelVisible(int, bool) override {}
    void SetBoxCaption(int, const std::string&) override {}
    void ShowValue(int, double) override {}
    void SetButtonEnabled(CommandButton, bool) override {}
    void SetButtonPressed(CommandButton, bool) override {}
    void CloseWindow() override {}
};

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The values screen streaming at the line's rate (rounds of six values and the frequency as fast as
// 19200 baud carries them), all six values ticked, for `hours` simulated hours.
void StreamValuesFor(int hours) {
    SimulatedLoop loop;
    devsim::DeviceOptions options;
    options.CfgDir = MIROTA_DATA_CFG;
    options.PacketRate = 1000; // asks for more than the line carries: the line sets the pace
    devsim::DeviceSimulator device(loop, options);
    auto counting = std::make_unique<CountingBackend>(devsim::MakeSimulatedBackend(device));
    CountingBackend& line = *counting;
    TComPort port(loop, std::move(counting));
    port.Open();
    test::FakeHost host;
    SoakDialogs dialogs;
    TickedView view;
    TfrmValuesFrame frame(host, loop, dialogs, &port, "Mirota DMS", "S1", view, MIROTA_DATA_CFG,
                          [&] { return 1.7e9 + static_cast<double>(loop.TickCount()) / 1000.0; });
    for (int i = 0; i < TfrmValuesFrame::kValues; ++i)
        frame.SetBoxTicked(i, true);
    frame.Start();
    loop.RunFor(2000);
    ASSERT_TRUE(device.Streaming());
    for (int i = 0; i < TfrmValuesFrame::kValues; ++i)
        ASSERT_TRUE(frame.PanelShown(i)) << i;

    const std::size_t timersAtStart = loop.TimerCount();
    const std::uint64_t packetsAtStart = line.packets;
    const std::size_t pointsAtStart = frame.Plot().PointCount(0);
    const long long heapAtStart = gLiveBytes.load();
    std::vector<double> realSecondsPerHour;
    for (int h = 0; h < hours; ++h) {
        const std::uint64_t packetsBefore = line.packets;
        const auto t0 = std::chrono::steady_clock::now();
        // In minutes, so the received-bytes log of the simulator can be emptied as it goes.
        for (int m = 0; m < 60; ++m) {
            loop.RunFor(60000);
            device.ClearReceived();
        }
        realSecondsPerHour.push_back(Seconds(std::chrono::steady_clock::now() - t0));
        const std::uint64_t perHour = line.packets - packetsBefore;
        // The line carries about 20 rounds of seven packets a second: one simulated hour holds that many.
        EXPECT_GT(perHour, 3600u * 120u) << "hour " << h;
        // Every measurement packet adds one point to every ticked channel; nothing is lost or doubled.
        for (int i = 0; i < TfrmValuesFrame::kValues; ++i)
            ASSERT_EQ(frame.Plot().PointCount(i) - pointsAtStart, line.packets - packetsAtStart)
                << "channel " << i;
        // The link stays where it was: alive, nothing pending or repeated, no message, no new timer.
        EXPECT_TRUE(dialogs.Texts().empty());
        EXPECT_EQ(frame.Link().iResendCount(), 0);
        EXPECT_FALSE(frame.CommandPending());
        EXPECT_FALSE(frame.Link().bErrorOccures());
        ASSERT_NE(frame.TI_CheckAlive(), nullptr);
        EXPECT_TRUE(frame.TI_CheckAlive()->Enabled());
        EXPECT_EQ(loop.TimerCount(), timersAtStart);
        EXPECT_DOUBLE_EQ(frame.Plot().TimeRange().Width(), PlotModel::kTimeWindowSeconds);
        EXPECT_TRUE(host.closings.empty());
    }
    const std::uint64_t packets = line.packets - packetsAtStart;
    const double points =
        static_cast<double>(frame.Plot().TotalPoints() - pointsAtStart * TfrmValuesFrame::kValues);
    const long long heapKept = gLiveBytes.load() - heapAtStart;
    const double heapPerPoint = static_cast<double>(heapKept) / points;
    const double firstHour = realSecondsPerHour.front(), lastHour = realSecondsPerHour.back();
    std::printf("values soak: %d simulated h, %.1f packets/s, %zu points per channel, heap kept %lld bytes "
                "(%.4f per point), "
                "real s per simulated h: first %.2f last %.2f (%.1f us per packet)\n",
                hours, static_cast<double>(packets) / (hours * 3600.0), frame.Plot().PointCount(0), heapKept,
                heapPerPoint, firstHour, lastHour, 1e6 * lastHour / (static_cast<double>(packets) / hours));
    ::testing::Test::RecordProperty("simulated_hours", hours);
    ::testing::Test::RecordProperty("packets_per_second",
                                    std::to_string(static_cast<double>(packets) / (hours * 3600.0)));
    ::testing::Test::RecordProperty("points_per_channel", std::to_string(frame.Plot().PointCount(0)));
    ::testing::Test::RecordProperty("heap_bytes_per_point", std::to_string(heapPerPoint));
    ::testing::Test::RecordProperty("real_seconds_first_hour", std::to_string(firstHour));
    ::testing::Test::RecordProperty("real_seconds_last_hour", std::to_string(lastHour));

    frame.FormClose();
    EXPECT_FALSE(device.Streaming());
    EXPECT_EQ(host.closings, std::vector<bool>{false});
}

// One simulated hour in every run.
TEST(ValuesSoak, StreamsAnHourAtLineRateWithoutLossOrDrift) {
    StreamValuesFor(1);
}

// A whole simulated day, run on request: MIROTA_SOAK=1 ctest --preset default -L soak --timeout 3600
TEST(ValuesSoak, StreamsADay) {
    if (!std::getenv("MIROTA_SOAK")) GTEST_SKIP() << "the 24-hour run needs MIROTA_SOAK=1";
    StreamValuesFor(24);
}

// The settings screen: read/write passes back to back, each writing one row and reading all back.
TEST(SettingsSoak, ThousandPassesLeaveNothingBehind) {
    SimulatedLoop loop;
    devsim::DeviceOptions options;
    options.CfgDir = MIROTA_DATA_CFG;
    options.Type = " DMS";
    devsim::DeviceSimulator device(loop, options);
    TComPort port(loop, devsim::MakeSimulatedBackend(device));
    port.Open();
    test::FakeHost host;
    SoakDialogs dialogs;
    struct View : SettingsView {
        std::vector<std::string> boxes;
        int rebuilds = 0;
        void ShowBusy(bool) override {}
        void SetBusyText(const std::string&) override {}
        void SetApplyEnabled(bool) override {}
        void SetCancelEnabled(bool) override {}
        void ShowSaveLoad(bool) override {}
        void ListRebuilt() override { ++rebuilds; }
        void RowChanged(int) override {}
        int SelectedRow() const override { return 0; }
        void CloseWindow() override {}
        std::string SelectBox(const std::string&, const std::string&,
                              const std::vector<std::string>& c) override {
            return c.empty() ? std::string(kSettingsNoValue) : c.front();
        }
        void MessageBox(const std::string& text, const std::string&, DialogKind) override {
            boxes.push_back(text);
        }
        std::optional<std::string> SaveFileName(const std::string&) override { return std::nullopt; }
        std::optional<std::string> OpenFileName() override { return std::nullopt; }
    } view;
    TfrmSettingsFrame frame(ScreenArgs{host, loop, dialogs, &port, "Mirota DMS", "S1", 31}, view,
                            MIROTA_DATA_CFG);
    frame.Start();
    ASSERT_TRUE(loop.RunUntil([&] { return frame.iCurrentState == 0; }, 60000));
    const std::size_t entries = frame.Catalogue().slCurrentCommand.size();
    const std::size_t hidden = frame.Catalogue().slHiddenCommands.size();
    ASSERT_GT(entries, 0u);
    ASSERT_EQ(frame.slCurrentValue.size(), entries);

    constexpr int kPasses = 1000;
    std::size_t timers = 0;
    long long blocks = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const std::uint64_t simStart = loop.TickCount();
    for (int pass = 0; pass < kPasses; ++pass) {
        dialogs.input = std::to_string(100 + pass % 400); // a value the device takes as it is
        frame.lvDeviceSettingsDblClick();                 // row 0: new value, checked
        ASSERT_TRUE(frame.Rows()[0].Checked) << pass;
        frame.btnApplyClick();
        ASSERT_TRUE(loop.RunUntil([&] { return frame.iCurrentState == 0; }, 60000)) << "pass " << pass;
        // The write was confirmed and read back.
        ASSERT_EQ(dialogs.Texts(), std::vector<std::string>{kSettingsAllSet}) << pass;
        dialogs.Clear();
        ASSERT_EQ(frame.Rows()[0].CurrentValue, dialogs.input) << pass;
        // Lists hold one pass's worth, never more.
        ASSERT_EQ(frame.slCurrentValue.size(), entries);
        ASSERT_EQ(frame.slHiddenValues.size(), hidden);
        ASSERT_EQ(frame.slCurrentChangedValues.size(), 1u);
        ASSERT_EQ(frame.olCurrentChecked.size(), 1u);
        ASSERT_TRUE(frame.slHiddenNValues.empty());
        ASSERT_EQ(frame.Rows().size(), entries);
        // Sequencer and link back at rest.
        ASSERT_EQ(frame.iLastState, 2);
        ASSERT_EQ(frame.iCurrentPosition, static_cast<int>(entries + hidden));
        ASSERT_FALSE(frame.bWritingUncomplete);
        ASSERT_FALSE(frame.bClosingNow);
        ASSERT_EQ(frame.iRetryCount, 0);
        ASSERT_FALSE(frame.bIsRetry);
        ASSERT_EQ(frame.Link().iResendCount(), 0);
        ASSERT_FALSE(frame.Link().bErrorOccures());
        ASSERT_FALSE(frame.Link().CommandPending());
        ASSERT_TRUE(frame.Link().bIsAlive());
        ASSERT_NE(frame.Link().ttmrCheckAlive(), nullptr);
        ASSERT_TRUE(frame.Link().ttmrCheckAlive()->Enabled());
        ASSERT_FALSE(frame.Busy());
        device.ClearReceived();
        if (pass == 9) {
            timers = loop.TimerCount();
            blocks = gLiveBlocks.load();
        }
        if (pass > 9) {
            ASSERT_EQ(loop.TimerCount(), timers) << pass;
        }
    }
    const long long blockGrowth = gLiveBlocks.load() - blocks;
    std::printf(
        "settings soak: %d passes of %zu commands, %.0f simulated s, %.2f real s, heap blocks after pass "
        "10 and %d differ by %lld\n",
        kPasses, entries + hidden + 1, static_cast<double>(loop.TickCount() - simStart) / 1000.0,
        Seconds(std::chrono::steady_clock::now() - t0), kPasses, blockGrowth);
    ::testing::Test::RecordProperty("heap_block_growth", std::to_string(blockGrowth));
    // Nothing piles up from pass to pass (lists, filters, handlers, timers).
    EXPECT_LE(blockGrowth, 0);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(view.rebuilds, kPasses + 1);
}

} // namespace
} // namespace mirota
