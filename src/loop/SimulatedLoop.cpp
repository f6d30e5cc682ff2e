#include "SimulatedLoop.h"

#include "loop/HandOver.h"

#include <limits>
#include <memory>

namespace mirota {

SimulatedLoop::SimulatedLoop() : owner_(std::this_thread::get_id()) {}

std::uint64_t SimulatedLoop::TickCount() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void SimulatedLoop::ProcessMessages() {
    RunPostedThenDue(mutex_, posted_, timers_, [this] { return now_; });
}

bool SimulatedLoop::WaitForMessage(std::uint32_t timeoutMs) {
    std::lock_guard lock(mutex_);
    if (AnyDue(posted_, timers_, now_)) return true;
    std::uint64_t next = std::numeric_limits<std::uint64_t>::max();
    for (const auto& [id, t] : timers_)
        next = std::min(next, t.due);
    if (next <= now_ + timeoutMs) {
        now_ = next;
        return true;
    }
    now_ += timeoutMs;
    return false;
}

void SimulatedLoop::Post(Job job) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(job));
}

bool SimulatedLoop::HandOver(Job job, const std::function<bool()>& abandon) {
    if (std::this_thread::get_id() == owner_) {
        if (abandon && abandon()) return false;
        job();
        return true;
    }
    return PostAndWait([this](Job j) { Post(std::move(j)); }, std::move(job), abandon, terminating_);
}

TimerId SimulatedLoop::StartTimer(std::uint32_t intervalMs, Job onTick, bool repeat) {
    std::lock_guard lock(mutex_);
    const TimerId id = nextId_++;
    timers_.emplace(id,
                    Timer{now_ + intervalMs, intervalMs == 0 ? 1u : intervalMs, repeat, std::move(onTick)});
    return id;
}

void SimulatedLoop::KillTimer(TimerId id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

std::size_t SimulatedLoop::TimerCount() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

void SimulatedLoop::RunFor(std::uint64_t ms) {
    const std::uint64_t end = TickCount() + ms;
    for (;;) {
        ProcessMessages();
        const std::uint64_t now = TickCount();
        if (now >= end) break;
        WaitForMessage(static_cast<std::uint32_t>(end - now));
    }
    ProcessMessages();
}

bool SimulatedLoop::RunUntil(const std::function<bool()>& done, std::uint64_t maxMs) {
    const std::uint64_t end = TickCount() + maxMs;
    for (;;) {
        ProcessMessages();
        if (done()) return true;
        const std::uint64_t now = TickCount();
        if (now >= end) return false;
        WaitForMessage(static_cast<std::uint32_t>(end - now));
    }
}

} // namespace mirota
