// The serial backend that puts a TComPort on the simulator's line through the same loop: what the
// port writes reaches the device at once; what the device sends is queued and announced to the port
// as a line event posted to the loop, as the port's watcher would hand it over.
#include "devsim/DeviceSimulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mirota::devsim {

namespace {

class SimulatedBackend : public SerialBackend {
public:
    explicit SimulatedBackend(DeviceSimulator& device) : device_(device) {}
    ~SimulatedBackend() override {
        *alive_ = false;
        CloseDevice();
    }

    int OpenDevice(const std::string&) override {
        if (open_ || device_.Options().PortBusy) return EBUSY;
        if (device_.Options().Fault.HangUp)
            return ENOENT; // the line is gone, as an unplugged adapter's device node
        open_ = true;
        hungUp_ = false;
        device_.OnTransmit = [this, token = alive_](const std::string& bytes) {
            if (!*token || !open_) return;
            inbound_ += bytes;
            Notify(evRxChar, 0);
        };
        device_.OnHangUp = [this, token = alive_] {
            if (*token && open_ && !hungUp_) {
                hungUp_ = true;
                Notify(evHangup, EIO);
            }
        };
        return 0;
    }
    int SetupQueues(const TComBuffer&) override { return 0; }
    int ApplySettings(const LineSettings&) override { return 0; }
    int ApplyTimeouts(const TComTimeouts&) override { return 0; }
    void StartEvents(MessageLoop& loop, LineEventSink& sink) override {
        loop_ = &loop;
        sink_ = &sink;
        watching_ = std::make_shared<bool>(true);
        // What arrived before the watching began is announced now, as a watcher finds it on start.
        if (!inbound_.empty()) Notify(evRxChar, 0);
        if (hungUp_) Notify(evHangup, EIO);
    }
    void StopEvents() override {
        if (watching_) *watching_ = false;
        sink_ = nullptr;
    }
    int Purge() override {
        inbound_.clear();
        return 0;
    }
    void CloseDevice() override {
        StopEvents();
        if (open_) {
            device_.OnTransmit = nullptr;
            device_.OnHangUp = nullptr;
        }
        open_ = false;
        inbound_.clear();
    }
    int TakeErrors(TComErrors& errors) override {
        errors = 0;
        return 0;
    }
    int BytesQueued(std::size_t& count) override {
        count = inbound_.size();
        return 0;
    }
    int Read(char* buffer, std::size_t count, std::size_t& got) override {
        got = std::min(count, inbound_.size());
        std::memcpy(buffer, inbound_.data(), got);
        inbound_.erase(0, got);
        return 0;
    }
    int Write(const char* buffer, std::size_t count, std::size_t& written) override {
        written = 0;
        if (!open_) return EBADF;
        if (device_.Options().Fault.HangUp) return EIO;
        device_.Receive(buffer, count);
        written = count;
        return 0;
    }
    std::string ErrorText(int error) const override { return std::strerror(error); }

private:
    void Notify(unsigned events, int error) {
        if (!loop_ || !sink_ || !*watching_) return;
        LineEventSink* sink = sink_;
        auto watching = watching_;
        loop_->Post([sink, watching, events, error] {
            if (*watching) sink->HandleLineEvents(events, error);
        });
    }

    DeviceSimulator& device_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::shared_ptr<bool> watching_ = std::make_shared<bool>(false);
    MessageLoop* loop_ = nullptr;
    LineEventSink* sink_ = nullptr;
    std::string inbound_;
    bool open_ = false;
    bool hungUp_ = false; // evHangup reported (or pending until the watching starts)
};

} // namespace

std::unique_ptr<SerialBackend> MakeSimulatedBackend(DeviceSimulator& device) {
    return std::make_unique<SimulatedBackend>(device);
}

} // namespace mirota::devsim
