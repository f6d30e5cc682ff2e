#pragma once
// Serial line on a Windows COM device ("\\.\COM3"), opened exclusively for overlapped I/O.
#include "link/SerialBackend.h"
#include "platform/win32/WinApi.h"

#include <memory>
#include <string>
#include <thread>

namespace mirota {

class Win32SerialBackend : public SerialBackend {
public:
    Win32SerialBackend();
    ~Win32SerialBackend() override;
    Win32SerialBackend(const Win32SerialBackend&) = delete;
    Win32SerialBackend& operator=(const Win32SerialBackend&) = delete;

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

    // True once the watcher polls the line because the driver refused WaitCommEvent.
    bool PollingLine() const;

private:
    struct Watch;
    static void WatchLine(std::shared_ptr<Watch> watch);
    template <typename Deliver> static void PollLine(const std::shared_ptr<Watch>& watch, Deliver& deliver);
    // One overlapped read or write, waited for until it completes.
    int Transfer(bool write, char* buffer, std::size_t count, std::size_t& done);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD pendingErrors_ = 0; // error flags cleared by BytesQueued, kept for TakeErrors
    std::shared_ptr<Watch> watch_;
    std::thread watcher_;
};

} // namespace mirota
