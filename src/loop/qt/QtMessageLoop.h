#pragma once
// The programs' message loop on Qt's event loop. Construct it in the GUI thread after the
// QCoreApplication; every job, hand-over and timer runs in that thread.
//
// - ProcessMessages runs every pending event once (QCoreApplication::processEvents).
// - WaitForMessage blocks in the event dispatcher until an event arrives (true, already processed
//   events included) or the time is up (false).
// - Post and HandOver queue a job in the loop's own list, under its mutex, and post an event to a
//   QObject of the GUI thread, which runs the oldest job per event: the job is handed from thread to
//   thread, and destroyed, only under that mutex and in the GUI thread. HandOver's caller waits and
//   can give up through its abandon predicate or when the loop terminates. An abandoned job never runs.
// - StartTimer uses QTimer; WatchReadable calls back when a file descriptor becomes readable (also as
//   a DescriptorWatch for other components).
#include "loop/DescriptorWatch.h"
#include "loop/MessageLoop.h"

#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

class QSocketNotifier;
class QTimer;

namespace mirota {

class QtMessageLoop : public MessageLoop {
public:
    QtMessageLoop();
    ~QtMessageLoop() override;

    std::uint64_t TickCount() const override;
    void ProcessMessages() override;
    bool WaitForMessage(std::uint32_t timeoutMs) override;
    void Post(Job job) override;
    bool HandOver(Job job, const std::function<bool()>& abandon = {}) override;
    TimerId StartTimer(std::uint32_t intervalMs, Job onTick, bool repeat = true) override;
    void KillTimer(TimerId id) override;
    bool Terminating() const override { return terminating_; }
    void SetTerminating(bool terminating) override { terminating_ = terminating; }

    // Calls onReadable in the GUI thread whenever fd has data (or a connection) waiting. Returns an id
    // for UnwatchReadable; the watch must be removed before fd is closed.
    TimerId WatchReadable(int fd, Job onReadable);
    void UnwatchReadable(TimerId id);
    // WatchReadable and UnwatchReadable as the DescriptorWatch that components such as the messenger
    // and the request watcher are given; the loop must outlive the watches.
    DescriptorWatch DescriptorWatcher();

    // The QObject through which jobs reach the GUI thread.
    QObject* Receiver() const { return receiver_.get(); }

private:
    // Runs the oldest posted job (one per posted event).
    void RunPostedJob();

    QElapsedTimer clock_;
    std::mutex postedMutex_;
    std::deque<Job> posted_;
    std::unique_ptr<QObject> receiver_;
    TimerId nextId_ = 1;
    std::map<TimerId, QTimer*> timers_;
    std::map<TimerId, QSocketNotifier*> watches_;
    std::atomic<bool> terminating_{false};
};

} // namespace mirota
