// Launcher components: a complete USB walk of a large scripted machine (10 controllers, hubs four
// levels deep, 500 ports) and of a sysfs fixture tree, and hash map lookups with 10,000 port keys in
// the launcher's 2053 buckets. Figures: time per walk, lookups per second.
#include "launcher/Hashmap.h"
#include "launcher/USBDeviceInfoCol.h"
#include "support/ScriptedUSBPlatform.h"

#ifndef _WIN32
#include "ftdi-list/FakeSysfs.h"
#include "platform/posix/usb/SysfsUSBPlatform.h"
#include <unistd.h>
#endif

#include <benchmark/benchmark.h>

#include <string>

using namespace mirota;
using S = ScriptedUSBPlatform;

namespace {

std::u16string U(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// Fills the free ports of a hub: every third an FTDI adapter, every third another device, the rest empty.
void FillPorts(ScriptedDevice& hub, int ports, int& serial, S& platform) {
    while (static_cast<int>(hub.Ports.size()) < ports) {
        const int kind = serial++ % 3;
        if (kind == 0) {
            const std::u16string sn = U("FT" + std::to_string(serial));
            hub.Ports.push_back(S::Device(u"FTDI", u"Mirota MX 4", sn));
            platform.SetPortName(sn, U("COM" + std::to_string(serial)));
        } else if (kind == 1) {
            hub.Ports.push_back(S::Device(u"Logitech", u"USB Receiver", U(std::to_string(serial))));
        } else {
            hub.Ports.push_back(S::EmptyPort());
        }
    }
}

// Per controller: a root hub of 8 ports, three of them hubs of 6 ports, each with a hub of 4 ports
// below, each again with a hub of 4 ports: 8 + 3 * (6 + 4 + 4) = 50 ports, four hub levels.
void BuildLargeMachine(S& platform, int& ftdi) {
    int serial = 0;
    for (int c = 0; c < 10; ++c) {
        ScriptedController controller;
        controller.RootHubName = U("ROOT" + std::to_string(c));
        for (int h = 0; h < 3; ++h) {
            const std::string base = "HUB" + std::to_string(c) + "_" + std::to_string(h);
            ScriptedDevice level4 = S::Hub(U(base + "_L4"), {});
            FillPorts(level4, 4, serial, platform);
            ScriptedDevice level3 = S::Hub(U(base + "_L3"), {level4});
            FillPorts(level3, 4, serial, platform);
            ScriptedDevice level2 = S::Hub(U(base + "_L2"), {level3});
            FillPorts(level2, 6, serial, platform);
            controller.RootHub.Ports.push_back(level2);
        }
        FillPorts(controller.RootHub, 8, serial, platform);
        platform.Controllers[c] = controller;
    }
    ftdi = static_cast<int>(platform.Registry.size());
}

void BM_WalkScriptedLargeMachine(benchmark::State& state) {
    S platform;
    int ftdi = 0;
    BuildLargeMachine(platform, ftdi);
    TUSBInfoCol col(platform);
    std::size_t listed = 0;
    for (auto _ : state) {
        auto list = col.GetDeviceList();
        listed = list.size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["ports"] = 500;
    state.counters["listed"] = static_cast<double>(listed);
    state.counters["walks/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WalkScriptedLargeMachine)->Unit(benchmark::kMicrosecond);

#ifndef _WIN32
void BM_WalkSysfsFixture(benchmark::State& state) {
    const auto root =
        std::filesystem::temp_directory_path() / ("mirota-bench-sysfs-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::vector<FakeAdapter> adapters;
    for (int i = 0; i < 8; ++i)
        adapters.push_back(
            {"FT" + std::to_string(i), "Mirota MX 4", i % 4 == 3 ? "" : "ttyUSB" + std::to_string(i)});
    WriteDemoSysfs(root, adapters);
    SysfsUSBPlatform platform(root);
    TUSBInfoCol col(platform);
    std::size_t listed = 0;
    for (auto _ : state) {
        auto list = col.GetDeviceList();
        listed = list.size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["listed"] = static_cast<double>(listed);
    state.counters["walks/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_WalkSysfsFixture)->Unit(benchmark::kMicrosecond);
#endif

void BM_HashMapLookup(benchmark::State& state) {
    const bool hits = state.range(0) != 0;
    struct Value : TObject {};
    TObjectHashMap map(2053);
    map.SetOwnsObjects(true);
    std::vector<std::u16string> keys;
    for (int i = 0; i < 10000; ++i) {
        keys.push_back(U("COM" + std::to_string(i)));
        map.SetObject(keys.back(), new Value);
    }
    if (!hits)
        for (auto& k : keys)
            k = u"tty" + k;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(map.GetObject(keys[i]));
        if (++i == keys.size()) i = 0;
    }
    state.SetLabel(hits ? "present keys" : "absent keys");
    state.counters["lookups/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HashMapLookup)->Arg(1)->Arg(0);

} // namespace

BENCHMARK_MAIN();
