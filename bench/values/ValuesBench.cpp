// Figures of the values screen over a long measurement session:
//  - a live session at the line's full packet rate (about 160 packets/s, six ticked values): packets,
//    points and redraws per second, the program's own CPU time and the memory it grows by, beside the
//    same stream drawn by a plain QCustomPlot as a naive program would (six graphs with default
//    settings, rescaleAxes and replot about 30 times a second);
//  - a day of streaming held (83 million points unless --points says otherwise): adding, the longest
//    packet, memory per point, a redraw of the 20-second window, "Zoom to Fit" (at two point counts),
//    the whole recording in view and the CSV export (speed and peak memory), side by side with the same
//    points in a plain QCustomPlot graph with default settings (unless --no-plain) and the ratio;
//  - the cost of one point with 0, 1 M and 6 M points already held (Google Benchmark).
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. Options: see kUsage.
#include "values/ui/FrmValuesWindow.h"

#include "../../tests/unit/values/LineDevice.h"
#include "loop/qt/QtMessageLoop.h"
#include "values/MeasurementText.h"
#include "values/PlotModel.h"
#include "values/PointsCsv.h"
#include "values/ui/ValuePlot.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

namespace {

using namespace mirota;

const char kUsage[] =
    "usage: values_bench [options] [Google Benchmark options]\n"
    "  --seconds N     length of each live session (default 10)\n"
    "  --in-process    live sessions against an in-process device instead of mirota-devsim (beside\n"
    "                  this program; used anyway when it is missing)\n"
    "  --points N      points held for the day-of-streaming figures (default 83000000)\n"
    "  --no-plain      no plain QCustomPlot beside ours\n"
    "  --live-only     only our live session, for --seconds N, with the memory it grows by per point\n"
    "                  (every five minutes in sessions of ten minutes or more); the 30-minute check:\n"
    "                    values_bench --live-only --seconds 1800\n"
    "  --help          this text\n";

// The process's CPU time in seconds: in user space and in the kernel (system calls, wake-ups).
struct Cpu {
    double user, system;
};
Cpu CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return {ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6, ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6};
}

// A "Vm...:" figure of /proc/self/status in KiB.
long StatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return 0;
}
long RssKiB() {
    return StatusKiB("VmRSS:");
}

// How far the resident set rises above its size at construction while some work runs, in MiB: the
// kernel's high-water mark (VmHWM), set back to the current size first, and the samples taken.
class PeakGrowth {
public:
    PeakGrowth() : before_(RssKiB()), peak_(before_) {
        std::ofstream clear("/proc/self/clear_refs");
        clear << '5';
        clear.close();
        highWaterMark_ = !clear.fail();
    }
    void Sample() { peak_ = std::max(peak_, RssKiB()); }
    double MiB() {
        Sample();
        if (highWaterMark_) peak_ = std::max(peak_, StatusKiB("VmHWM:"));
        return (peak_ - before_) / 1024.0;
    }
    double BeforeMiB() const { return before_ / 1024.0; }

private:
    long before_, peak_;
    bool highWaterMark_ = false;
};

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

// ---- live sessions --------------------------------------------------------------------------------

// The line of a live session, opened: a mirota-devsim of its own at the line's full rate (it sends the
// six values and the frequency at every tick: 23 ticks make about 161 packets a second), or the
// in-process device at about the same rate. The stream starts when "$6661" CR is sent.
class LiveLine {
public:
    LiveLine(QtMessageLoop& loop, bool inProcess) : device_(loop) {
        if (!inProcess) devsim_ = StartDevsim(23);
        if (devsim_.pty.empty()) {
            device_.StreamEveryMs = 6; // ~166 packets/s: 19200 baud carries about 160 of ~12 bytes
            device_.StreamBody = [&loop, this] {
                const double t = loop.TickCount() / 1000.0;
                const int value = n_++ % 6 + 1;
                return std::to_string(value) + Fixed(100 * std::sin(t * value * 0.3) + value);
            };
            port_ = std::make_unique<TComPort>(loop, device_.MakeBackend());
        } else {
            port_ = std::make_unique<TComPort>(loop);
            port_->SetPort(devsim_.pty);
            port_->SetBaudRate(TBaudRate::br19200);
        }
        port_->Open();
        name_ = devsim_.pty.empty()
                    ? (inProcess ? "in-process device"
                                 : "in-process device (mirota-devsim not found beside the program)")
                    : "mirota-devsim on " + devsim_.pty;
    }
    ~LiveLine() {
        port_.reset();
        StopDevsim(devsim_);
    }
    TComPort& Port() { return *port_; }
    const std::string& Name() const { return name_; }

private:
    testing::LineDevice device_;
    Devsim devsim_;
    int n_ = 0;
    std::unique_ptr<TComPort> port_;
    std::string name_;
};

