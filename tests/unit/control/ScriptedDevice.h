#pragma once
// A scripted device on a simulated line for the control screen's tests: logs every byte with its
// virtual arrival time and answers the version and name queries after AnswerDelayMs.
#include "../../support/ScriptedLineBackend.h"
#include "link/SerialBackend.h"
#include "loop/MessageLoop.h"

#include <algorithm>
#include <string>
#include <vector>

namespace mirota::test {

struct ArrivedByte {
    std::uint64_t At;
    char Byte;
};

class ScriptedDevice {
public:
    explicit ScriptedDevice(MessageLoop& loop) : loop_(loop) {}
    std::string Firmware = "2.31";
    std::string Name = "DMS 2000";
    std::uint32_t AnswerDelayMs = 20;
    int NameReplies = 1; // how many times the name reply is sent

    std::unique_ptr<SerialBackend> MakeBackend();
    void Send(const std::string& bytes) {
        inbound_ += bytes;
        loop_.Post([this] {
            if (sink_) sink_->HandleLineEvents(evRxChar, 0);
        });
    }
    const std::vector<ArrivedByte>& Received() const { return received_; }
    std::string ReceivedText() const {
        std::string s;
        for (const auto& b : received_)
            s += b.Byte;
        return s;
    }

private:
    template <class> friend class mirota::ScriptedLineBackend;
    void FromHost(char c) {
        received_.push_back({loop_.TickCount(), c});
        pending_ += c;
        auto reply = [this](std::string text, int times) {
            pending_.clear();
            loop_.StartTimer(
                AnswerDelayMs,
                [this, text, times] {
                    for (int i = 0; i < times; ++i)
                        Send(text);
                },
                false);
        };
        if (pending_.ends_with("$357\x1b"))
            reply("&357" + Firmware + "\x1b", 1);
        else if (pending_.ends_with("$112"))
            reply("&112" + Name + "\x1b", NameReplies);
        else if (c == '\r' || c == '\x1b' || c == '*')
            pending_.clear();
    }
    MessageLoop& loop_;
    LineEventSink* sink_ = nullptr;
    std::string inbound_, pending_;
    std::vector<ArrivedByte> received_;
};

using ScriptedBackend = ScriptedLineBackend<ScriptedDevice>;

inline std::unique_ptr<SerialBackend> ScriptedDevice::MakeBackend() {
    return std::make_unique<ScriptedBackend>(*this);
}

} // namespace mirota::test
