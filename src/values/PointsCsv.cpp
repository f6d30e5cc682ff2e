#include "values/PointsCsv.h"

#include "platform/LocalTime.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

namespace mirota {

namespace {

// Rows between two progress calls.
constexpr std::uint64_t kProgressRows = 1 << 15;
// Bytes collected before they go to the stream.
constexpr std::size_t kFlushBytes = 1 << 20;

void AppendNumber(std::string& out, double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

void Two(char* p, int v) {
    p[0] = static_cast<char>('0' + v / 10 % 10);
    p[1] = static_cast<char>('0' + v % 10);
}

// "YYYY-MM-DD hh:mm:ss.mmm" in local time. The date and time of a whole second are looked up once
// and reused by every point of that second.
class LocalTimeText {
public:
    void Append(std::string& out, double seconds) {
        const double whole = std::floor(seconds);
        if (!valid_ || whole != second_) {
            second_ = whole;
            valid_ = true;
            const std::time_t t = static_cast<std::time_t>(whole);
            const std::tm tm = LocalCalendarTime(t);
            const int n =
                std::snprintf(prefix_, sizeof prefix_, "%04d-%02d-%02d %02d:%02d:%02d.", tm.tm_year + 1900,
                              tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
            prefixLen_ = n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        out.append(prefix_, prefixLen_);
        const int ms = static_cast<int>((seconds - whole) * 1000);
        char m[3];
        m[0] = static_cast<char>('0' + ms / 100 % 10);
        Two(m + 1, ms % 100);
        out.append(m, 3);
    }

private:
    double second_ = 0;
    bool valid_ = false;
    char prefix_[96] = {};
    std::size_t prefixLen_ = 0;
};

// Hands the gathered text to the stream once kFlushBytes have gathered; false when the stream failed.
bool FlushFull(std::string& text, std::ostream& out) {
    if (text.size() < kFlushBytes) return true;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    text.clear();
    return static_cast<bool>(out);
}

// Between two slices of rows: Cancelled when progress says stop, Failed when the points were cleared
// meanwhile (the store's generation changed); nothing while the export goes on.
std::optional<CsvResult> Interrupted(const CsvProgress& progress, std::uint64_t done, std::uint64_t total,
                                     const PointStore& store, std::uint64_t generation) {
    if (progress && !progress(done, total)) return CsvResult::Cancelled;
    if (store.Generation() != generation) return CsvResult::Failed;
    return std::nullopt;
}

// Writes the rest of the text: Written, after the last progress call, or Failed.
CsvResult Finish(std::string& text, std::ostream& out, const CsvProgress& progress, std::uint64_t total) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) return CsvResult::Failed;
    if (progress) progress(total, total);
    return CsvResult::Written;
}

std::string Quoted(const std::string& title) {
    std::string q = "\"";
    for (char c : title) {
        if (c == '"') q += '"';
        q += c;
    }
    q += '"';
    return q;
}

} // namespace

CsvResult WritePointsCsv(const PlotModel& model, std::ostream& out, const CsvProgress& progress) {
    const PointStore& store = model.Points();
    const std::uint64_t generation = store.Generation();
    const std::size_t rows = store.Rows(); // points added meanwhile are left for the next export
    std::uint64_t total = 0;
    for (int i = 0; i < PlotModel::kChannels; ++i)
        total += store.Count(i);

    std::string buf = "Channel,Time,Seconds,Value\r\n";
    buf.reserve(kFlushBytes + 4096);
    LocalTimeText time;
    std::uint64_t done = 0, nextProgress = 0;
    if (progress && !progress(0, total)) return CsvResult::Cancelled;

    for (int i = 0; i < PlotModel::kChannels; ++i) {
        const std::string quoted = Quoted(model.ChannelAt(i).Title);
        // Walked in slices, so progress (which may run the event loop) is asked between them.
        for (std::size_t begin = 0; begin < rows; begin += kProgressRows) {
            const std::size_t end = std::min(rows, begin + static_cast<std::size_t>(kProgressRows));
            store.ForEachPoint(i, begin, end, [&](double x, double y) {
                buf += quoted;
                buf += ',';
                time.Append(buf, x);
                buf += ',';
                AppendNumber(buf, x);
                buf += ',';
                AppendNumber(buf, y);
                buf += "\r\n";
                ++done;
            });
            if (!FlushFull(buf, out)) return CsvResult::Failed;
            if (done >= nextProgress) {
                nextProgress = done + kProgressRows;
                if (const auto stop = Interrupted(progress, done, total, store, generation)) return *stop;
            }
        }
    }
    return Finish(buf, out, progress, total);
}

std::string PointsCsv(const PlotModel& model) {
    std::ostringstream out;
    WritePointsCsv(model, out);
    return std::move(out).str();
}

std::filesystem::path PartialCsvPath(const std::filesystem::path& target) {
    std::filesystem::path p = target;
    p += ".partial";
    return p;
}

namespace {

template <class Write> CsvResult ExportThroughPartial(const std::filesystem::path& target, Write&& write) {
    const std::filesystem::path partial = PartialCsvPath(target);
    CsvResult result;
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out) return CsvResult::Failed;
        result = write(out);
        out.close();
        if (result == CsvResult::Written && out.fail()) result = CsvResult::Failed;
    }
    std::error_code ec;
    if (result == CsvResult::Written) {
        std::filesystem::rename(partial, target, ec);
        if (!ec) return CsvResult::Written;
        result = CsvResult::Failed;
    }
    std::filesystem::remove(partial, ec);
    return result;
}

} // namespace

