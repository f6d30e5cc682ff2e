#pragma once
// What the two loops with a queue of their own (RealTimeLoop, SimulatedLoop) share: their timers, the
// question whether anything is pending, and the order in which ProcessMessages runs it. Time is the
// loop's clock reading, Interval a timer's period; both loops guard the queue with one mutex.
#include "loop/MessageLoop.h"

#include <deque>
#include <map>
#include <mutex>

namespace mirota {

template <class Time, class Interval> struct LoopTimer {
    Time due;
    Interval interval;
    bool repeat;
    Job job;
};

// By id: of the timers due at the same time, the one started first runs first.
template <class Time, class Interval> using LoopTimers = std::map<TimerId, LoopTimer<Time, Interval>>;

// True when a job has been posted or a timer is due at `now`; called with the loop's mutex held.
template <class Time, class Interval>
bool AnyDue(const std::deque<Job>& posted, const LoopTimers<Time, Interval>& timers, Time now) {
    if (!posted.empty()) return true;
    for (const auto& [id, t] : timers)
        if (t.due <= now) return true;
    return false;
}

// ProcessMessages: the jobs posted so far, then the due timers, earliest first, until none is due.
// Each timer is re-armed (from now()) or removed before it runs, so a timer callback that waits (and
// so re-enters ProcessMessages) never sees itself due again at the same instant. The queue is looked
// at, and now() read, with `mutex` held; the jobs run without it.
template <class Time, class Interval, class Now>
void RunPostedThenDue(std::mutex& mutex, std::deque<Job>& posted, LoopTimers<Time, Interval>& timers,
                      Now now) {
    std::deque<Job> jobs;
    {
        std::lock_guard lock(mutex);
        jobs.swap(posted);
    }
    for (auto& job : jobs)
        if (job) job();
    for (;;) {
        Job job;
        {
            std::lock_guard lock(mutex);
            const Time at = now();
            auto best = timers.end();
            for (auto it = timers.begin(); it != timers.end(); ++it)
                if (it->second.due <= at && (best == timers.end() || it->second.due < best->second.due))
                    best = it;
            if (best == timers.end()) break;
            job = best->second.job;
            if (best->second.repeat)
                best->second.due = at + best->second.interval;
            else
                timers.erase(best);
        }
        if (job) job();
    }
}

} // namespace mirota
