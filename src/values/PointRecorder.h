#pragma once
// Records the plot's new points to a CSV file while they arrive (the table format of PointsCsv.h:
// a line per instant, a column per channel shown when the recording started).
//
// Poll() is called often (a few times a second); it turns the rows that are complete (an instant
// older than the newest one, whose packet is therefore whole) into lines and writes them out at
// least once a second, so a crash loses at most about a second. The seconds column counts from the
// first point recorded, across a "Clear all Data". Stop() writes the rest and closes
// the file; the destructor stops too. Times passed in are seconds of a steady clock.
#include "values/PointsCsv.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace mirota {

class PointRecorder {
public:
    // Longest time lines wait in memory before they go to the file.
    static constexpr double kFlushSeconds = 1.0;

    explicit PointRecorder(const PlotModel& model, CsvTableOptions options = {});
    ~PointRecorder();
    PointRecorder(const PointRecorder&) = delete;
    PointRecorder& operator=(const PointRecorder&) = delete;

    // Creates (replaces) `file` and writes the header; points held before now are not recorded.
    // False when the file cannot be written.
    bool Start(const std::filesystem::path& file, double now);
    void Poll(double now);
    // Takes in every row held, the newest too; called just before the points are cleared, whose
    // rows would otherwise be gone before the next Poll.
    void TakePending();
    // Writes what is left, closes the file. Nothing happens when not recording.
    void Stop();

    bool Recording() const { return out_ != nullptr; }
    // A write failed (disk full, file gone): recording stopped.
    bool Failed() const { return failed_; }
    const std::filesystem::path& File() const { return file_; }
    double Seconds(double now) const { return Recording() ? now - started_ : stopped_ - started_; }
    // Bytes written to the file so far (the header included).
    std::uint64_t Bytes() const { return bytes_; }
    std::uint64_t Lines() const { return lines_; }

private:
    void Collect(std::size_t end);
    void Flush();

    const PlotModel& model_;
    CsvTableOptions options_;
    std::unique_ptr<CsvTableFormatter> format_;
    std::unique_ptr<std::ofstream> out_;
    std::filesystem::path file_;
    std::string buffer_;
    std::size_t nextRow_ = 0;
    std::uint64_t generation_ = 0;
    double firstTime_ = 0;
    bool haveFirst_ = false;
    double started_ = 0, stopped_ = 0, lastFlush_ = 0, lastPoll_ = 0;
    std::uint64_t bytes_ = 0, lines_ = 0;
    bool failed_ = false;
};

// "values.csv  00:01:05  1.2 MB" for the toolbar.
std::string RecordingStatusText(const std::string& fileName, double seconds, std::uint64_t bytes);

} // namespace mirota
