// mirota-devsim: the simulated device on a pseudo-terminal. Prints the pty's path on its first line,
// then serves the device on it until it is ended (SIGTERM, SIGINT); ending it hangs the line up.
//
//   mirota-devsim [--name TEXT] [--firmware TEXT] [--type TEXT] [--cfg DIR] [--rate N]
//                 [--answer-delay MS] [--late MS] [--silent] [--wrong] [--garbage] [--drop N]
#include "devsim/DeviceSimulator.h"
#include "loop/RealTimeLoop.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

using namespace mirota;

namespace {

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

int Usage() {
    std::fprintf(stderr,
                 "usage: mirota-devsim [--name TEXT] [--firmware TEXT] [--type TEXT] [--cfg DIR] [--rate N]\n"
                 "                     [--answer-delay MS] [--late MS] [--silent] [--wrong] [--garbage] [--drop N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    devsim::DeviceOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--silent") {
            options.Fault.Silent = true;
        } else if (a == "--wrong") {
            options.Fault.WrongAnswers = true;
        } else if (a == "--garbage") {
            options.Fault.Garbage = true;
        } else if ((v = (a == "--name" || a == "--firmware" || a == "--type" || a == "--cfg" || a == "--rate" ||
                         a == "--answer-delay" || a == "--late" || a == "--drop")
                            ? value()
                            : nullptr)) {
            if (a == "--name")
                options.Name = v;
            else if (a == "--firmware")
                options.Firmware = v;
            else if (a == "--type")
                options.Type = v;
            else if (a == "--cfg")
                options.CfgDir = v;
            else if (a == "--rate")
                options.PacketRate = std::strtod(v, nullptr);
            else if (a == "--answer-delay")
                options.AnswerDelayMs = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
            else if (a == "--late")
                options.Fault.LateMs = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
            else
                options.Fault.DropReplies = std::atoi(v);
        } else {
            return Usage();
        }
    }

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("mirota-devsim: pty");
        return 1;
    }
    const char* path = ::ptsname(master);
    // Holding the slave open keeps the master readable while no program has the port open.
    const int slave = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        std::perror("mirota-devsim: slave");
        return 1;
    }
    Raw(slave);
    Raw(master);
    std::printf("%s\n", path);
    std::fflush(stdout);

    stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    RealTimeLoop loop;
    devsim::DeviceSimulator device(loop, options);
    device.OnTransmit = [master](const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN) {
                    ::usleep(1000);
                    continue;
                }
                return;
            }
            done += static_cast<std::size_t>(n);
        }
    };

    // The reader thread only takes bytes off the line; the device runs in the loop's thread.
    std::thread reader([&] {
        pollfd fds[2] = {{master, POLLIN, 0}, {stopEvent, POLLIN, 0}};
        char buffer[4096];
        while (!stopRequested) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (fds[1].revents)
                break;
            if (fds[0].revents & POLLIN) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0) {
                    std::string bytes(buffer, static_cast<std::size_t>(n));
                    loop.Post([&device, bytes] { device.Receive(bytes.data(), bytes.size()); });
                }
            } else if (fds[0].revents & (POLLHUP | POLLERR)) {
                ::usleep(10000); // no one on the other side yet
            }
        }
    });

    while (!stopRequested) {
        loop.WaitForMessage(100);
        loop.ProcessMessages();
    }
    loop.SetTerminating(true);
    reader.join();
    ::close(slave);
    ::close(master);
    ::close(stopEvent);
    return 0;
}
