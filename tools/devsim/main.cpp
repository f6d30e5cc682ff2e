// mirota-devsim: the simulated device on a pseudo-terminal. Prints the path of the pty's terminal side
// on its first line, then serves the device on it until it is ended (SIGTERM, SIGINT, SIGHUP). Programs
// may open and close the line as often as they like; ending the simulator hangs the line up.
#include "devsim/DeviceSimulator.h"
#include "loop/RealTimeLoop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace mirota;

namespace {

const char kUsage[] =
    "usage: mirota-devsim [options]\n"
    "Simulates a measuring device on a pseudo-terminal; prints the terminal's path on the first line.\n"
    "  --name TEXT          answer to $112 (default \"DMS 2000\")\n"
    "  --firmware TEXT      answer to $357 (default \"2.31\")\n"
    "  --type TEXT          device type text selecting the settings catalogue (default \" DMS\")\n"
    "  --cfg DIR            _cfg directory whose catalogue files seed the settings\n"
    "  --rate N             rounds of %-packets per second while streaming (default 10; the line limits it)\n"
    "  --answer-delay MS    time from a command to its answer (default 20)\n"
    "  --link PATH          also make PATH a symbolic link to the terminal (removed on exit)\n"
    "faults:\n"
    "  --silent             answer nothing, stream nothing\n"
    "  --wrong-answers      answer every command with a wrong text\n"
    "  --late MS            answer MS later than usual\n"
    "  --garbage            send noise between packets\n"
    "  --drop N             leave the next N answers out\n"
    "  --hangup-after MS    hang the line up MS after the start\n"
    "  --help               this text\n";

std::atomic<bool> stopRequested{false};
int stopEvent = -1;

void OnSignal(int) {
    stopRequested = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(stopEvent, &one, sizeof one);
}

void Raw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B19200);
        ::cfsetospeed(&t, B19200);
        ::tcsetattr(fd, TCSANOW, &t);
    }
}

template <class T> bool ParseNumber(const char* text, T& out) {
    const char* end = text + std::strlen(text);
    const auto r = std::from_chars(text, end, out);
    return r.ec == std::errc() && r.ptr == end;
}

int Usage(const char* problem) {
    std::fprintf(stderr, "mirota-devsim: %s\n%s", problem, kUsage);
    return 2;
}

// The pseudo-terminal and what runs on it.
class PtyLine {
public:
    PtyLine(RealTimeLoop& loop, devsim::DeviceSimulator& device) : loop_(loop), device_(device) {}

    bool Open() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return false;
        const char* path = ::ptsname(master_);
        if (!path) return false;
        path_ = path;
        // Holding the terminal side open keeps the line up while no program has it open: the host's
        // own open and close then never hang it up.
        slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) return false;
        Raw(slave_); // a fresh terminal side starts in cooked mode (echo, line editing)
        Raw(master_);
        // The device never waits for a listener: bytes that find the line full are lost.
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        return wake_ >= 0;
    }

    const std::string& Path() const { return path_; }

    // A symbolic link to the terminal side under a name of the caller's choice; it goes with the line.
    bool MakeLink(const std::string& link) {
        struct stat st {};
        if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(link.c_str()); // left over from an earlier run
        if (::symlink(path_.c_str(), link.c_str()) != 0) return false;
        link_ = link;
        return true;
    }

    void Start() {
        lastPump_ = loop_.TickCount();
        device_.OnTransmit = [this](const std::string& bytes) {
            if (master_ < 0) return;
            if (out_.size() > kMaxQueued) out_.clear(); // nobody reads: the line drops what it cannot carry
            out_ += bytes;
            Pump();
        };
        device_.OnHangUp = [this] { HangUp(); };
        reader_ = std::thread([this] { ReadLoop(); });
    }

    // The hang-up fault: the pty goes away, the host sees its line hung up.
    void HangUp() {
        if (master_ < 0) return;
        StopReader();
        if (pumpTimer_) loop_.KillTimer(pumpTimer_);
        pumpTimer_ = 0;
        out_.clear();
        // The link goes first, as the device node of an unplugged adapter: a host that sees its line
        // hung up finds the link gone already.
        RemoveLink();
        ::close(master_);
        ::close(slave_);
        master_ = slave_ = -1;
        std::fprintf(stderr, "mirota-devsim: line hung up\n");
    }

    void Close() {
        StopReader();
        if (master_ >= 0) {
            ::close(slave_);
            ::close(master_);
        }
        master_ = slave_ = -1;
        if (wake_ >= 0) ::close(wake_);
        wake_ = -1;
        RemoveLink();
    }

