// Figures of the values screen over a long measurement session:
//  - a live session at the line's full packet rate (about 160 packets/s, six ticked values): packets,
//    points and redraws per second, and the program's own CPU time;
//  - memory per point held;
//  - with 6 million points held: a redraw of the 20-second window, "Zoom to Fit", and the whole
//    recording in view;
//  - the cost of one point with 0, 1 M and 6 M points already held (Google Benchmark).
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
//   values_bench [--seconds N] [--in-process]
// The live session runs against mirota-devsim (beside this program) on a pseudo-terminal at about
// 160 packets/s; with --in-process, or when the simulator is missing, against an in-process device.
#include "values/ui/FrmValuesWindow.h"

#include "../../tests/unit/values/LineDevice.h"
#include "loop/qt/QtMessageLoop.h"
#include "values/PlotModel.h"
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

#include <charconv>
#include <ctime>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using namespace mirota;

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
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
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
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
    for (int i = 0; i < 6; ++i) window.Box(i)->setChecked(true);
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
    const double cpu0 = CpuSeconds();
    wall.start();
    QEventLoop wait;
    QTimer::singleShot(seconds * 1000, &wait, &QEventLoop::quit);
    wait.exec();
    const double elapsed = wall.elapsed() / 1000.0;
    const double cpu = CpuSeconds() - cpu0;
    filter->OnPacket = original;

    const std::size_t points = window.Logic().Plot().TotalPoints() - points0;
    std::printf("live session, %s, %.1f s:\n", pty.empty() ? "in-process device" : pty.c_str(), elapsed);
    std::printf("  packets/s              %8.1f\n", packets / elapsed);
    std::printf("  points/s               %8.1f\n", points / elapsed);
    std::printf("  redraws/s              %8.1f   (target: at most about 30)\n",
                (window.PlotWidget()->RedrawCount() - redraws0) / elapsed);
    std::printf("  CPU time               %8.2f %% of one core   (target: under 10 %%%s)\n", 100 * cpu / elapsed,
                pty.empty() ? "; includes the in-process device" : "");
    window.Logic().bAlreadyClosing = true; // leave without the closing wait
}

// Fills a plot as a session of `points` points would (160 packets/s, six ticked values).
void Fill(PlotModel& model, std::size_t points, double t0) {
    const double dt = 1.0 / 160;
    for (std::size_t k = 0; k < points / 6; ++k) {
        const double t = t0 + k * dt;
        for (int c = 0; c < 6; ++c) model.AddPoint(c, t, 100 * std::sin(t * 0.01 * (c + 1)) + 5 * std::sin(t * 3.0));
    }
}

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Average wall and CPU time of f in ms; the CPU figure does not depend on other work on the machine.
struct Timing {
    double wall, cpu;
};

template <class F>
Timing AverageMs(int runs, F&& f) {
    using clock = std::chrono::steady_clock;
    f(); // warm
    const auto a = clock::now();
    const double c = ThreadCpuMs();
    for (int i = 0; i < runs; ++i) f();
    return {std::chrono::duration<double, std::milli>(clock::now() - a).count() / runs, (ThreadCpuMs() - c) / runs};
}

void BigPlot() {
    const std::size_t N = 6'000'000;
    PlotModel model;
    for (int i = 0; i < 6; ++i) model.ShowChannel(i, model.ChannelAt(i).Title);
    TiXYPlot plot(model);
    plot.resize(752, 390);
    plot.show();
    QApplication::processEvents();

    const long rss0 = RssKiB();
    const auto a = std::chrono::steady_clock::now();
    Fill(model, N, 1.8e9);
    const double fillS = std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
    const long rss1 = RssKiB();
    std::printf("6 million points (6 channels x 1 M, %.0f minutes at 160 packets/s):\n", N / 6 / 160.0 / 60);
    std::printf("  adding them            %8.1f ns per point\n", fillS * 1e9 / N);
    std::printf("  memory                 %8.1f bytes per point   (target: at most 24)\n",
                (rss1 - rss0) * 1024.0 / N);

    const Timing window20 = AverageMs(20, [&] { plot.ReplotNow(); });
    std::printf("  redraw, 20 s window    %8.2f ms wall, %6.2f ms CPU   (target: under 5)\n", window20.wall,
                window20.cpu);

    const Timing fit = AverageMs(10, [&] {
        model.SetValueRange(0, {0, 1});
        model.ZoomToFit();
        plot.ReplotNow();
    });
    std::printf("  Zoom to Fit + redraw   %8.2f ms wall, %6.2f ms CPU   (value axes; time axis kept)\n", fit.wall,
                fit.cpu);

    const AxisRange window = model.TimeRange();
    const Timing all = AverageMs(10, [&] {
        model.FitTimeToData();
        model.ZoomToFit();
        plot.ReplotNow();
    });
    std::printf("  all data in view       %8.2f ms wall, %6.2f ms CPU   (target: under 60; toolbar \"Show All\")\n",
                all.wall, all.cpu);
    model.SetTimeRange(window);
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

void BM_AddPointToPlot(benchmark::State& state) {
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
BENCHMARK(BM_AddPointToPlot)->Arg(0)->Arg(1'000'000)->Arg(6'000'000);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int seconds = 10;
    bool inProcess = false;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--in-process")) inProcess = true;
        else rest.push_back(argv[i]);
    }
    int qargc = 1;
    QApplication app(qargc, argv);
    Devsim devsim;
    if (!inProcess) {
        // The simulator sends the six values and the frequency at every tick: 23 ticks make about
        // 161 packets a second, the line's full rate.
        devsim = StartDevsim(23);
        if (devsim.pty.empty()) std::printf("(mirota-devsim not found beside the program: in-process device)\n");
    }
    LiveSession(seconds, devsim.pty);
    StopDevsim(devsim);
    BigPlot();
    int bargc = static_cast<int>(rest.size());
    benchmark::Initialize(&bargc, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
