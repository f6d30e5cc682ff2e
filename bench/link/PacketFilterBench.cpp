// Throughput of the packet filter on a realistic stream of measurement packets and replies, in
// chunks of 1, 64 and 1024 bytes, with one and with two filters fed the same chunks. The counters
// show bytes per second and the ratio to the line rate (19200 baud = 1920 bytes per second).
#include "link/DataPacket.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace mirota;

namespace {

constexpr double kLineBytesPerSecond = 1920.0;

std::string Stream(std::size_t bytes) {
    std::string s;
    int i = 0;
    while (s.size() < bytes) {
        s += "%00" + std::to_string(1 + i % 6) + "12.3456\x1b";
        if (i % 7 == 0) s += "&6661\x1b";
        if (i % 5 == 0) s += "%00750\x1b";
        ++i;
    }
    s.resize(bytes);
    return s;
}

void FeedChunks(benchmark::State& state, int filters) {
    const std::size_t chunk = static_cast<std::size_t>(state.range(0));
    const std::string data = Stream(1 << 16);
    TComDataPacket a, b;
    a.SetStartString("%00");
    a.SetStopString("\x1b");
    b.SetStartString("&666");
    b.SetStopString("\x1b");
    std::size_t packets = 0;
    a.OnPacket = [&](TComDataPacket*, const std::string& s) { packets += s.size() > 0; };
    b.OnPacket = a.OnPacket;
    for (auto _ : state) {
        for (std::size_t off = 0; off < data.size(); off += chunk) {
            const std::size_t n = std::min(chunk, data.size() - off);
            a.AddData(data.data() + off, n);
            if (filters == 2) b.AddData(data.data() + off, n);
        }
    }
    benchmark::DoNotOptimize(packets);
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(data.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["times_line_rate"] =
        benchmark::Counter(bytes / kLineBytesPerSecond, benchmark::Counter::kIsRate);
}

void BM_OneFilter(benchmark::State& state) {
    FeedChunks(state, 1);
}
void BM_TwoFilters(benchmark::State& state) {
    FeedChunks(state, 2);
}

BENCHMARK(BM_OneFilter)->Arg(1)->Arg(64)->Arg(1024);
BENCHMARK(BM_TwoFilters)->Arg(1)->Arg(64)->Arg(1024);

} // namespace

BENCHMARK_MAIN();
