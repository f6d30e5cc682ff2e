// Figures of the values screen over a long measurement session:
//  - a live session at the line's full packet rate (about 160 packets/s, six ticked values): packets,
//    points and redraws per second, and the program's own CPU time;
//  - a day of streaming held (83 million points unless --points says otherwise): adding, the longest
//    packet, memory per point, a redraw of the 20-second window, "Zoom to Fit", the whole recording in
//    view and the CSV export, side by side with the same points in a plain QCustomPlot graph with
//    default settings (unless --no-plain) and the ratio of the two;
//  - the cost of one point with 0, 1 M and 6 M points already held (Google Benchmark).
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
//   values_bench [--seconds N] [--in-process] [--points N] [--no-plain]
// The live session runs against mirota-devsim (beside this program) on a pseudo-terminal at about
// 160 packets/s; with --in-process, or when the simulator is missing, against an in-process device.
#include "values/ui/FrmValuesWindow.h"

#include "../../tests/unit/values/LineDevice.h"
#include "loop/qt/QtMessageLoop.h"
#include "values/PlotModel.h"
#include "values/PointsCsv.h"
#include "values/ui/ValuePlot.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

namespace {

using namespace mirota;

// The process's CPU time in seconds: in user space and in the kernel (system calls, wake-ups).
struct Cpu {
    double user, system;
};
Cpu CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return {ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6, ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6};
}

long RssKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

class BenchHost : public ScreenHost {
public:
    bool Unplugged() const override { return false; }
    void ClosingCurrentFrame(bool) override {}
};

class BenchDialogs : public Dialogs {
public:
    DialogResult ShowDialog(DialogKind, const std::string& t, DialogButtons) override {
        std::printf("  (dialog: %s)\n", t.c_str());
        return DialogResult::Ok;
    }
    DialogResult ShowSystemBox(const std::string& t, const std::string&, DialogKind, DialogButtons) override {
        std::printf("  (box: %s)\n", t.c_str());
        return DialogResult::Ok;
    }
};

std::string Fixed(double v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
    return std::string(buf, r.ptr);
}

std::filesystem::path CfgDir() {
    const std::filesystem::path beside =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "_cfg";
    return std::filesystem::exists(beside) ? beside : std::filesystem::path(MIROTA_DATA_CFG);
}

// mirota-devsim on a pseudo-terminal: its pid and the pty path it prints first.
struct Devsim {
    pid_t pid = -1;
    std::string pty;
};

