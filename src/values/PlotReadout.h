#pragma once
// What the value plot's cursor shows: each shown channel's value at a moment (the nearest point at
// or before it) and the differences between two markers, as plain text for the readout label.
#include "values/PlotModel.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace mirota {

// The value of the channel's last point whose time is <= t; none when the channel has no point
// that early.
std::optional<double> ValueAtOrBefore(const PointStore& store, int channel, double t);

struct CursorReading {
    double Time = 0;
    // Only shown channels (in the legend) get a value.
    std::array<std::optional<double>, PlotModel::kChannels> Values{};
};

CursorReading ReadAt(const PlotModel& model, double t);

// "hh:mm:ss.mmm" in local time.
std::string TimeOfDayText(double seconds);

// "12:00:01.250  Torque 1: 1.5  Speed 1: -" (a channel without a point that early shows "-").
std::string CursorText(const PlotModel& model, const CursorReading& r);

// "A 12:00:01.250  B 12:00:03.000  Δt 1.75 s  Torque 1: Δ 0.5 ..." (B minus A).
std::string DeltaText(const PlotModel& model, const CursorReading& a, const CursorReading& b);

// A number typed by the user with "." as decimal separator (surrounding blanks allowed); none when
// the text is anything else or not finite.
std::optional<double> ParseAxisLimit(std::string_view text);

} // namespace mirota
