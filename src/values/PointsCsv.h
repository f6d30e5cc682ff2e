#pragma once
// The plot's points as CSV text: a header "Channel,Time,Seconds,Value", then per channel (index order)
// one row per point in the order of adding: the quoted channel title, the local date and time with
// milliseconds, the seconds since 1970 and the value, "." decimals, CR LF line ends.
#include "values/PlotModel.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace mirota {

// Told the rows written so far and the rows to write; returns false to cancel.
using CsvProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

enum class CsvResult { Written, Cancelled, Failed };

// The whole text at once (small recordings, tests).
std::string PointsCsv(const PlotModel& model);

// Streams the text to `out`; asks `progress` every few thousand rows. Fails when `out` fails or the
// points are cleared meanwhile.
CsvResult WritePointsCsv(const PlotModel& model, std::ostream& out, const CsvProgress& progress = {});

// Writes the file through a temporary file beside it that replaces `target` only when complete; on
// cancel or failure the temporary file is removed and `target` stays as it was.
CsvResult ExportPointsCsv(const PlotModel& model, const std::filesystem::path& target,
                          const CsvProgress& progress = {});

// The points as a table: a header "Time,Seconds,<label of each shown channel>", then one row per
// instant that holds a point of a shown channel: the local date and time with milliseconds, the
// seconds since the first point held, and each shown channel's value (empty when it has none at that
// instant), CR LF line ends. A field holding the separator, a quote or a line end is quoted.
struct CsvTableOptions {
    char Separator = ',';
    char Decimal = '.';
    // Only the instants inside the plot's time window.
    bool VisibleOnly = false;
};

// Turns the rows of a model's PointStore into table lines; the channels are those shown when it
// is made. Also used by the recorder, which writes rows as they arrive.
class CsvTableFormatter {
public:
    CsvTableFormatter(const PlotModel& model, const CsvTableOptions& options);
    ~CsvTableFormatter();
    CsvTableFormatter(const CsvTableFormatter&) = delete;
    CsvTableFormatter& operator=(const CsvTableFormatter&) = delete;

    std::string Header() const;
    // Appends the line of a row; false (nothing appended) when no shown channel has a point there.
    bool AppendRow(std::string& out, std::size_t row, double firstTime);

private:
    // plain: fixed-point notation, never an exponent.
    void AppendNumber(std::string& out, double v, bool plain = false) const;
    struct TimeText;
    const PlotModel& model_;
    CsvTableOptions options_;
    std::array<bool, PlotModel::kChannels> shown_{};
    std::unique_ptr<TimeText> time_;
};

CsvResult WriteTableCsv(const PlotModel& model, std::ostream& out, const CsvTableOptions& options,
                        const CsvProgress& progress = {});
std::string TableCsv(const PlotModel& model, const CsvTableOptions& options = {});
// As ExportPointsCsv, through a temporary file.
CsvResult ExportTableCsv(const PlotModel& model, const std::filesystem::path& target,
                         const CsvTableOptions& options, const CsvProgress& progress = {});

// The temporary file ExportPointsCsv writes first.
std::filesystem::path PartialCsvPath(const std::filesystem::path& target);

} // namespace mirota
