// Process requests on Windows: where the program has a console, its control events (Ctrl+C,
// Ctrl+Break, closing the console, logoff, shutdown) are termination requests, handed to the loop's
// thread. Without a console there is nothing to watch; Windows has no rescan request.
#include "loop/ProcessRequests.h"

#include "loop/MessageLoop.h"
#include "platform/win32/WideText.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mirota {

namespace {

// The watcher of this process; the console's control thread reaches it under the lock.
std::mutex gLock;
std::condition_variable gEnded;
MessageLoop* gLoop = nullptr;
std::shared_ptr<ProcessRequestWatcher::Handler> gHandler;

BOOL WINAPI OnConsoleControl(DWORD event) {
    std::unique_lock<std::mutex> lock(gLock);
    if (!gLoop) return FALSE;
    std::weak_ptr<ProcessRequestWatcher::Handler> handler = gHandler;
    gLoop->Post([handler] {
        if (const auto h = handler.lock(); h && *h) (*h)(ProcessRequest::Terminate);
    });
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this returns: give the loop the time to close the windows as the user
        // would (the system allows a few seconds).
        gEnded.wait_for(lock, std::chrono::seconds(4), [] { return gLoop == nullptr; });
    }
    return TRUE;
}

} // namespace

struct ProcessRequestWatcher::Backend {
    std::shared_ptr<Handler> OnRequest;
    bool Watching = false;
};

ProcessRequestWatcher::ProcessRequestWatcher(MessageLoop& loop, DescriptorWatch, bool, Handler onRequest)
    : backend_(std::make_unique<Backend>()) {
    if (::GetConsoleWindow() == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(gLock);
        if (gLoop) return;
        backend_->OnRequest = std::make_shared<Handler>(std::move(onRequest));
        gLoop = &loop;
        gHandler = backend_->OnRequest;
    }
    backend_->Watching = ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE) != FALSE;
    if (!backend_->Watching) {
        std::lock_guard<std::mutex> lock(gLock);
        gLoop = nullptr;
        gHandler.reset();
    }
}

ProcessRequestWatcher::~ProcessRequestWatcher() {
    if (!backend_->Watching) return;
    ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    {
        std::lock_guard<std::mutex> lock(gLock);
        gLoop = nullptr;
        gHandler.reset();
    }
    gEnded.notify_all();
}

bool ProcessRequestWatcher::Watching() const {
    return backend_->Watching;
}

} // namespace mirota
