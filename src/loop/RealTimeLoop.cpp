#include "RealTimeLoop.h"

#include "loop/HandOver.h"
#include "loop/LoopTimers.h"

#include <memory>

namespace mirota {

RealTimeLoop::RealTimeLoop() : start_(Clock::now()), owner_(std::this_thread::get_id()) {}

std::uint64_t RealTimeLoop::TickCount() const {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count());
}

void RealTimeLoop::ProcessMessages() {
    RunPostedThenDue(mutex_, posted_, timers_, [] { return Clock::now(); });
}

bool RealTimeLoop::WaitForMessage(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto now = Clock::now();
        if (AnyDue(posted_, timers_, now)) return true;
        if (now >= deadline) return false;
        auto until = deadline;
        for (const auto& [id, t] : timers_)
            until = std::min(until, t.due);
        wake_.wait_until(lock, until);
    }
}

void RealTimeLoop::Post(Job job) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(job));
    }
    wake_.notify_all();
}

bool RealTimeLoop::HandOver(Job job, const std::function<bool()>& abandon) {
    if (std::this_thread::get_id() == owner_) {
        job();
        return true;
    }
    return PostAndWait([this](Job j) { Post(std::move(j)); }, std::move(job), abandon, terminating_);
}

TimerId RealTimeLoop::StartTimer(std::uint32_t intervalMs, Job onTick, bool repeat) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        const auto interval = std::chrono::milliseconds(intervalMs == 0 ? 1 : intervalMs);
        timers_.emplace(id, Timer{Clock::now() + interval, interval, repeat, std::move(onTick)});
    }
    wake_.notify_all();
    return id;
}

void RealTimeLoop::KillTimer(TimerId id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

void RealTimeLoop::SetTerminating(bool terminating) {
    terminating_ = terminating;
    wake_.notify_all();
}

bool RealTimeLoop::RunUntil(const std::function<bool()>& done, std::uint32_t maxMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(maxMs);
    for (;;) {
        ProcessMessages();
        if (done()) return true;
        const auto now = Clock::now();
        if (now >= deadline) return false;
        WaitForMessage(static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1));
    }
}

} // namespace mirota
