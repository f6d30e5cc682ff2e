// Terminal view throughput: a realistic mixed stream (menus with cursor moves and attributes, text,
// scrolling lines, 8-bit characters, device queries) through the emulation alone, through emulation
// and painting offscreen, and a 1 MB burst through the port and the Qt loop with the view's coalesced
// repaints, reporting how long the loop was kept from other work.
// Figures are relative to the serial line: 19200 baud, 8N1 = 1920 bytes per second.
#include "link/ComPort.h"
#include "loop/qt/QtMessageLoop.h"
#include "terminal/TerminalEmulator.h"
#include "terminal/ui/ComTerminal.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

using namespace mirota;

namespace {

constexpr double kLineBytesPerSecond = 19200.0 / 10.0;

std::string MixedStream(std::size_t size) {
    std::string s;
    int n = 0;
    while (s.size() < size) {
        // A menu page: clear, title in bold, reverse selection, items placed with cursor moves.
        s += "\x1b[2J\x1b[H\x1b[1m  DMS 2000 - Main menu \x1b[0m\r\n";
        for (int item = 1; item <= 8; ++item) {
            s += "\x1b[" + std::to_string(3 + item) + ";5H";
            if (item == (n % 8) + 1) s += "\x1b[7m";
            s += std::to_string(item) + ") Setting " + std::to_string(100 + item) + " = " +
                 std::to_string(n * 7 % 1000) + ".25 Nm\x1b[0m";
        }
        s += "\x1b[14;1HTemperatur: 23\xb0"
             "C  Dr\xfc"
             "cke: 1.013 bar\x1b[K";
        s += "\x1b[6n"; // the device asks where the caret is
        // A log that scrolls the whole screen.
        s += "\x1b[24;1H";
        for (int line = 0; line < 30; ++line)
            s += "\r\n" + std::to_string(n) + ":" + std::to_string(line) +
                 " Messwert 12.3456 Nm  4711 U/min  \x1b[1mOK\x1b[0m";
        ++n;
    }
    s.resize(size);
    return s;
}

const std::string& Stream() {
    static const std::string s = MixedStream(1 << 20);
    return s;
}

// Bytes per second and how many times the line rate that is, from the wall time of the whole loop.
void SetLineCounters(benchmark::State& state, std::size_t bytes, double seconds) {
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds : 0;
    state.counters["line_rate_x"] = rate / kLineBytesPerSecond;
}

class WallClock {
public:
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Emulation alone, in chunks as the port hands them over.
void BM_Emulation(benchmark::State& state) {
    const std::string& s = Stream();
    const std::size_t chunk = static_cast<std::size_t>(state.range(0));
    std::size_t bytes = 0;
    WallClock clock;
    for (auto _ : state) {
        TerminalEmulator t;
        for (std::size_t pos = 0; pos < s.size(); pos += chunk)
            t.Feed(s.data() + pos, std::min(chunk, s.size() - pos));
        benchmark::DoNotOptimize(t.TakeOutput());
        bytes += s.size();
    }
    SetLineCounters(state, bytes, clock.Seconds());
}
BENCHMARK(BM_Emulation)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);

// Emulation plus painting the whole view into an offscreen image, one frame per `chunk` bytes. At
// the line rate 64 bytes arrive per 33 ms frame; smaller chunks paint more often than the view does.
void BM_EmulationAndPaint(benchmark::State& state) {
    const std::string& s = Stream();
    const std::size_t chunk = static_cast<std::size_t>(state.range(0));
    const std::size_t total = 256 * 1024;
    std::size_t bytes = 0;
    std::int64_t frames = 0;
    WallClock clock;
    for (auto _ : state) {
        TComTerminal view;
        view.resize(644, 364);
        QImage image(view.viewport()->size().expandedTo(QSize(640, 360)), QImage::Format_RGB32);
        for (std::size_t pos = 0; pos < total; pos += chunk) {
            view.Emulator().Feed(s.data() + pos, std::min(chunk, total - pos));
            view.Emulator().TakeOutput();
            QPainter p(&image);
            const int top = std::max(0, view.TotalLines() - view.Emulator().Rows());
            view.PaintLines(p, image.rect(), top, 0);
            ++frames;
        }
        bytes += total;
    }
    SetLineCounters(state, bytes, clock.Seconds());
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EmulationAndPaint)->Arg(64)->Arg(1024)->Arg(16384)->Unit(benchmark::kMillisecond);

// A line whose bytes the benchmark puts in: delivered to the port through the loop, like the reader.
class BurstBackend : public SerialBackend {
public:
    std::string queued;
    MessageLoop* loop = nullptr;
    LineEventSink* sink = nullptr;
    void Inject(const char* data, std::size_t n) {
        queued.append(data, n);
        LineEventSink* s = sink;
        loop->Post([s] { s->HandleLineEvents(evRxChar, 0); });
    }
    int OpenDevice(const std::string&) override { return 0; }
    int SetupQueues(const TComBuffer&) override { return 0; }
    int ApplySettings(const LineSettings&) override { return 0; }
    int ApplyTimeouts(const TComTimeouts&) override { return 0; }
    void StartEvents(MessageLoop& l, LineEventSink& s) override {
        loop = &l;
        sink = &s;
    }
    void StopEvents() override { sink = nullptr; }
    int Purge() override { return 0; }
    void CloseDevice() override {}
    int TakeErrors(TComErrors& errors) override {
        errors = 0;
        return 0;
    }
    int BytesQueued(std::size_t& count) override {
        count = queued.size();
        return 0;
    }
    int Read(char* buffer, std::size_t count, std::size_t& got) override {
        got = std::min(count, queued.size());
        std::memcpy(buffer, queued.data(), got);
        queued.erase(0, got);
        return 0;
    }
    int Write(const char*, std::size_t count, std::size_t& written) override {
        written = count;
        return 0;
    }
    std::string ErrorText(int) const override { return {}; }
};

// 1 MB arrives in 4 KB chunks, each a separate hand-over as from the reader thread. A 1 ms timer
// measures how long the loop is kept busy at a stretch; the view repaints from its coalescing timer.
void BM_BurstThroughView(benchmark::State& state) {
    const std::string& s = Stream();
    const std::size_t chunk = 4096;
    double fedSeconds = 0;
    for (auto _ : state) {
        QtMessageLoop loop;
        auto owned = std::make_unique<BurstBackend>();
        BurstBackend* line = owned.get();
        TComPort port(loop, std::move(owned));
        port.Open();
        TComTerminal view;
        view.resize(644, 364);
        view.show();
        view.SetComPort(&port);
        const auto repaintsBefore = view.Repaints();

        QElapsedTimer clock;
        clock.start();
        qint64 lastTick = 0;
        qint64 longestGap = 0;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longestGap = std::max(longestGap, now - lastTick);
            lastTick = now;
        });
        ticker.start();
        std::size_t pos = 0;
        // Chunks are handed over one after the other, as fast as the loop takes them.
        std::function<void()> next = [&] {
            if (pos >= s.size()) return;
            const std::size_t n = std::min(chunk, s.size() - pos);
            line->Inject(s.data() + pos, n);
            pos += n;
            loop.Post(next);
        };
        lastTick = clock.nsecsElapsed();
        const qint64 start = clock.nsecsElapsed();
        loop.Post(next);
        while (pos < s.size() || !line->queued.empty())
            loop.WaitForMessage(10);
        const qint64 fed = clock.nsecsElapsed() - start;
        view.FlushRepaint();
        QApplication::processEvents();
        state.SetIterationTime(static_cast<double>(fed) / 1e9);
        fedSeconds += static_cast<double>(fed) / 1e9;
        state.counters["repaints"] = static_cast<double>(view.Repaints() - repaintsBefore);
        state.counters["longest_busy_ms"] = static_cast<double>(longestGap) / 1e6;
        state.counters["scrollback"] = static_cast<double>(view.Emulator().ScrollbackSize());
        view.SetComPort(nullptr);
    }
    SetLineCounters(state, s.size() * static_cast<std::size_t>(state.iterations()), fedSeconds);
}
BENCHMARK(BM_BurstThroughView)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
