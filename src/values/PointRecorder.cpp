#include "values/PointRecorder.h"

#include <charconv>
#include <cstdio>

namespace mirota {

PointRecorder::PointRecorder(const PlotModel& model, CsvTableOptions options)
    : model_(model), options_(options) {
    options_.VisibleOnly = false;
}

PointRecorder::~PointRecorder() {
    Stop();
}

bool PointRecorder::Start(const std::filesystem::path& file, double now) {
    Stop();
    auto out = std::make_unique<std::ofstream>(file, std::ios::binary | std::ios::trunc);
    if (!*out) return false;
    format_ = std::make_unique<CsvTableFormatter>(model_, options_);
    out_ = std::move(out);
    file_ = file;
    failed_ = false;
    bytes_ = lines_ = 0;
    buffer_ = format_->Header();
    const PointStore& store = model_.Points();
    nextRow_ = store.Rows();
    generation_ = store.Generation();
    haveFirst_ = false;
    started_ = stopped_ = lastFlush_ = lastPoll_ = now;
    Flush(); // the header is there at once
    return !failed_;
}

void PointRecorder::Collect(std::size_t end) {
    const PointStore& store = model_.Points();
    for (; nextRow_ < end; ++nextRow_) {
        if (!haveFirst_) {
            firstTime_ = store.TimeAt(nextRow_);
            haveFirst_ = true;
        }
        if (format_->AppendRow(buffer_, nextRow_, firstTime_)) ++lines_;
    }
}

void PointRecorder::Poll(double now) {
    if (!Recording()) return;
    lastPoll_ = now;
    const PointStore& store = model_.Points();
    if (store.Generation() != generation_) {
        // "Clear all Data": the rows are gone; recording goes on with the next points.
        generation_ = store.Generation();
        nextRow_ = 0;
    }
    const std::size_t rows = store.Rows();
    if (rows > nextRow_) {
        // The newest instant may still get points of the same packet: it waits for the next one.
        std::size_t end = rows;
        const double newest = store.TimeAt(rows - 1);
        while (end > nextRow_ && store.TimeAt(end - 1) == newest)
            --end;
        Collect(end);
    }
    if (now - lastFlush_ >= kFlushSeconds) Flush();
}

void PointRecorder::TakePending() {
    if (!Recording()) return;
    const PointStore& store = model_.Points();
    if (store.Generation() != generation_) return; // already gone
    Collect(store.Rows());
}

void PointRecorder::Flush() {
    lastFlush_ = lastPoll_;
    if (!out_ || buffer_.empty()) return;
    out_->write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    out_->flush();
    if (!*out_) {
        failed_ = true;
        out_.reset();
        stopped_ = lastPoll_;
        buffer_.clear();
        return;
    }
    bytes_ += buffer_.size();
    buffer_.clear();
}

void PointRecorder::Stop() {
    if (!Recording()) return;
    const PointStore& store = model_.Points();
    if (store.Generation() != generation_) nextRow_ = 0;
    Collect(store.Rows());
    Flush();
    if (out_) {
        out_->close();
        if (out_->fail()) failed_ = true;
        out_.reset();
    }
    stopped_ = lastPoll_;
    format_.reset();
}

std::string RecordingStatusText(const std::string& fileName, double seconds, std::uint64_t bytes) {
    const long long s = seconds > 0 ? static_cast<long long>(seconds) : 0;
    char time[32];
    std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    // to_chars, not printf: "." whatever the locale.
    auto one = [](double v) {
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 1);
        return std::string(buf, res.ptr);
    };
    std::string size;
    if (bytes < 1024)
        size = std::to_string(bytes) + " B";
    else if (bytes < 1024 * 1024)
        size = one(bytes / 1024.0) + " kB";
    else
        size = one(bytes / (1024.0 * 1024.0)) + " MB";
    return fileName + "  " + time + "  " + size;
}

} // namespace mirota