struct LiveFigures {
    std::string line;
    double seconds = 0, packetsPerS = 0, pointsPerS = 0, redrawsPerS = 0, cpu = 0, user = 0, system = 0,
           bytesPerPoint = 0;
    long rssKiB = 0;
    std::size_t points = 0;
};

// Runs the loop for `seconds` and measures the session: the packets it counts into `packets`, the
// points held and redraws done as `points` and `redraws` count them, the process's CPU time and
// resident set. Sessions of ten minutes or more print their memory growth every five minutes.
LiveFigures MeasureLive(int seconds, const std::size_t& packets, const std::function<std::size_t()>& points,
                        const std::function<long()>& redraws) {
    const std::size_t packets0 = packets, points0 = points();
    const long redraws0 = redraws(), rss0 = RssKiB();
    const auto growth = [&](std::size_t n) { return n ? (RssKiB() - rss0) * 1024.0 / n : 0.0; };
    QElapsedTimer wall;
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        const std::size_t n = points() - points0;
        std::printf("  after %3.0f min: %zu points, memory growth %.2f bytes per point\n",
                    wall.elapsed() / 60000.0, n, growth(n));
        std::fflush(stdout);
    });
    if (seconds >= 600) progress.start(300'000);
    const Cpu cpu0 = CpuSeconds();
    wall.start();
    QEventLoop wait;
    QTimer::singleShot(seconds * 1000, &wait, &QEventLoop::quit);
    wait.exec();
    LiveFigures f;
    f.seconds = wall.elapsed() / 1000.0;
    const Cpu cpu1 = CpuSeconds();
    f.user = 100 * (cpu1.user - cpu0.user) / f.seconds;
    f.system = 100 * (cpu1.system - cpu0.system) / f.seconds;
    f.cpu = f.user + f.system;
    f.points = points() - points0;
    f.packetsPerS = (packets - packets0) / f.seconds;
    f.pointsPerS = f.points / f.seconds;
    f.redrawsPerS = (redraws() - redraws0) / f.seconds;
    f.rssKiB = RssKiB() - rss0;
    f.bytesPerPoint = growth(f.points);
    return f;
}

// Our live session: the window, all six values ticked.
LiveFigures OurLive(int seconds, bool inProcess) {
    QtMessageLoop loop;
    LiveLine line(loop, inProcess);
    BenchHost host;
    BenchDialogs dialogs;
    ScreenArgs args{host, loop, dialogs, &line.Port(), "Mirota DMS", "BENCH", 0};
    TfrmValuesFrameView window(args, CfgDir());
    window.resize(886, 522);
    for (int i = 0; i < 6; ++i)
        window.Box(i)->setChecked(true);
    window.Show();
    QApplication::processEvents();

    std::size_t packets = 0;
    auto* filter = &window.Logic().cmdtpcktContinuesFilter;
    auto original = filter->OnPacket;
    filter->OnPacket = [&](TComDataPacket* s, const std::string& str) {
        ++packets;
        original(s, str);
    };
    LiveFigures f = MeasureLive(
        seconds, packets, [&] { return window.Logic().Plot().TotalPoints(); },
        [&] { return static_cast<long>(window.PlotWidget()->RedrawCount()); });
    filter->OnPacket = original;
    f.line = line.Name();
    window.Logic().Detach(); // leave without the closing wait
    return f;
}

// Six graphs of a plain QCustomPlot with default settings, each on a value axis of its own.
std::array<QCPGraph*, 6> PlainGraphs(QCustomPlot& plot) {
    std::array<QCPGraph*, 6> graphs{};
    for (int c = 0; c < 6; ++c)
        graphs[c] =
            plot.addGraph(plot.xAxis, c == 0 ? plot.yAxis : plot.axisRect()->addAxis(QCPAxis::atLeft));
    plot.resize(752, 390);
    return graphs;
}

