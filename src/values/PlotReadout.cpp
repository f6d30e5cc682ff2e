#include "values/PlotReadout.h"

#include "platform/LocalTime.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace mirota {

namespace {

std::string Number(double v) {
    char buf[64];
    // Six significant digits as on the axes; "%g"-like through to_chars so "." stays the separator.
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, res.ptr);
}

} // namespace

std::optional<double> ValueAtOrBefore(const PointStore& store, int channel, double t) {
    const std::size_t end = store.UpperBound(t);
    const std::size_t row = store.LastDrawable(channel, 0, end);
    if (row >= end) return std::nullopt;
    return store.ValueAt(channel, row);
}

CursorReading ReadAt(const PlotModel& model, double t) {
    CursorReading r;
    r.Time = t;
    for (int i = 0; i < PlotModel::kChannels; ++i)
        if (model.ChannelAt(i).InLegend) r.Values[i] = ValueAtOrBefore(model.Points(), i, t);
    return r;
}

std::string TimeOfDayText(double seconds) {
    const double whole = std::floor(seconds);
    const std::tm tm = LocalCalendarTime(static_cast<std::time_t>(whole));
    int ms = static_cast<int>((seconds - whole) * 1000);
    if (ms > 999) ms = 999;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return buf;
}

std::string CursorText(const PlotModel& model, const CursorReading& r) {
    std::string s = TimeOfDayText(r.Time);
    for (int i = 0; i < PlotModel::kChannels; ++i) {
        if (!model.ChannelAt(i).InLegend) continue;
        s += "  " + model.ChannelAt(i).Title + ": ";
        s += r.Values[i] ? Number(*r.Values[i]) : "-";
    }
    return s;
}

std::string DeltaText(const PlotModel& model, const CursorReading& a, const CursorReading& b) {
    std::string s = "A " + TimeOfDayText(a.Time) + "  B " + TimeOfDayText(b.Time) + "  \u0394t " +
                    Number(b.Time - a.Time) + " s";
    for (int i = 0; i < PlotModel::kChannels; ++i) {
        if (!model.ChannelAt(i).InLegend) continue;
        s += "  " + model.ChannelAt(i).Title + ": \u0394 ";
        s += a.Values[i] && b.Values[i] ? Number(*b.Values[i] - *a.Values[i]) : "-";
    }
    return s;
}

std::optional<double> ParseAxisLimit(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace mirota
