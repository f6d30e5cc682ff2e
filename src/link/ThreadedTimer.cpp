#include "link/ThreadedTimer.h"

#include <chrono>

namespace mirota {

// ---- worker thread -------------------------------------------------------------------------------

TTimerThread::TTimerThread(TThreadedTimer& owner) : owner_(owner), thread_([this] { Run(); }) {}

TTimerThread::~TTimerThread() {
    {
        std::lock_guard lock(mutex_);
        terminated_ = true;
        ++epoch_;
    }
    cv_.notify_all();
    thread_.join();
}

void TTimerThread::Resume() {
    {
        std::lock_guard lock(mutex_);
        running_ = true;
        ++epoch_;
    }
    cv_.notify_all();
}

void TTimerThread::Suspend() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        ++epoch_;
    }
    cv_.notify_all();
}

void TTimerThread::Run() {
    std::unique_lock lock(mutex_);
    while (!terminated_) {
        if (!running_) {
            cv_.wait(lock, [this] { return terminated_ || running_; });
            continue;
        }
        // Wait one interval; a resume, suspend or termination starts the wait over.
        const std::uint64_t epoch = epoch_;
        const auto interval = std::chrono::milliseconds(owner_.interval_.load());
        if (cv_.wait_for(lock, interval, [&] { return epoch_ != epoch; })) continue;
        // The interval passed: hand the tick to the loop's thread and wait until it has run there.
        lock.unlock();
        // A tick abandoned at destruction may still sit in the loop's queue: it checks the token.
        std::weak_ptr<bool> alive = owner_.alive_;
        owner_.loop_.HandOver(
            [this, alive] {
                auto a = alive.lock();
                if (a && *a) owner_.Tick();
            },
            [this] {
                std::lock_guard l(mutex_);
                return terminated_;
            });
        lock.lock();
    }
}

// ---- timer -----------------------------------------------------------------------------------------

TThreadedTimer::TThreadedTimer(MessageLoop& loop) : loop_(loop), alive_(std::make_shared<bool>(true)) {}

TThreadedTimer::~TThreadedTimer() {
    destroying_ = true;
    *alive_ = false;
    if (simTimer_) loop_.KillTimer(simTimer_);
    thread_.reset(); // ends and joins the worker
}

void TThreadedTimer::Tick() {
    if (!enabled_ || destroying_ || !OnTimer) return;
    try {
        TNotifyEvent handler = OnTimer;
        handler(this);
    } catch (...) {
        // A failing tick handler must not stop the timer.
    }
}

void TThreadedTimer::ArmSimulated() {
    if (simTimer_) loop_.KillTimer(simTimer_);
    simTimer_ = 0;
    if (!enabled_) return;
    // Re-armed from inside each tick, so a tick that waits never sees the next one nested inside it.
    std::weak_ptr<bool> alive = alive_;
    simTimer_ = loop_.StartTimer(
        interval_.load(),
        [this, alive] {
            auto a = alive.lock();
            if (!a || !*a) return;
            simTimer_ = 0;
            Tick();
            if (a && *a && enabled_ && !simTimer_) ArmSimulated();
        },
        false);
}

void TThreadedTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (loop_.Simulated()) {
        ArmSimulated();
        return;
    }
    if (!thread_) thread_ = std::make_unique<TTimerThread>(*this);
    if (enabled)
        thread_->Resume();
    else
        thread_->Suspend();
}

void TThreadedTimer::SetInterval(std::uint32_t ms) {
    if (ms == interval_) return;
    const bool was = enabled_;
    SetEnabled(false);
    interval_ = ms;
    SetEnabled(was);
}

// ---- GUI timer -------------------------------------------------------------------------------------

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (id_) {
        loop_.KillTimer(id_);
        id_ = 0;
    }
    if (enabled_)
        id_ = loop_.StartTimer(interval_, [this] {
            if (enabled_ && OnTimer) {
                TNotifyEvent handler = OnTimer;
                handler(this);
            }
        });
}

void TTimer::SetInterval(std::uint32_t ms) {
    if (ms == interval_) return;
    interval_ = ms;
    if (enabled_) {
        SetEnabled(false);
        SetEnabled(true);
    }
}

} // namespace mirota
