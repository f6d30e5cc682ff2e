#include "loop/HandOver.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace mirota {

bool PostAndWait(const std::function<void(Job)>& post, Job job, const std::function<bool()>& abandon,
                 const std::atomic<bool>& terminating) {
    struct State {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        bool abandoned = false;
    };
    auto state = std::make_shared<State>();
    post([job = std::move(job), state] {
        {
            std::lock_guard lock(state->m);
            if (state->abandoned) return;
        }
        job();
        {
            std::lock_guard lock(state->m);
            state->done = true;
        }
        // Outside the lock: the woken thread would otherwise wake only to wait for the lock again.
        state->cv.notify_all();
    });
    std::unique_lock lock(state->m);
    while (!state->done) {
        if (terminating || (abandon && abandon())) {
            state->abandoned = true;
            return false;
        }
        state->cv.wait_for(lock, std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace mirota