private:
    static constexpr std::size_t kMaxQueued = 16384;
    static constexpr double kBurstBytes = 48; // a few ms of line time may go out at once

    // Sends what the line has carried since the last call, 1920 bytes a second.
    void Pump() {
        const std::uint64_t now = loop_.TickCount();
        budget_ = std::min(kBurstBytes, budget_ + static_cast<double>(now - lastPump_) *
                                                      devsim::kLineBytesPerSecond / 1000.0);
        lastPump_ = now;
        while (!out_.empty() && budget_ >= 1 && master_ >= 0) {
            const std::size_t n = std::min(out_.size(), static_cast<std::size_t>(budget_));
            const ssize_t done = ::write(master_, out_.data(), n);
            if (done < 0) {
                if (errno == EINTR) continue;
                if (errno != EAGAIN) out_.clear();
                break;
            }
            out_.erase(0, static_cast<std::size_t>(done));
            budget_ -= static_cast<double>(done);
        }
        if (!out_.empty() && !pumpTimer_)
            pumpTimer_ = loop_.StartTimer(
                5,
                [this] {
                    pumpTimer_ = 0;
                    Pump();
                },
                false);
    }

    // Takes the host's bytes off the line; the device itself runs in the loop's thread.
    void ReadLoop() {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
        char buffer[4096];
        while (!stopReader_) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[1].revents) break;
            if (fds[0].revents & POLLIN) {
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n > 0) {
                    std::string bytes(buffer, static_cast<std::size_t>(n));
                    loop_.Post([this, bytes] { device_.Receive(bytes.data(), bytes.size()); });
                }
            } else if (fds[0].revents & (POLLHUP | POLLERR)) {
                ::usleep(10000); // cannot happen while the terminal side is held; do not spin if it does
            }
        }
    }

    void RemoveLink() {
        if (link_.empty()) return;
        char target[4096];
        const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path_)
            ::unlink(link_.c_str()); // only while it is still ours
        link_.clear();
    }

    void StopReader() {
        if (!reader_.joinable()) return;
        stopReader_ = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
        reader_.join();
    }

    RealTimeLoop& loop_;
    devsim::DeviceSimulator& device_;
    std::string path_;
    std::string link_;
    int master_ = -1;
    int slave_ = -1;
    int wake_ = -1;
    std::thread reader_;
    std::atomic<bool> stopReader_{false};
    std::string out_;
    double budget_ = kBurstBytes;
    std::uint64_t lastPump_ = 0;
    TimerId pumpTimer_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    devsim::DeviceOptions options;
    std::string link;
    long hangUpAfter = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--silent") {
            options.Fault.Silent = true;
            continue;
        }
        if (a == "--wrong-answers" || a == "--wrong") {
            options.Fault.WrongAnswers = true;
            continue;
        }
        if (a == "--garbage") {
            options.Fault.Garbage = true;
            continue;
        }
        static const char* const withValue[] = {"--name",         "--firmware",     "--type", "--cfg",
                                                "--rate",         "--answer-delay", "--late", "--drop",
                                                "--hangup-after", "--link"};
        if (std::none_of(std::begin(withValue), std::end(withValue), [&](const char* o) { return a == o; }))
            return Usage(("unknown option " + a).c_str());
        if (i + 1 >= argc) return Usage((a + " needs a value").c_str());
        const char* v = argv[++i];
        bool ok = true;
        if (a == "--name")
            options.Name = v;
        else if (a == "--firmware")
            options.Firmware = v;
        else if (a == "--type")
            options.Type = v;
        else if (a == "--cfg")
            options.CfgDir = v;
        else if (a == "--link")
            link = v;
        else if (a == "--rate")
            ok = ParseNumber(v, options.PacketRate) && options.PacketRate > 0;
        else if (a == "--answer-delay")
            ok = ParseNumber(v, options.AnswerDelayMs);
        else if (a == "--late")
            ok = ParseNumber(v, options.Fault.LateMs);
        else if (a == "--drop")
            ok = ParseNumber(v, options.Fault.DropReplies) && options.Fault.DropReplies >= 0;
        else
            ok = ParseNumber(v, hangUpAfter) && hangUpAfter >= 0;
        if (!ok) return Usage(("bad value for " + a + ": " + v).c_str());
    }

    stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    RealTimeLoop loop;
    devsim::DeviceSimulator device(loop, options);
    PtyLine line(loop, device);
    if (!line.Open()) {
        std::perror("mirota-devsim: pseudo-terminal");
        return 1;
    }
    if (!link.empty()) {
        if (!line.MakeLink(link)) {
            std::fprintf(stderr, "mirota-devsim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
            line.Close();
            return 1;
        }
    }
    std::printf("%s\n", line.Path().c_str());
    std::fflush(stdout);

    line.Start();
    if (hangUpAfter >= 0)
        loop.StartTimer(
            static_cast<std::uint32_t>(hangUpAfter), [&device] { device.SetHangUp(); }, false);

    while (!stopRequested) {
        loop.WaitForMessage(100);
        loop.ProcessMessages();
    }
    loop.SetTerminating(true);
    line.Close();
    ::close(stopEvent);
    return 0;
}
