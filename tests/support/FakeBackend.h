#pragma once
// A scripted serial backend for port tests: records writes, delivers injected bytes through the loop,
// and fails chosen operations with chosen error numbers.
#include "link/SerialBackend.h"
#include "loop/MessageLoop.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace mirota::test {

struct FakeLine {
    std::string written;
    std::string queued;
    TComErrors errors = 0;
    std::map<std::string, int> failures; // operation name -> errno
    bool open = false;
    bool watching = false;
    int opens = 0;
    MessageLoop* loop = nullptr;
    LineEventSink* sink = nullptr;
    std::shared_ptr<bool> alive;

    // Bytes arrive from the device; the port hears of them through the loop.
    void Inject(const std::string& bytes, unsigned events = evRxChar, int error = 0) {
        queued += bytes;
        if (!loop || !sink) return;
        auto token = alive;
        LineEventSink* s = sink;
        loop->Post([token, s, events, error] {
            if (token && *token) s->HandleLineEvents(events, error);
        });
    }
};

class FakeBackend : public SerialBackend {
public:
    explicit FakeBackend(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}
    int Fail(const char* op) const {
        auto it = line_->failures.find(op);
        return it == line_->failures.end() ? 0 : it->second;
    }
    int OpenDevice(const std::string&) override {
        if (int e = Fail("open")) return e;
        line_->open = true;
        ++line_->opens;
        return 0;
    }
    int SetupQueues(const TComBuffer&) override { return Fail("queues"); }
    int ApplySettings(const LineSettings&) override { return Fail("settings"); }
    int ApplyTimeouts(const TComTimeouts&) override { return Fail("timeouts"); }
    void StartEvents(MessageLoop& loop, LineEventSink& sink) override {
        line_->loop = &loop;
        line_->sink = &sink;
        line_->alive = std::make_shared<bool>(true);
        line_->watching = true;
    }
    void StopEvents() override {
        if (line_->alive) *line_->alive = false;
        line_->sink = nullptr;
        line_->watching = false;
    }
    int Purge() override { return Fail("purge"); }
    void CloseDevice() override { line_->open = false; }
    int TakeErrors(TComErrors& errors) override {
        errors = line_->errors;
        line_->errors = 0;
        return Fail("errors");
    }
    int BytesQueued(std::size_t& count) override {
        count = line_->queued.size();
        return Fail("queued");
    }
    int Read(char* buffer, std::size_t count, std::size_t& got) override {
        if (int e = Fail("read")) return e;
        got = std::min(count, line_->queued.size());
        std::memcpy(buffer, line_->queued.data(), got);
        line_->queued.erase(0, got);
        return 0;
    }
    int Write(const char* buffer, std::size_t count, std::size_t& written) override {
        if (int e = Fail("write")) return e;
        line_->written.append(buffer, count);
        written = count;
        return 0;
    }
    std::string ErrorText(int error) const override { return std::strerror(error); }

private:
    std::shared_ptr<FakeLine> line_;
};

} // namespace mirota::test
