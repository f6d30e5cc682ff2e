#include "loop/qt/QtMessageLoop.h"

#include "loop/HandOver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mirota {

namespace {

QEvent::Type RunPostedJobEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// The loop's QObject in the GUI thread: parent of its timers and notifiers, and receiver of one
// event per posted job.
class JobReceiver : public QObject {
public:
    explicit JobReceiver(std::function<void()> runPostedJob) : runPostedJob_(std::move(runPostedJob)) {}
    bool event(QEvent* e) override {
        if (e->type() != RunPostedJobEvent()) return QObject::event(e);
        runPostedJob_();
        return true;
    }

private:
    std::function<void()> runPostedJob_;
};

} // namespace

QtMessageLoop::QtMessageLoop() : receiver_(std::make_unique<JobReceiver>([this] { RunPostedJob(); })) {
    clock_.start();
}

QtMessageLoop::~QtMessageLoop() {
    for (auto& [id, timer] : timers_)
        delete timer;
    for (auto& [id, notifier] : watches_)
        delete notifier;
}

std::uint64_t QtMessageLoop::TickCount() const {
    return static_cast<std::uint64_t>(clock_.elapsed());
}

void QtMessageLoop::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool QtMessageLoop::WaitForMessage(std::uint32_t timeoutMs) {
    QEventLoop nested;
    if (timeoutMs == 0) return nested.processEvents(QEventLoop::AllEvents);
    bool timedOut = false;
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timeout, &QTimer::timeout, [&timedOut] { timedOut = true; });
    timeout.start(static_cast<int>(std::min<std::uint32_t>(timeoutMs, 0x7FFFFFFF)));
    for (;;) {
        const bool any = nested.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (timedOut) return false;
        if (any || terminating_) return true;
    }
}

// Qt is not built with ThreadSanitizer: a job handed over inside a queued functor call would be
// destroyed by whichever thread drops the last reference, synchronised only inside Qt. Here the job
// crosses threads under postedMutex_ and ends in the GUI thread; the event only says that one is there.
void QtMessageLoop::Post(Job job) {
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(job));
    }
    QCoreApplication::postEvent(receiver_.get(), new QEvent(RunPostedJobEvent()));
}

void QtMessageLoop::RunPostedJob() {
    Job job;
    {
        std::lock_guard lock(postedMutex_);
        if (posted_.empty()) return;
        job = std::move(posted_.front());
        posted_.pop_front();
    }
    if (job) job();
}

bool QtMessageLoop::HandOver(Job job, const std::function<bool()>& abandon) {
    if (QThread::currentThread() == receiver_->thread()) {
        job();
        return true;
    }
    return PostAndWait([this](Job j) { Post(std::move(j)); }, std::move(job), abandon, terminating_);
}

TimerId QtMessageLoop::StartTimer(std::uint32_t intervalMs, Job onTick, bool repeat) {
    const TimerId id = nextId_++;
    auto* timer = new QTimer(receiver_.get());
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(!repeat);
    timer->setInterval(static_cast<int>(std::min<std::uint32_t>(intervalMs, 0x7FFFFFFF)));
    QObject::connect(timer, &QTimer::timeout, receiver_.get(),
                     [this, id, repeat, onTick = std::move(onTick)] {
                         if (!repeat)
                             KillTimer(id); // gone after it fired, even when the tick starts another timer
                         if (onTick) onTick();
                     });
    timers_[id] = timer;
    timer->start();
    return id;
}

void QtMessageLoop::KillTimer(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    it->second->deleteLater(); // it may be the one whose tick is running now
    timers_.erase(it);
}

TimerId QtMessageLoop::WatchReadable(int fd, Job onReadable) {
    const TimerId id = nextId_++;
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, receiver_.get());
    QObject::connect(notifier, &QSocketNotifier::activated, receiver_.get(),
                     [onReadable = std::move(onReadable)] { onReadable(); });
    watches_[id] = notifier;
    return id;
}

DescriptorWatch QtMessageLoop::DescriptorWatcher() {
    return [this](int fd, std::function<void()> onReadable) -> std::function<void()> {
        const TimerId id = WatchReadable(fd, std::move(onReadable));
        return [this, id] { UnwatchReadable(id); };
    };
}

void QtMessageLoop::UnwatchReadable(TimerId id) {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    it->second->setEnabled(false);
    it->second->deleteLater();
    watches_.erase(it);
}

} // namespace mirota
