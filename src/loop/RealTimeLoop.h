#pragma once
// Message loop on the steady clock for command-line tools and tests with real threads.
#include "MessageLoop.h"
#include "loop/LoopTimers.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace mirota {

class RealTimeLoop : public MessageLoop {
public:
    RealTimeLoop();
    std::uint64_t TickCount() const override;
    void ProcessMessages() override;
    bool WaitForMessage(std::uint32_t timeoutMs) override;
    void Post(Job job) override;
    bool HandOver(Job job, const std::function<bool()>& abandon = {}) override;
    TimerId StartTimer(std::uint32_t intervalMs, Job onTick, bool repeat = true) override;
    void KillTimer(TimerId id) override;
    bool Terminating() const override { return terminating_; }
    void SetTerminating(bool terminating) override;

    // Runs messages until `done` holds or maxMs have passed; returns done().
    bool RunUntil(const std::function<bool()>& done, std::uint32_t maxMs);

private:
    using Clock = std::chrono::steady_clock;
    using Timer = LoopTimer<Clock::time_point, std::chrono::milliseconds>;
    Clock::time_point start_;
    TimerId nextId_ = 1;
    LoopTimers<Clock::time_point, std::chrono::milliseconds> timers_;
    std::deque<Job> posted_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread::id owner_;
    std::atomic<bool> terminating_{false};
};

} // namespace mirota
