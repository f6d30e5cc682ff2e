// Process requests on Linux: SIGTERM and SIGINT (and SIGUSR1 for a rescan) are caught by a handler that
// only writes the signal's number into a pipe; the loop watches the pipe's reading end and hands the
// requests over in its own thread.
#include "loop/ProcessRequests.h"

#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace mirota {

namespace {

// Written by the signal handler, one byte per signal.
int gSignalPipe[2] = {-1, -1};

void ForwardSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

struct ProcessRequestWatcher::Backend {
    std::vector<int> Signals;
    std::function<void()> Unwatch;
    bool Watching = false;
};

ProcessRequestWatcher::ProcessRequestWatcher(MessageLoop&, DescriptorWatch watch, bool watchRescan,
                                             Handler onRequest)
    : backend_(std::make_unique<Backend>()) {
    if (!watch || gSignalPipe[0] >= 0 || ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    backend_->Unwatch = watch(gSignalPipe[0], [onRequest = std::move(onRequest)] {
        char buffer[64];
        bool rescan = false;
        bool terminate = false;
        for (ssize_t n; (n = ::read(gSignalPipe[0], buffer, sizeof buffer)) > 0;) {
            for (ssize_t i = 0; i < n; ++i) {
                rescan |= buffer[i] == SIGUSR1;
                terminate |= buffer[i] != SIGUSR1;
            }
        }
        if (rescan && onRequest) onRequest(ProcessRequest::Rescan);
        if (terminate && onRequest) onRequest(ProcessRequest::Terminate);
    });
    backend_->Signals = {SIGTERM, SIGINT};
    if (watchRescan) backend_->Signals.push_back(SIGUSR1);
    struct sigaction action {};
    action.sa_handler = ForwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : backend_->Signals)
        ::sigaction(signal, &action, nullptr);
    backend_->Watching = true;
}

ProcessRequestWatcher::~ProcessRequestWatcher() {
    if (!backend_->Watching) return;
    // Signals that come after the watch has ended have their default effect again.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : backend_->Signals)
        ::sigaction(signal, &action, nullptr);
    if (backend_->Unwatch) backend_->Unwatch();
    ::close(gSignalPipe[0]);
    ::close(gSignalPipe[1]);
    gSignalPipe[0] = gSignalPipe[1] = -1;
}

bool ProcessRequestWatcher::Watching() const {
    return backend_->Watching;
}

} // namespace mirota
