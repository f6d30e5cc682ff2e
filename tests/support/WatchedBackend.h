#pragma once
// A serial backend that hands everything to another one and tells a test when the host writes: the
// test can look at the screen at the moment its first byte goes out.
#include "link/SerialBackend.h"

#include <functional>
#include <memory>
#include <string>

namespace mirota {

class WatchedBackend : public SerialBackend {
public:
    WatchedBackend(std::unique_ptr<SerialBackend> inner,
                   std::function<void(const char*, std::size_t)> onWrite)
        : inner_(std::move(inner)), onWrite_(std::move(onWrite)) {}
    int OpenDevice(const std::string& port) override { return inner_->OpenDevice(port); }
    int SetupQueues(const TComBuffer& buffer) override { return inner_->SetupQueues(buffer); }
    int ApplySettings(const LineSettings& settings) override { return inner_->ApplySettings(settings); }
    int ApplyTimeouts(const TComTimeouts& timeouts) override { return inner_->ApplyTimeouts(timeouts); }
    void StartEvents(MessageLoop& loop, LineEventSink& sink) override { inner_->StartEvents(loop, sink); }
    void StopEvents() override { inner_->StopEvents(); }
    int Purge() override { return inner_->Purge(); }
    void CloseDevice() override { inner_->CloseDevice(); }
    int TakeErrors(TComErrors& errors) override { return inner_->TakeErrors(errors); }
    int BytesQueued(std::size_t& count) override { return inner_->BytesQueued(count); }
    int Read(char* buffer, std::size_t count, std::size_t& got) override {
        return inner_->Read(buffer, count, got);
    }
    int Write(const char* buffer, std::size_t count, std::size_t& written) override {
        if (onWrite_) onWrite_(buffer, count);
        return inner_->Write(buffer, count, written);
    }
    std::string ErrorText(int error) const override { return inner_->ErrorText(error); }

private:
    std::unique_ptr<SerialBackend> inner_;
    std::function<void(const char*, std::size_t)> onWrite_;
};

} // namespace mirota
