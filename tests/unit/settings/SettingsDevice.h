#pragma once
// A small device on a simulated serial line that holds settings: "<command>" ESC answers the value held,
// "<command><value>" CR stores the value and echoes it; "&" replaces "$" in every answer. It logs every
// byte with its virtual arrival time. Faults: silence, dropping the next N answers, hanging up.
#include "link/SerialBackend.h"
#include "loop/MessageLoop.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace mirota::testing {

struct DeviceByte {
    std::uint64_t At;
    char Byte;
};

struct SettingsDeviceFaults {
    bool Silent = false;
    int DropReplies = 0;
};
struct SettingsDeviceOptions {
    std::uint32_t AnswerDelayMs = 20;
    SettingsDeviceFaults Fault;
};

class SettingsDevice {
public:
    explicit SettingsDevice(MessageLoop& loop) : loop_(loop) {}

    std::map<std::string, std::string>& Settings() { return settings_; }
    // Command -> the value the device holds after any write to it (a device that rounds or limits).
    std::map<std::string, std::string>& Holds() { return holds_; }
    SettingsDeviceOptions& Options() { return options_; }
    const std::vector<DeviceByte>& Received() const { return received_; }
    std::string ReceivedText() const {
        std::string s;
        for (const auto& b : received_) s += b.Byte;
        return s;
    }
    void ClearReceived() { received_.clear(); }
    void SetHangUp() { Notify(evHangup, 5); }
    std::unique_ptr<SerialBackend> MakeBackend();

private:
    friend class SettingsDeviceBackend;
    void FromHost(char c) {
        received_.push_back({loop_.TickCount(), c});
        if (c == '\x1b' || c == '\r') {
            const std::string command = pending_;
            pending_.clear();
            if (command.empty() || command[0] != '$') return;
            if (c == '\x1b') {
                auto it = settings_.find(command);
                if (it != settings_.end()) Answer(command, it->second);
            } else {
                // The longest known command that begins the text; the rest is the value.
                std::string key;
                for (const auto& [k, v] : settings_)
                    if (command.compare(0, k.size(), k) == 0 && k.size() > key.size()) key = k;
                if (key.empty()) return;
                auto held = holds_.find(key);
                settings_[key] = held != holds_.end() ? held->second : command.substr(key.size());
                Answer(key, settings_[key]);
            }
            return;
        }
        if (pending_.empty() && (c == '*' || c == '1')) return;
        pending_ += c;
    }
    void Answer(const std::string& command, const std::string& value) {
        if (options_.Fault.Silent) return;
        if (options_.Fault.DropReplies > 0) {
            --options_.Fault.DropReplies;
            return;
        }
        std::string reply = command;
        std::replace(reply.begin(), reply.end(), '$', '&');
        reply += value + "\x1b";
        loop_.StartTimer(options_.AnswerDelayMs, [this, reply] {
            inbound_ += reply;
            Notify(evRxChar, 0);
        }, false);
    }
    void Notify(unsigned events, int error) {
        loop_.Post([this, events, error] {
            if (sink_) sink_->HandleLineEvents(events, error);
        });
    }

    MessageLoop& loop_;
    SettingsDeviceOptions options_;
    std::map<std::string, std::string> settings_;
    std::map<std::string, std::string> holds_;
    std::vector<DeviceByte> received_;
    std::string pending_;
    std::string inbound_;
    LineEventSink* sink_ = nullptr;
};

class SettingsDeviceBackend : public SerialBackend {
public:
    explicit SettingsDeviceBackend(SettingsDevice& d) : d_(d) {}
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
        for (std::size_t i = 0; i < count; ++i) d_.FromHost(buffer[i]);
        written = count;
        return 0;
    }
    std::string ErrorText(int) const override { return "line gone"; }

private:
    SettingsDevice& d_;
};

inline std::unique_ptr<SerialBackend> SettingsDevice::MakeBackend() {
    return std::make_unique<SettingsDeviceBackend>(*this);
}

} // namespace mirota::testing
