#pragma once
// A small scripted device on a simulated serial line for the values screen's tests: it logs every
// byte with its virtual arrival time, answers the screen's commands after a short delay (unless told
// otherwise), and lets a test put any bytes on the line or hang it up.
#include "../../support/ScriptedLineBackend.h"
#include "link/SerialBackend.h"
#include "loop/MessageLoop.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace mirota::testing {

struct LoggedByte {
    std::uint64_t At;
    char Byte;
};

class LineDevice {
public:
    ~LineDevice() { StopStream(); }
    explicit LineDevice(MessageLoop& loop) : loop_(loop) {
        // The answers of a device in good order.
        answers["$6661\r"] = "&6661\x1b";
        answers["$6660\r"] = "&6660\x1b";
        answers["$2010\r"] = "&2010\x1b";
        answers["$2011\r"] = "&2011\x1b";
        answers["$2012\r"] = "&2012\x1b";
        answers["$2013\r"] = "&2013\x1b";
        answers["$200"] = "&2000\x1b";
    }

    // Command text -> bytes sent back AnswerDelayMs after its last byte; a missing entry is never answered.
    std::map<std::string, std::string> answers;
    std::uint32_t AnswerDelayMs = 20;
    // While the stream is switched on, a Torque 1 packet every StreamEveryMs (0: none).
    std::uint32_t StreamEveryMs = 0;
    // The body of each streamed packet (between "%00" and ESC); default a fixed Torque 1 value.
    std::function<std::string()> StreamBody;

    std::unique_ptr<SerialBackend> MakeBackend();

    // Bytes to the host, delivered through the loop as the line would.
    void Send(const std::string& bytes) {
        inbound_ += bytes;
        Notify(evRxChar, 0);
    }
    void HangUp() { Notify(evHangup, 5); }

    const std::vector<LoggedByte>& Received() const { return received_; }
    std::string ReceivedText() const {
        std::string s;
        for (const auto& b : received_)
            s += b.Byte;
        return s;
    }
    // Arrival time of the n-th occurrence (from 0) of `text` in what was received; -1 when missing.
    std::int64_t TimeOf(const std::string& text, int n = 0) const {
        const std::string all = ReceivedText();
        std::size_t pos = 0;
        for (int i = 0;; ++i) {
            pos = all.find(text, i == 0 ? 0 : pos + 1);
            if (pos == std::string::npos) return -1;
            if (i == n) return static_cast<std::int64_t>(received_[pos + text.size() - 1].At);
        }
    }
    int Count(const std::string& text) const {
        const std::string all = ReceivedText();
        int n = 0;
        for (std::size_t p = all.find(text); p != std::string::npos; p = all.find(text, p + 1))
            ++n;
        return n;
    }
    void ClearReceived() { received_.clear(); }

private:
    template <class> friend class mirota::ScriptedLineBackend;
    void FromHost(char c) {
        received_.push_back({loop_.TickCount(), c});
        pending_ += c;
        for (const auto& [command, answer] : answers) {
            if (pending_.size() >= command.size() &&
                pending_.compare(pending_.size() - command.size(), command.size(), command) == 0) {
                pending_.clear();
                if (command == "$6661\r") StartStream();
                if (command == "$6660\r") StopStream();
                const std::string reply = answer;
                loop_.StartTimer(
                    AnswerDelayMs, [this, reply] { Send(reply); }, false);
                return;
            }
        }
        if (c == '\x1b' || c == '*' || pending_.size() > 16) pending_.clear();
    }
    void StartStream() {
        if (streamTimer_ || StreamEveryMs == 0) return;
        streamTimer_ = loop_.StartTimer(
            StreamEveryMs, [this] { Send("%00" + (StreamBody ? StreamBody() : "11.5") + "\x1b"); });
    }
    void StopStream() {
        if (streamTimer_) loop_.KillTimer(streamTimer_);
        streamTimer_ = 0;
    }
    void Notify(unsigned events, int error) {
        loop_.Post([this, events, error] {
            if (sink_) sink_->HandleLineEvents(events, error);
        });
    }

    MessageLoop& loop_;
    LineEventSink* sink_ = nullptr;
    std::string inbound_;
    TimerId streamTimer_ = 0;
    std::string pending_;
    std::vector<LoggedByte> received_;
};

using LineBackend = ScriptedLineBackend<LineDevice>;

inline std::unique_ptr<SerialBackend> LineDevice::MakeBackend() {
    return std::make_unique<LineBackend>(*this);
}

} // namespace mirota::testing
