// Termination and rescan requests by signal (Linux): what reaches the handler, in which order, and that
// the signals have their default effect again once the watcher is gone.
#include "loop/ProcessRequests.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <vector>

#include <poll.h>

namespace mirota::test {
namespace {

// The loop's side of the watch: the descriptor, served by hand.
struct ManualWatch {
    int fd = -1;
    std::function<void()> onReadable;
    bool ended = false;
    DescriptorWatch Watch() {
        return [this](int watched, std::function<void()> callback) -> std::function<void()> {
            fd = watched;
            onReadable = std::move(callback);
            return [this] { ended = true; };
        };
    }
    void ServeIfReadable() {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) == 1 && onReadable) onReadable();
    }
};

bool HasDefaultDisposition(int signal) {
    struct sigaction current {};
    ::sigaction(signal, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

TEST(SignalRequestsTest, SignalsBecomeRequestsRescanFirstAndEachOnce) {
    struct Case {
        const char* name;
        std::vector<int> signals;
        std::vector<ProcessRequest> expected;
    } cases[] = {
        {"terminate", {SIGTERM}, {ProcessRequest::Terminate}},
        {"interrupt", {SIGINT}, {ProcessRequest::Terminate}},
        {"rescan", {SIGUSR1}, {ProcessRequest::Rescan}},
        {"several together",
         {SIGTERM, SIGUSR1, SIGINT, SIGUSR1},
         {ProcessRequest::Rescan, ProcessRequest::Terminate}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedLoop loop;
        ManualWatch watch;
        std::vector<ProcessRequest> got;
        {
            ProcessRequestWatcher watcher(loop, watch.Watch(), true,
                                          [&](ProcessRequest r) { got.push_back(r); });
            ASSERT_TRUE(watcher.Watching());
            for (int signal : c.signals)
                ::raise(signal);
            watch.ServeIfReadable();
            EXPECT_EQ(got, c.expected);
            watch.ServeIfReadable(); // nothing more
            EXPECT_EQ(got, c.expected);
        }
        EXPECT_TRUE(watch.ended);
        for (int signal : {SIGTERM, SIGINT, SIGUSR1})
            EXPECT_TRUE(HasDefaultDisposition(signal)) << signal;
    }
}

TEST(SignalRequestsTest, RescanIsLeftAloneWhenNotWatched) {
    SimulatedLoop loop;
    ManualWatch watch;
    ProcessRequestWatcher watcher(loop, watch.Watch(), false, [](ProcessRequest) {});
    ASSERT_TRUE(watcher.Watching());
    EXPECT_FALSE(HasDefaultDisposition(SIGTERM));
    EXPECT_TRUE(HasDefaultDisposition(SIGUSR1));
    // One watcher per process: a second one watches nothing.
    ManualWatch second;
    ProcessRequestWatcher another(loop, second.Watch(), false, [](ProcessRequest) {});
    EXPECT_FALSE(another.Watching());
    EXPECT_EQ(second.fd, -1);
}

} // namespace
} // namespace mirota::test