// The same stream drawn as a naive program would: the packets cut out of the line as the screen does,
// every packet appending the newest of the six values to six plain graphs, and about 30 times a
// second rescaleAxes and replot.
LiveFigures PlainLive(int seconds, bool inProcess) {
    QtMessageLoop loop;
    LiveLine line(loop, inProcess);
    QCustomPlot plot;
    const std::array<QCPGraph*, 6> graphs = PlainGraphs(plot);
    plot.show();
    QApplication::processEvents();

    std::size_t packets = 0;
    std::array<double, 6> values{};
    TComDataPacket filter;
    filter.SetStartString("%00");
    filter.SetStopString("\x1b");
    filter.SetComPort(&line.Port());
    filter.OnPacket = [&](TComDataPacket*, const std::string& str) {
        ++packets;
        if (str.size() > 1 && str[0] >= '1' && str[0] <= '6')
            if (const auto v = ReadDecimalNumber(std::string_view(str).substr(1))) values[str[0] - '1'] = *v;
        const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        for (int c = 0; c < 6; ++c)
            graphs[c]->addData(now, values[c]);
    };
    long redraws = 0;
    QTimer redraw;
    QObject::connect(&redraw, &QTimer::timeout, [&] {
        plot.rescaleAxes();
        plot.replot();
        ++redraws;
    });
    redraw.start(33);
    line.Port().WriteStr("$6661\r");
    LiveFigures f = MeasureLive(
        seconds, packets,
        [&] {
            std::size_t n = 0;
            for (const QCPGraph* g : graphs)
                n += static_cast<std::size_t>(g->dataCount());
            return n;
        },
        [&] { return redraws; });
    f.line = line.Name();
    filter.SetComPort(nullptr);
    return f;
}

// A row of a side-by-side table: our figure, the plain graph's (unless it was not measured) and
// plain/ours.
template <class F>
void Row(const char* what, const F& ours, const std::optional<F>& plain, double F::*figure, const char* unit,
         const char* target) {
    const double a = ours.*figure;
    char b[32] = "-", ratio[32] = "";
    if (plain) {
        const double v = (*plain).*figure, r = a > 0 ? v / a : 0.0;
        std::snprintf(b, sizeof b, "%.3f", v);
        std::snprintf(ratio, sizeof ratio, r < 100 ? "x%.2f" : "x%.0f", r);
    }
    std::printf("  %-30s %10.3f %10s %-5s %-10s %s\n", what, a, b, unit, ratio, target);
}
void Header() {
    std::printf("  %-30s %10s %10s %-5s %-10s %s\n", "", "ours", "plain", "", "plain/ours", "target");
}

void LiveSessions(int seconds, bool inProcess, bool plain) {
    const LiveFigures ours = OurLive(seconds, inProcess);
    std::optional<LiveFigures> p;
    if (plain) p = PlainLive(seconds, inProcess);
    std::printf("live session%s, %s, %.1f s%s (ours: the window, six values ticked%s; CPU time of the whole "
                "process%s):\n",
                p ? "s" : "", ours.line.c_str(), ours.seconds, p ? " each" : "",
                p ? "; plain: six graphs,\nrescaleAxes + replot every 33 ms" : "",
                ours.line.rfind("in-process", 0) == 0 ? ", the device included" : "");
    Header();
    Row("packets/s", ours, p, &LiveFigures::packetsPerS, "", "about 160 (the line's full rate)");
    Row("points/s", ours, p, &LiveFigures::pointsPerS, "", "");
    Row("redraws/s", ours, p, &LiveFigures::redrawsPerS, "", "at most about 30");
    Row("CPU time", ours, p, &LiveFigures::cpu, "%", "<= 3 % of one core");
    Row("  in user space", ours, p, &LiveFigures::user, "%", "");
    Row("  in the kernel", ours, p, &LiveFigures::system, "%", "");
    Row("memory growth per point", ours, p, &LiveFigures::bytesPerPoint, "B", "<= 10");
    std::printf("  (memory growth: %ld KiB for %zu points", ours.rssKiB, ours.points);
    if (p) std::printf("; plain: %ld KiB for %zu points", p->rssKiB, p->points);
    std::printf(
        ";\n   the resident set grows by pages, ours also by chunks of 64 Ki rows: a few seconds' figure is "
        "coarse)\n");
}

// ---- a day of streaming held ------------------------------------------------------------------------

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

