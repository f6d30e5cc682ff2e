#pragma once
// The plot's points as CSV text: a header "Channel,Time,Seconds,Value", then per channel (index order)
// one row per point in the order of adding: the quoted channel title, the local date and time with
// milliseconds, the seconds since 1970 and the value, "." decimals, CR LF line ends.
#include "values/PlotModel.h"

#include <cstdint>
#include <filesystem>
#include <functional>
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

// The temporary file ExportPointsCsv writes first.
std::filesystem::path PartialCsvPath(const std::filesystem::path& target);

} // namespace mirota
