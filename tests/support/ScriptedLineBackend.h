#pragma once
// The serial backend of a scripted test device: the line always opens, what the host writes goes to
// the device's FromHost byte by byte, and the host reads the device's inbound_ text. Device makes
// this template a friend and has sink_ (the line's event sink while events run), inbound_ and
// FromHost(char).
#include "link/SerialBackend.h"
#include "loop/MessageLoop.h"

#include <algorithm>
#include <cstddef>
#include <string>

namespace mirota {

template <class Device> class ScriptedLineBackend : public SerialBackend {
public:
    explicit ScriptedLineBackend(Device& d) : d_(d) {}
    int OpenDevice(const std::string&) override { return 0; }
    int SetupQueues(const TComBuffer&) override { return 0; }
    int ApplySettings(const LineSettings&) override { return 0; }
    int ApplyTimeouts(const TComTimeouts&) override { return 0; }
    void StartEvents(MessageLoop&, LineEventSink& sink) override { d_.sink_ = &sink; }
    void StopEvents() override { d_.sink_ = nullptr; }
    int Purge() override { return 0; }
    void CloseDevice() override {}
    int TakeErrors(TComErrors& errors) override {
        errors = 0;
        return 0;
    }
    int BytesQueued(std::size_t& count) override {
        count = d_.inbound_.size();
        return 0;
    }
    int Read(char* buffer, std::size_t count, std::size_t& got) override {
        got = std::min(count, d_.inbound_.size());
        d_.inbound_.copy(buffer, got);
        d_.inbound_.erase(0, got);
        return 0;
    }
    int Write(const char* buffer, std::size_t count, std::size_t& written) override {
        for (std::size_t i = 0; i < count; ++i)
            d_.FromHost(buffer[i]);
        written = count;
        return 0;
    }
    std::string ErrorText(int) const override { return "line gone"; }

private:
    Device& d_;
};

} // namespace mirota