// Adds points `from` to `to` (counted from the session's start) as a session would (160 packets/s,
// six ticked values); returns the longest time one packet's six points took, in ms.
double Fill(PlotModel& model, std::size_t from, std::size_t to, double t0) {
    double worst = 0;
    for (std::size_t k = from / 6; k < to / 6; ++k) {
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
    double fillNsPerPoint = 0, worstPacketMs = 0, bytesPerPoint = 0, fitFewUs = 0, fitAllUs = 0, csvMBps = 0,
           csvPeakMiB = 0;
    // The redraws' wall time, and the GUI thread's CPU time, which other work on the machine does not
    // inflate.
    double window20Ms = 0, window20CpuMs = 0, fitMs = 0, fitCpuMs = 0, allMs = 0, allCpuMs = 0;
    void SetRedraws(Timing window20, Timing fit, Timing all) {
        window20Ms = window20.wall;
        window20CpuMs = window20.cpu;
        fitMs = fit.wall;
        fitCpuMs = fit.cpu;
        allMs = all.wall;
        allCpuMs = all.cpu;
    }
};

// The first point count "Zoom to Fit" is timed at, the second being all the points.
std::size_t FewPoints(std::size_t N) {
    return (N > 6'000'000 ? 6'000'000 : N / 10) / 6 * 6;
}

// The same points in a plain QCustomPlot: six graphs with default settings, every point added to
// its graph, "Zoom to Fit" by rescaling the value axes, the CSV built from the graphs' data.
Figures PlainPlot(std::size_t N, double t0, const std::filesystem::path& csv) {
    Figures f;
    QCustomPlot plot;
    const std::array<QCPGraph*, 6> graphs = PlainGraphs(plot);
    plot.show();
    QApplication::processEvents();
    const long rss0 = RssKiB();
    double fillNs = 0;
    const auto fill = [&](std::size_t from, std::size_t to) {
        const auto a = std::chrono::steady_clock::now();
        for (std::size_t k = from / 6; k < to / 6; ++k) {
            const double t = RowTime(k, t0);
            // As for ours, and every packet at which the graphs' vectors reach a power of two (they grow
            // there).
            const bool timed = k % 64 == 0 || (k & (k - 1)) == 0;
            const double p = timed ? ThreadCpuMs() : 0;
            for (int c = 0; c < 6; ++c)
                graphs[c]->addData(t, RowValue(c, t, k));
            if (timed) f.worstPacketMs = std::max(f.worstPacketMs, ThreadCpuMs() - p);
        }
        fillNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - a).count();
    };
    const auto fitAloneUs = [&] {
        const Timing t = AverageMs(3, [&] {
            for (QCPGraph* g : graphs)
                g->rescaleValueAxis();
        });
        return t.wall * 1000;
    };
    fill(0, FewPoints(N));
    f.fitFewUs = fitAloneUs();
    fill(FewPoints(N), N);
    f.fitAllUs = fitAloneUs();
    f.fillNsPerPoint = fillNs / N;
    f.bytesPerPoint = (RssKiB() - rss0) * 1024.0 / N;
    const double end = RowTime(N / 6 - 1, t0);
    plot.xAxis->setRange(end - 20, end);
    const Timing window20 = AverageMs(10, [&] { plot.replot(QCustomPlot::rpImmediateRefresh); });
    const Timing fit = AverageMs(3, [&] {
        for (QCPGraph* g : graphs)
            g->rescaleValueAxis();
        plot.replot(QCustomPlot::rpImmediateRefresh);
    });
    const Timing all = AverageMs(3, [&] {
        plot.rescaleAxes();
        plot.replot(QCustomPlot::rpImmediateRefresh);
    });
    f.SetRedraws(window20, fit, all);
    // The export as a plain graph gives it: the whole text in memory, then written.
    PeakGrowth peak;
    const auto e = std::chrono::steady_clock::now();
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
    peak.Sample();
    {
        std::ofstream out(csv, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    f.csvMBps =
        text.size() / 1e6 / std::chrono::duration<double>(std::chrono::steady_clock::now() - e).count();
    f.csvPeakMiB = peak.MiB();
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
    const auto fitAloneUs = [&] {
        const Timing t = AverageMs(1000, [&] {
            model.SetValueRange(0, {0, 1});
            model.ZoomToFit();
        });
        return t.wall * 1000;
    };
    const std::size_t few = FewPoints(N);
    const long rss0 = RssKiB();
    auto a = std::chrono::steady_clock::now();
    f.worstPacketMs = Fill(model, 0, few, t0);
    double fillS = std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
    f.fitFewUs = fitAloneUs();
    a = std::chrono::steady_clock::now();
    f.worstPacketMs = std::max(f.worstPacketMs, Fill(model, few, N, t0));
    fillS += std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
    const long rss1 = RssKiB();
    f.fitAllUs = fitAloneUs();
    f.fillNsPerPoint = fillS * 1e9 / N;
    f.bytesPerPoint = (rss1 - rss0) * 1024.0 / N;
    std::printf("%.1f million points (6 channels x %.1f M, %.1f hours at 160 packets/s), built in %.1f s:\n",
                N / 1e6, N / 6e6, N / 6 / 160.0 / 3600, fillS);
    std::printf("  point storage allocated  %8.2f bytes per point\n",
                model.Points().BytesAllocated() * 1.0 / N);

    const Timing window20 = AverageMs(20, [&] { plot.ReplotNow(); });
    const Timing fit = AverageMs(10, [&] {
        model.SetValueRange(0, {0, 1});
        model.ZoomToFit();
        plot.ReplotNow();
    });
    const AxisRange window = model.TimeRange();
    const Timing all = AverageMs(10, [&] {
        model.FitTimeToData();
        model.ZoomToFit();
        plot.ReplotNow();
    });
    f.SetRedraws(window20, fit, all);
    model.SetTimeRange(window);

    const std::filesystem::path csv = std::filesystem::temp_directory_path() / "values_bench_points.csv";
    PeakGrowth peak;
    const auto e = std::chrono::steady_clock::now();
    int progressCalls = 0;
    const CsvResult r = ExportPointsCsv(model, csv, [&](std::uint64_t, std::uint64_t) {
        peak.Sample();
        return ++progressCalls > 0;
    });
    const double exportS = std::chrono::duration<double>(std::chrono::steady_clock::now() - e).count();
    f.csvPeakMiB = peak.MiB();
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(csv, ec);
    f.csvMBps = r == CsvResult::Written ? bytes / 1e6 / exportS : 0;
    std::printf("  CSV export               %8.1f MB in %.1f s, %d progress calls, %s; resident set %.0f MiB "
                "before, at most %+.1f MiB during\n",
                bytes / 1e6, exportS, progressCalls, r == CsvResult::Written ? "written" : "FAILED",
                peak.BeforeMiB(), f.csvPeakMiB);
    std::filesystem::remove(csv, ec);

    std::optional<Figures> p;
    if (plain) p = PlainPlot(N, t0, csv);
    char fewAt[48], allAt[48];
    std::snprintf(fewAt, sizeof fewAt, "Zoom to Fit alone, %.1f M", few / 1e6);
    std::snprintf(allAt, sizeof allAt, "Zoom to Fit alone, %.1f M", N / 1e6);
    Header();
    Row("adding, per point", f, p, &Figures::fillNsPerPoint, "ns", "O(1)");
    Row("longest packet (6 points)", f, p, &Figures::worstPacketMs, "ms", "no pause above 5 ms (thread CPU)");
    Row("memory per point", f, p, &Figures::bytesPerPoint, "B", "<= 10");
    Row("redraw, 20 s window", f, p, &Figures::window20Ms, "ms", "< 2");
    Row("  GUI thread's CPU time", f, p, &Figures::window20CpuMs, "ms", "");
    Row(fewAt, f, p, &Figures::fitFewUs, "us", "O(1) in the points: the same at both counts");
    Row(allAt, f, p, &Figures::fitAllUs, "us", "");
    Row("Zoom to Fit + redraw", f, p, &Figures::fitMs, "ms", "");
    Row("  GUI thread's CPU time", f, p, &Figures::fitCpuMs, "ms", "");
    Row("Show All + redraw", f, p, &Figures::allMs, "ms", "< 50, min/max per pixel column");
    Row("  GUI thread's CPU time", f, p, &Figures::allCpuMs, "ms", "");
    Row("CSV export", f, p, &Figures::csvMBps, "MB/s", ">= 50 (for speed, ours/plain is 1/x)");
    Row("CSV export, peak memory", f, p, &Figures::csvPeakMiB, "MiB",
        "streamed: no second copy of the points");
}

// ---- per point ------------------------------------------------------------------------------------

void BM_AddPointModelOnly(benchmark::State& state) {
    PlotModel model;
    Fill(model, 0, static_cast<std::size_t>(state.range(0)), 1.8e9);
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
    Fill(model, 0, static_cast<std::size_t>(state.range(0)), 1.8e9);
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
    bool inProcess = false, plain = true, liveOnly = false;
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
        else if (!std::strcmp(argv[i], "--live-only"))
            liveOnly = true;
        else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else
            rest.push_back(argv[i]);
    }
    int qargc = 1;
    QApplication app(qargc, argv);
    LiveSessions(seconds, inProcess, plain && !liveOnly);
    if (liveOnly) return 0;
    BigPlot(points, plain);
    int bargc = static_cast<int>(rest.size());
    benchmark::Initialize(&bargc, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
