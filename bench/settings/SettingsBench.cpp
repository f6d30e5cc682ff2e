// Settings screen figures: catalogue load time and memory for a large catalogue, and the rebuild of
// the settings list (logic and Qt list view) after a read pass.
#include "loop/SimulatedLoop.h"
#include "settings/FrmSettings.h"
#include "settings/SettingsCatalogue.h"
#include "settings/ui/FrmSettingsWindow.h"

#include <QApplication>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <malloc.h>

namespace mirota {
namespace {

constexpr int kGroups = 50;
constexpr int kPerGroup = 40; // 2,000 entries
const std::string kType = " BENCH";

// A catalogue of 2,000 entries in 50 groups; every fourth entry has eight display values.
std::filesystem::path MakeCatalogue() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "settings-bench-cfg";
        std::filesystem::create_directories(d);
        std::ofstream commands(d / SettingsCommandsFileName(kType));
        std::ofstream display(d / DisplayValuesFileName(kType));
        std::ofstream info(d / InfoConfigurationFileName(kType));
        std::ofstream hidden(d / kHiddenCommandsFileName);
        int n = 0;
        for (int g = 0; g < kGroups; ++g) {
            commands << "[Group " << g << "]\n";
            info << "[Group " << g << "]\n";
            for (int e = 0; e < kPerGroup; ++e, ++n) {
                commands << "Setting number " << n << "=$" << (100000 + n) << "\n";
                info << e << "=Help text of setting " << n << " with a few words\n";
                if (n % 4 == 0) {
                    display << "[Setting number " << n << "]\n";
                    for (int k = 0; k < 8; ++k)
                        display << k << "=Choice " << k << "\n";
                }
            }
        }
        hidden << "[Hidden]\n";
        for (int h = 0; h < 20; ++h)
            hidden << h << "=$" << (900 + h) << "\n";
        return d;
    }();
    return dir;
}

void BM_ReadSettingsCatalogue(benchmark::State& state) {
    const auto dir = MakeCatalogue();
    std::size_t heap = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        TSettingsCatalogue catalogue;
        ReadSettingsCatalogue(dir, kType, 31, catalogue);
        heap = mallinfo2().uordblks - before;
        benchmark::DoNotOptimize(catalogue);
        if (catalogue.EntryCount() != kGroups * kPerGroup) state.SkipWithError("wrong entry count");
    }
    state.counters["entries"] = kGroups * kPerGroup;
    state.counters["heap_bytes"] = static_cast<double>(heap);
}
BENCHMARK(BM_ReadSettingsCatalogue)->Unit(benchmark::kMillisecond);

struct NoHost : ScreenHost {
    bool Unplugged() const override { return false; }
    void ClosingCurrentFrame(bool) override {}
};
struct NoDialogs : Dialogs {
    DialogResult ShowDialog(DialogKind, const std::string&, DialogButtons) override {
        return DialogResult::Ok;
    }
    DialogResult ShowSystemBox(const std::string&, const std::string&, DialogKind, DialogButtons) override {
        return DialogResult::Ok;
    }
};

// The list rebuild at the end of a read pass: rows from the catalogue and the values read, then the
// Qt list view with its groups.
void BM_FillSettingsList(benchmark::State& state) {
    const auto dir = MakeCatalogue();
    SimulatedLoop loop;
    NoHost host;
    NoDialogs dialogs;
    TfrmSettingsFrameView window(ScreenArgs{host, loop, dialogs, nullptr, "Mirota BENCH", "SN", 31}, dir);
    window.resize(659, 525);
    window.show();
    TfrmSettingsFrame& logic = window.Logic();
    for (int i = 0; i < logic.Catalogue().EntryCount(); ++i)
        logic.slCurrentValue.push_back(std::to_string(i % 8));
    for (auto _ : state) {
        logic.FillSettingsList();
        QApplication::processEvents(); // layout and paint of the rebuilt list
    }
    state.counters["rows"] = window.List()->topLevelItemCount() ? logic.Rows().size() : 0;
}
BENCHMARK(BM_FillSettingsList)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace mirota

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
