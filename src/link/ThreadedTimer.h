#pragma once
// A timer whose ticks come from a worker thread and run in the loop's thread: the worker waits for the
// interval, hands the tick over and blocks until it has run. Under a simulated loop the same rules run
// on the loop's virtual clock instead of a thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "loop/MessageLoop.h"

namespace mirota {

class TThreadedTimer;
using TNotifyEvent = std::function<void(void* sender)>;

class TTimerThread {
public:
    explicit TTimerThread(TThreadedTimer& owner);
    ~TTimerThread();
    void Resume();  // start or restart the wait
    void Suspend(); // stop waiting; no ticks until resumed
private:
    void Run();
    TThreadedTimer& owner_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool running_ = false;    // waiting for ticks (not suspended)
    std::uint64_t epoch_ = 0; // bumped by every resume and suspend: a wait in progress starts over
    bool terminated_ = false;
    std::thread thread_;
};

class TThreadedTimer {
public:
    explicit TThreadedTimer(MessageLoop& loop);
    ~TThreadedTimer();
    TThreadedTimer(const TThreadedTimer&) = delete;
    TThreadedTimer& operator=(const TThreadedTimer&) = delete;

    std::uint32_t Interval() const { return interval_.load(); }
    void SetInterval(std::uint32_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    TNotifyEvent OnTimer;

private:
    friend class TTimerThread;
    void Tick(); // in the loop's thread
    void ArmSimulated();

    MessageLoop& loop_;
    std::atomic<std::uint32_t> interval_{1000};
    bool enabled_ = false;
    bool destroying_ = false;
    std::unique_ptr<TTimerThread> thread_; // real loops only
    TimerId simTimer_ = 0;                 // simulated loops only
    std::shared_ptr<bool> alive_;
};

// A plain GUI timer (tmrCheckValue): ticks run in the loop's thread.
class TTimer {
public:
    explicit TTimer(MessageLoop& loop) : loop_(loop) {}
    ~TTimer() { SetEnabled(false); }
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;
    std::uint32_t Interval() const { return interval_; }
    void SetInterval(std::uint32_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    TNotifyEvent OnTimer;

private:
    MessageLoop& loop_;
    std::uint32_t interval_ = 1000;
    bool enabled_ = false;
    TimerId id_ = 0;
};

} // namespace mirota
