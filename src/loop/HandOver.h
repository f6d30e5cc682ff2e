#pragma once
// The waiting half of MessageLoop::HandOver, one for every loop: a worker thread's job goes to the
// loop's thread, and the worker waits until it has run there.
#include "loop/MessageLoop.h"

#include <atomic>
#include <functional>

namespace mirota {

// Queues `job` with `post` and waits until the loop's thread has run it: true. Gives up when
// `terminating` or `abandon()` becomes true first: false, and a job that has not started by then
// never runs; one that has started is left to finish on its own, since it may itself be stopping the
// waiting thread. Both are looked at every few milliseconds.
bool PostAndWait(const std::function<void(Job)>& post, Job job, const std::function<bool()>& abandon,
                 const std::atomic<bool>& terminating);

} // namespace mirota
