#pragma once
// Serial line on a POSIX terminal device (a USB serial adapter such as ttyUSB0, or a pseudo-terminal
// in tests and the demo), driven through termios.
#include "link/SerialBackend.h"

#include <memory>
#include <string>
#include <thread>

namespace mirota {

// The device path of a port name: a name that contains "/" is a path as it stands; any other name is
// looked up in the device directory, "/dev" unless the environment variable MIROTA_DEVICE_DIR names
// another one ("ttyUSB0" -> "/dev/ttyUSB0").
std::string SerialDevicePath(const std::string& port);

class TermiosBackend : public SerialBackend {
public:
    TermiosBackend();
    ~TermiosBackend() override;
    TermiosBackend(const TermiosBackend&) = delete;
    TermiosBackend& operator=(const TermiosBackend&) = delete;

    int OpenDevice(const std::string& port) override;
    int SetupQueues(const TComBuffer& buffer) override;
    int ApplySettings(const LineSettings& settings) override;
    int ApplyTimeouts(const TComTimeouts& timeouts) override;
    void StartEvents(MessageLoop& loop, LineEventSink& sink) override;
    void StopEvents() override;
    int Purge() override;
    void CloseDevice() override;
    int TakeErrors(TComErrors& errors) override;
    int BytesQueued(std::size_t& count) override;
    int Read(char* buffer, std::size_t count, std::size_t& got) override;
    int Write(const char* buffer, std::size_t count, std::size_t& written) override;
    std::string ErrorText(int error) const override;
    OpenFailureFacts ExamineOpenFailure(const std::string& port, int error) const override;

    // True while the watcher thread runs (it ends by itself after a hang-up).
    bool WatcherRunning() const;

    // Line error counters as the driver keeps them.
    struct ErrorCounts {
        int Frame = 0, Overrun = 0, Parity = 0, Break = 0, BufOverrun = 0;
    };

private:
    struct Watch;
    static void WatchLine(std::shared_ptr<Watch> watch);

    int fd_ = -1;
    bool parityCheck_ = false;
    bool countersKnown_ = false; // the driver reports line error counters (not on a pseudo-terminal)
    ErrorCounts taken_;          // counters at the last TakeErrors
    TComTimeouts timeouts_;
    std::shared_ptr<Watch> watch_;
    std::thread watcher_;
};

} // namespace mirota
