#pragma once
// The GUI thread's message loop as the device link sees it. One instance per program; all program
// logic runs in the thread that owns it. Worker threads only post jobs or hand them over.
#include <cstdint>
#include <functional>

namespace mirota {

using Job = std::function<void()>;
using TimerId = std::uint64_t;

class MessageLoop {
public:
    virtual ~MessageLoop() = default;

    // Milliseconds since some fixed start (virtual in simulated time).
    virtual std::uint64_t TickCount() const = 0;

    // Runs every message that is pending now (posted jobs, hand-overs, due timers), once.
    virtual void ProcessMessages() = 0;

    // Waits until a message is pending or timeoutMs has passed. Returns true when a message is
    // pending, false on time-out. In simulated time the wait advances the clock to the next due event.
    virtual bool WaitForMessage(std::uint32_t timeoutMs) = 0;

    // Queues a job for the loop's thread; callable from any thread.
    virtual void Post(Job job) = 0;

    // Called from a worker thread: runs the job in the loop's thread and blocks until it has run.
    // Returns false without running it when the loop is shutting down or `abandon` becomes true while
    // waiting (so a thread that is being stopped never stays blocked).
    virtual bool HandOver(Job job, const std::function<bool()>& abandon = {}) = 0;

    // GUI timer in the loop's thread: fires after intervalMs, then every intervalMs until killed.
    // A one-shot timer (repeat false) is gone after it fired.
    virtual TimerId StartTimer(std::uint32_t intervalMs, Job onTick, bool repeat = true) = 0;
    virtual void KillTimer(TimerId id) = 0;

    // True when the application is ending; Delay returns early then.
    virtual bool Terminating() const = 0;
    virtual void SetTerminating(bool terminating) = 0;

    // True for the simulated-time implementation: components with worker threads deliver through
    // the loop's timers instead, so that every timestamp is exact.
    virtual bool Simulated() const { return false; }
};

// Waits `milliseconds` while the loop keeps running messages; returns early only when the application
// is terminating. Delay(0) returns at once.
void Delay(MessageLoop& loop, int milliseconds);

} // namespace mirota
