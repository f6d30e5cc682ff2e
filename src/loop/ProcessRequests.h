#pragma once
// Requests that reach a program from outside while its loop runs: to end (SIGTERM and SIGINT on Linux;
// Ctrl+C, Ctrl+Break and closing the console on Windows, where the program has a console) and, where
// there are signals, to look for device changes (SIGUSR1). The handler runs in the loop's thread, never
// in a signal handler or the console's control thread. Implemented in platform/<os>/signals.
#include "loop/DescriptorWatch.h"

#include <functional>
#include <memory>

namespace mirota {

class MessageLoop;

enum class ProcessRequest { Terminate, Rescan };

class ProcessRequestWatcher {
public:
    using Handler = std::function<void(ProcessRequest)>;

    // watch: how the loop watches a descriptor (used on Linux). Rescan requests are watched only when
    // watchRescan is set; otherwise that signal keeps its default effect. Requests that arrive together
    // are handed over as one Rescan followed by one Terminate. One watcher per process.
    ProcessRequestWatcher(MessageLoop& loop, DescriptorWatch watch, bool watchRescan, Handler onRequest);
    ~ProcessRequestWatcher();
    ProcessRequestWatcher(const ProcessRequestWatcher&) = delete;
    ProcessRequestWatcher& operator=(const ProcessRequestWatcher&) = delete;

    // False when the requests could not be watched (nothing is then delivered).
    bool Watching() const;

private:
    struct Backend;
    std::unique_ptr<Backend> backend_;
};

} // namespace mirota
