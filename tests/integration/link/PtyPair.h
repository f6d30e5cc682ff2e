#pragma once
// A pseudo-terminal standing in for a serial line: the test holds the master (the "device" end) and
// the slave's path is what the port opens.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "loop/RealTimeLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace mirota::test {

class PtyPair {
public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) < 0 || ::unlockpt(master_) < 0) return;
        char name[128] = {};
        if (::ptsname_r(master_, name, sizeof name) != 0) return;
        path_ = name;
        termios t{};
        ::tcgetattr(master_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
        // Held open by the test, before the port opens the line: keeps the pty alive and lets the test
        // read the line settings back even while the port holds the line exclusively.
        slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    ~PtyPair() {
        CloseMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0 && slave_ >= 0 && !path_.empty(); }
    const std::string& SlavePath() const { return path_; }
    int Master() const { return master_; }
    int Slave() const { return slave_; }

    // The device end goes away: the line hangs up.
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    bool Send(const std::string& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 2000) <= 0) return false;
        }
        return true;
    }

    // What the port sent: `count` bytes, or what arrived within timeoutMs.
    std::string Receive(std::size_t count, int timeoutMs = 5000) const {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) break;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
            char buf[4096];
            const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - got.size()));
            if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// Every byte value once, 0 to 255.
inline std::string AllByteValues() {
    std::string s(256, '\0');
    for (int i = 0; i < 256; ++i)
        s[static_cast<std::size_t>(i)] = static_cast<char>(i);
    return s;
}

// Threads of this process (the port's watcher shows up here). Under ThreadSanitizer the first thread a
// process starts also starts the sanitizer's own background thread; one thread started and joined
// before the first count makes that happen before anything is counted, so counts compare alike with
// and without the sanitizer.
inline int ThreadCount() {
    static const bool settled = [] {
        std::thread([] {}).join();
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the joined thread leaves /proc
        return true;
    }();
    (void)settled;
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// Runs the loop until `done` holds, also for conditions that change without a message (a thread that
// ended); false after maxMs.
inline bool Eventually(RealTimeLoop& loop, const std::function<bool()>& done, int maxMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    while (!loop.RunUntil(done, 10))
        if (std::chrono::steady_clock::now() >= deadline) return false;
    return true;
}

} // namespace mirota::test