Devsim StartDevsim(double ticksPerSecond) {
    Devsim d;
    const std::string program = QCoreApplication::applicationDirPath().toStdString() + "/mirota-devsim";
    if (access(program.c_str(), X_OK) != 0) return d;
    int out[2];
    if (pipe(out) != 0) return d;
    const std::string rate = std::to_string(ticksPerSecond);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execl(program.c_str(), program.c_str(), "--rate", rate.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    d.pid = pid;
    d.pty = line;
    return d;
}

void StopDevsim(Devsim& d) {
    if (d.pid <= 0) return;
    kill(d.pid, SIGTERM);
    waitpid(d.pid, nullptr, 0);
    d.pid = -1;
}

// A live session: the window, all six values ticked, packets at the line's full rate.
void LiveSession(int seconds, const std::string& pty) {
    QtMessageLoop loop;
    testing::LineDevice device(loop);
    std::unique_ptr<TComPort> port;
    int n = 0;
    if (pty.empty()) {
        device.StreamEveryMs = 6; // ~166 packets/s: 19200 baud carries about 160 of ~12 bytes
        device.StreamBody = [&] {
            const double t = loop.TickCount() / 1000.0;
            const int value = n++ % 6 + 1;
            return std::to_string(value) + Fixed(100 * std::sin(t * value * 0.3) + value);
        };
        port = std::make_unique<TComPort>(loop, device.MakeBackend());
    } else {
        port = std::make_unique<TComPort>(loop);
        port->SetPort(pty);
        port->SetBaudRate(TBaudRate::br19200);
    }
    port->Open();
    BenchHost host;
    BenchDialogs dialogs;
    ScreenArgs args{host, loop, dialogs, port.get(), "Mirota DMS", "BENCH", 0};
    TfrmValuesFrameView window(args, CfgDir());
    window.resize(886, 522);
    for (int i = 0; i < 6; ++i)
        window.Box(i)->setChecked(true);
    window.Show();
    QApplication::processEvents();

    const std::size_t points0 = window.Logic().Plot().TotalPoints();
    const int redraws0 = window.PlotWidget()->RedrawCount();
    std::size_t packets = 0;
    QElapsedTimer wall;
    wall.start();
    auto* filter = &window.Logic().cmdtpcktContinuesFilter;
    auto original = filter->OnPacket;
    filter->OnPacket = [&](TComDataPacket* s, const std::string& str) {
        ++packets;
        original(s, str);
    };
    const long rss0 = RssKiB();
    const Cpu cpu0 = CpuSeconds();
    wall.start();
    QEventLoop wait;
    QTimer::singleShot(seconds * 1000, &wait, &QEventLoop::quit);
    wait.exec();
    const double elapsed = wall.elapsed() / 1000.0;
    const Cpu cpu1 = CpuSeconds();
    const double user = cpu1.user - cpu0.user, system = cpu1.system - cpu0.system, cpu = user + system;
    filter->OnPacket = original;

    const std::size_t points = window.Logic().Plot().TotalPoints() - points0;
    std::printf("live session, %s, %.1f s:\n", pty.empty() ? "in-process device" : pty.c_str(), elapsed);
    std::printf("  packets/s              %8.1f\n", packets / elapsed);
    std::printf("  points/s               %8.1f\n", points / elapsed);
    std::printf("  redraws/s              %8.1f   (target: at most about 30)\n",
                (window.PlotWidget()->RedrawCount() - redraws0) / elapsed);
    std::printf("  CPU time               %8.2f %% of one core   (target: at most 3 %%%s)\n",
                100 * cpu / elapsed, pty.empty() ? "; includes the in-process device" : "");
    std::printf("    in user space        %8.2f %%\n    in the kernel        %8.2f %%\n",
                100 * user / elapsed, 100 * system / elapsed);
    std::printf(
        "  memory growth          %8.2f bytes per point (%ld KiB for %zu points; chunks of 64 Ki rows)\n",
        points ? (RssKiB() - rss0) * 1024.0 / points : 0.0, RssKiB() - rss0, points);
    window.Logic().Detach(); // leave without the closing wait
}

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// One packet's instant for row k of a session at 160 packets/s; channel c's value there.
double RowTime(std::size_t k, double t0) {
    return t0 + k / 160.0;
}
double RowValue(int c, double t, std::size_t k) {
    // A slow wave with ripple and, now and then, a one-sample spike that a faithful view must show.
    return 100 * std::sin(t * 0.01 * (c + 1)) + 5 * std::sin(t * 3.0) + (k % 100003 == 0 ? 500 : 0);
}

// Fills a plot as a session of `points` points would (160 packets/s, six ticked values); returns the
// longest time one packet's six points took, in ms.
double Fill(PlotModel& model, std::size_t points, double t0) {
    double worst = 0;
    for (std::size_t k = 0; k < points / 6; ++k) {
        const double t = RowTime(k, t0);
        // Thread CPU time, so that the machine's other work does not count as a pause of ours; every
        // 64th packet, which includes every one that begins a new chunk.
        const bool timed = k % 64 == 0;
        const double a = timed ? ThreadCpuMs() : 0;
        for (int c = 0; c < 6; ++c)
            model.AddPoint(c, t, RowValue(c, t, k));
        if (timed) worst = std::max(worst, ThreadCpuMs() - a);
    }
    return worst;
}

// Average wall and CPU time of f in ms; the CPU figure does not depend on other work on the machine.
struct Timing {
    double wall, cpu;
};

template <class F> Timing AverageMs(int runs, F&& f) {
    using clock = std::chrono::steady_clock;
    f(); // warm
    const auto a = clock::now();
    const double c = ThreadCpuMs();
    for (int i = 0; i < runs; ++i)
        f();
    return {std::chrono::duration<double, std::milli>(clock::now() - a).count() / runs,
            (ThreadCpuMs() - c) / runs};
}

// The figures of one way of holding the points, for the side-by-side table.
struct Figures {
    double fillNsPerPoint = 0, worstPacketMs = 0, bytesPerPoint = 0, window20Ms = 0, fitMs = 0, allMs = 0,
           csvMBps = 0;
};

void Row(const char* what, double ours, double plain, const char* unit, const char* target) {
    std::printf("  %-26s %10.3f %10.3f %-5s  x%-8.1f %s\n", what, ours, plain, unit,
                ours > 0 ? plain / ours : 0.0, target);
}

// The same points in a plain QCustomPlot: six graphs with default settings, every point added to
// its graph, "Zoom to Fit" by rescaling the value axes, the CSV built from the graphs' data.
Figures PlainPlot(std::size_t N, double t0, const std::filesystem::path& csv) {
    Figures f;
    QCustomPlot plot;
    plot.resize(752, 390);
    QCPGraph* graphs[6];
    for (int c = 0; c < 6; ++c)
        graphs[c] =
            plot.addGraph(plot.xAxis, c == 0 ? plot.yAxis : plot.axisRect()->addAxis(QCPAxis::atLeft));
    plot.show();
    QApplication::processEvents();
    const long rss0 = RssKiB();
    using clock = std::chrono::steady_clock;
    const auto a = clock::now();
    for (std::size_t k = 0; k < N / 6; ++k) {
        const double t = RowTime(k, t0);
        // As for ours, and every packet at which the graphs' vectors reach a power of two (they grow there).
        const bool timed = k % 64 == 0 || (k & (k - 1)) == 0;
        const double p = timed ? ThreadCpuMs() : 0;
        for (int c = 0; c < 6; ++c)
            graphs[c]->addData(t, RowValue(c, t, k));
        if (timed) f.worstPacketMs = std::max(f.worstPacketMs, ThreadCpuMs() - p);
    }
    f.fillNsPerPoint = std::chrono::duration<double, std::nano>(clock::now() - a).count() / N;
    f.bytesPerPoint = (RssKiB() - rss0) * 1024.0 / N;
    const double end = RowTime(N / 6 - 1, t0);
    plot.xAxis->setRange(end - 20, end);
    f.window20Ms = AverageMs(10, [&] { plot.replot(QCustomPlot::rpImmediateRefresh); }).wall;
    f.fitMs = AverageMs(3, [&] {
                  for (QCPGraph* g : graphs)
                      g->rescaleValueAxis();
                  plot.replot(QCustomPlot::rpImmediateRefresh);
              }).wall;
    f.allMs = AverageMs(3, [&] {
                  plot.rescaleAxes();
                  plot.replot(QCustomPlot::rpImmediateRefresh);
              }).wall;
    // The export as a plain graph gives it: the whole text in memory, then written.
    const auto e = clock::now();
    std::string text = "Channel,Time,Seconds,Value\r\n";
    char buf[64];
    for (int c = 0; c < 6; ++c)
        for (auto it = graphs[c]->data()->constBegin(); it != graphs[c]->data()->constEnd(); ++it) {
            text += "\"Channel\",";
            const std::time_t tt = static_cast<std::time_t>(it->key);
            std::tm tm{};
            localtime_r(&tt, &tm);
            text.append(buf, std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm));
            text += ".000,";
            text.append(buf, std::to_chars(buf, buf + sizeof buf, it->key).ptr);
            text += ',';
            text.append(buf, std::to_chars(buf, buf + sizeof buf, it->value).ptr);
            text += "\r\n";
        }
    {
        std::ofstream out(csv, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    f.csvMBps = text.size() / 1e6 / std::chrono::duration<double>(clock::now() - e).count();
    std::filesystem::remove(csv);
    return f;
}

void BigPlot(std::size_t N, bool plain) {
    const double t0 = 1.8e9;
    PlotModel model;
    for (int i = 0; i < 6; ++i)
        model.ShowChannel(i, model.ChannelAt(i).Title);
    TiXYPlot plot(model);
    plot.resize(752, 390);
    plot.show();
    QApplication::processEvents();

    Figures f;
    const long rss0 = RssKiB();
    const auto a = std::chrono::steady_clock::now();
    f.worstPacketMs = Fill(model, N, t0);
    const double fillS = std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
    const long rss1 = RssKiB();
    f.fillNsPerPoint = fillS * 1e9 / N;
    f.bytesPerPoint = (rss1 - rss0) * 1024.0 / N;
    std::printf("%.1f million points (6 channels x %.1f M, %.1f hours at 160 packets/s), built in %.1f s:\n",
                N / 1e6, N / 6e6, N / 6 / 160.0 / 3600, fillS);
    std::printf("  point storage allocated  %8.2f bytes per point\n",
                model.Points().BytesAllocated() * 1.0 / N);

    f.window20Ms = AverageMs(20, [&] { plot.ReplotNow(); }).wall;
    const Timing fitOnly = AverageMs(1000, [&] {
        model.SetValueRange(0, {0, 1});
        model.ZoomToFit();
    });
    f.fitMs = AverageMs(10, [&] {
                  model.SetValueRange(0, {0, 1});
                  model.ZoomToFit();
                  plot.ReplotNow();
              }).wall;
    std::printf("  Zoom to Fit alone        %8.4f ms (independent of the point count)\n", fitOnly.wall);
    const AxisRange window = model.TimeRange();
    const Timing all = AverageMs(10, [&] {
        model.FitTimeToData();
        model.ZoomToFit();
        plot.ReplotNow();
    });
    f.allMs = all.wall;
    model.SetTimeRange(window);

    const std::filesystem::path csv = std::filesystem::temp_directory_path() / "values_bench_points.csv";
    const auto e = std::chrono::steady_clock::now();
    int progressCalls = 0;
    const CsvResult r =
        ExportPointsCsv(model, csv, [&](std::uint64_t, std::uint64_t) { return ++progressCalls > 0; });
    const double exportS = std::chrono::duration<double>(std::chrono::steady_clock::now() - e).count();
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(csv, ec);
    f.csvMBps = r == CsvResult::Written ? bytes / 1e6 / exportS : 0;
    std::printf(
        "  CSV export               %8.1f MB in %.1f s, %d progress calls, peak memory unchanged: %s\n",
        bytes / 1e6, exportS, progressCalls, r == CsvResult::Written ? "written" : "FAILED");
    std::filesystem::remove(csv, ec);

    Figures p;
    if (plain) p = PlainPlot(N, t0, csv);
    std::printf("  %-26s %10s %10s %-5s  %-9s %s\n", "", "ours", "plain", "", "plain/ours", "target");
    Row("adding, per point", f.fillNsPerPoint, p.fillNsPerPoint, "ns", "O(1)");
    Row("longest packet (6 points)", f.worstPacketMs, p.worstPacketMs, "ms",
        "no pause above 5 ms (thread CPU)");
    Row("memory per point", f.bytesPerPoint, p.bytesPerPoint, "B", "<= 10");
    Row("redraw, 20 s window", f.window20Ms, p.window20Ms, "ms", "< 2");
    Row("Zoom to Fit + redraw", f.fitMs, p.fitMs, "ms", "O(1) in the points");
    Row("Show All + redraw", f.allMs, p.allMs, "ms", "< 50, min/max per pixel column");
    Row("CSV export", f.csvMBps, p.csvMBps, "MB/s", ">= 50, streamed (ratio: ours/plain is 1/x)");
}

// ---- per point ------------------------------------------------------------------------------------

void BM_AddPointModelOnly(benchmark::State& state) {
    PlotModel model;
    Fill(model, static_cast<std::size_t>(state.range(0)), 1.8e9);
    double t = 1.9e9;
    for (auto _ : state) {
        t += 0.001;
        model.AddPoint(0, t, std::sin(t));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddPointModelOnly)->Arg(0)->Arg(1'000'000)->Arg(6'000'000);

void BM_AddPointWithPlotShown(benchmark::State& state) {
    PlotModel model;
    TiXYPlot plot(model);
    Fill(model, static_cast<std::size_t>(state.range(0)), 1.8e9);
    double t = 1.9e9;
    for (auto _ : state) {
        t += 0.001;
        model.AddPoint(static_cast<int>(state.iterations() % 6), t, std::sin(t));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddPointWithPlotShown)->Arg(0)->Arg(1'000'000)->Arg(6'000'000);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int seconds = 10;
    bool inProcess = false, plain = true;
    std::size_t points = 83'000'000;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--in-process"))
            inProcess = true;
        else if (!std::strcmp(argv[i], "--points") && i + 1 < argc)
            points = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--no-plain"))
            plain = false;
        else
            rest.push_back(argv[i]);
    }
    int qargc = 1;
    QApplication app(qargc, argv);
    Devsim devsim;
    if (!inProcess) {
        // The simulator sends the six values and the frequency at every tick: 23 ticks make about
        // 161 packets a second, the line's full rate.
        devsim = StartDevsim(23);
        if (devsim.pty.empty())
            std::printf("(mirota-devsim not found beside the program: in-process device)\n");
    }
    LiveSession(seconds, devsim.pty);
    StopDevsim(devsim);
    BigPlot(points, plain);
    int bargc = static_cast<int>(rest.size());
    benchmark::Initialize(&bargc, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
