#pragma once
// Deterministic message loop on a virtual clock. Waiting never sleeps: it moves the clock to the next
// due timer. Used by the unit tests and by the in-process device simulator.
#include "MessageLoop.h"
#include "loop/LoopTimers.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace mirota {

class SimulatedLoop : public MessageLoop {
public:
    SimulatedLoop();
    std::uint64_t TickCount() const override;
    void ProcessMessages() override;
    bool WaitForMessage(std::uint32_t timeoutMs) override;
    void Post(Job job) override;
    bool HandOver(Job job, const std::function<bool()>& abandon = {}) override;
    TimerId StartTimer(std::uint32_t intervalMs, Job onTick, bool repeat = true) override;
    void KillTimer(TimerId id) override;
    bool Terminating() const override { return terminating_; }
    void SetTerminating(bool terminating) override { terminating_ = terminating; }
    bool Simulated() const override { return true; }

    // Test drivers: run everything due up to now + ms (the clock ends exactly there).
    void RunFor(std::uint64_t ms);
    // Runs until `done` holds or the clock has advanced by maxMs; returns done().
    bool RunUntil(const std::function<bool()>& done, std::uint64_t maxMs = 600000);
    // Number of live timers (diagnostics for tests).
    std::size_t TimerCount() const;

private:
    using Timer = LoopTimer<std::uint64_t, std::uint32_t>;
    std::uint64_t now_ = 0;
    TimerId nextId_ = 1;
    LoopTimers<std::uint64_t, std::uint32_t> timers_;
    std::deque<Job> posted_;
    mutable std::mutex mutex_;
    std::thread::id owner_;
    std::atomic<bool> terminating_{false};
};

} // namespace mirota