CsvResult ExportPointsCsv(const PlotModel& model, const std::filesystem::path& target,
                          const CsvProgress& progress) {
    return ExportThroughPartial(target,
                                [&](std::ostream& out) { return WritePointsCsv(model, out, progress); });
}

struct CsvTableFormatter::TimeText : LocalTimeText {};

CsvTableFormatter::CsvTableFormatter(const PlotModel& model, const CsvTableOptions& options)
    : model_(model), options_(options), time_(std::make_unique<TimeText>()) {
    for (int i = 0; i < PlotModel::kChannels; ++i)
        shown_[i] = model.ChannelAt(i).InLegend;
}

CsvTableFormatter::~CsvTableFormatter() = default;

namespace {

void AppendField(std::string& out, const std::string& field, char separator) {
    if (field.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::string CsvTableFormatter::Header() const {
    std::string h = "Time";
    h += options_.Separator;
    h += "Seconds";
    for (int i = 0; i < PlotModel::kChannels; ++i) {
        if (!shown_[i]) continue;
        h += options_.Separator;
        AppendField(h, model_.ChannelAt(i).Title, options_.Separator);
    }
    h += "\r\n";
    return h;
}

void CsvTableFormatter::AppendNumber(std::string& out, double v, bool plain) const {
    char buf[400]; // the longest fixed-point form of a double
    // Seconds never with an exponent (the shortest form of 0.000012 would be 1.2e-05); values as
    // they were received.
    auto res = plain ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                     : std::to_chars(buf, buf + sizeof buf, v);
    if (options_.Decimal != '.')
        for (char* p = buf; p != res.ptr; ++p)
            if (*p == '.') *p = options_.Decimal;
    const bool quote =
        options_.Decimal == options_.Separator && std::memchr(buf, options_.Separator, res.ptr - buf);
    if (quote) out += '"';
    out.append(buf, res.ptr);
    if (quote) out += '"';
}

bool CsvTableFormatter::AppendRow(std::string& out, std::size_t row, double firstTime) {
    const PointStore& store = model_.Points();
    bool any = false;
    for (int i = 0; i < PlotModel::kChannels && !any; ++i)
        any = shown_[i] && store.Has(i, row);
    if (!any) return false;
    const double t = store.TimeAt(row);
    time_->Append(out, t);
    out += options_.Separator;
    AppendNumber(out, t - firstTime, true);
    for (int i = 0; i < PlotModel::kChannels; ++i) {
        if (!shown_[i]) continue;
        out += options_.Separator;
        if (store.Has(i, row)) AppendNumber(out, store.ValueAt(i, row));
    }
    out += "\r\n";
    return true;
}

CsvResult WriteTableCsv(const PlotModel& model, std::ostream& out, const CsvTableOptions& options,
                        const CsvProgress& progress) {
    const PointStore& store = model.Points();
    const std::uint64_t generation = store.Generation();
    std::size_t begin = 0, end = store.Rows(); // rows added meanwhile are left for the next export
    if (options.VisibleOnly) {
        begin = store.LowerBound(model.TimeRange().lower);
        end = std::min(end, store.UpperBound(model.TimeRange().upper));
    }
    const double first = store.Rows() > 0 ? store.TimeAt(0) : 0;
    const std::uint64_t total = end > begin ? end - begin : 0;
    CsvTableFormatter format(model, options);
    std::string buf = format.Header();
    buf.reserve(kFlushBytes + 4096);
    if (progress && !progress(0, total)) return CsvResult::Cancelled;
    for (std::size_t row = begin; row < end;) {
        const std::size_t sliceEnd = std::min(end, row + static_cast<std::size_t>(kProgressRows));
        for (; row < sliceEnd; ++row)
            format.AppendRow(buf, row, first);
        if (!FlushFull(buf, out)) return CsvResult::Failed;
        if (const auto stop = Interrupted(progress, row - begin, total, store, generation)) return *stop;
    }
    return Finish(buf, out, progress, total);
}

std::string TableCsv(const PlotModel& model, const CsvTableOptions& options) {
    std::ostringstream out;
    WriteTableCsv(model, out, options);
    return std::move(out).str();
}

CsvResult ExportTableCsv(const PlotModel& model, const std::filesystem::path& target,
                         const CsvTableOptions& options, const CsvProgress& progress) {
    return ExportThroughPartial(
        target, [&](std::ostream& out) { return WriteTableCsv(model, out, options, progress); });
}

} // namespace mirota
