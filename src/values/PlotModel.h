#pragma once
// The rules of the value plot, apart from drawing: six channels on one time axis and six value axes,
// the moving time window and the value axes that follow their channels. Every point costs O(1): the
// model keeps each channel's running minimum and maximum instead of looking at the points again.
// The points themselves are kept once, in the model's PointStore, which the drawn plot reads.
#include "values/PointStore.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mirota {

struct Rgb {
    std::uint8_t r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct AxisRange {
    double lower;
    double upper;
    double Width() const { return upper - lower; }
    bool Contains(double v) const { return v >= lower && v <= upper; }
    friend bool operator==(const AxisRange&, const AxisRange&) = default;
};

class PlotModel {
public:
    static constexpr int kChannels = 6;
    // The visible time window; X values are seconds (since 1970, shown as local time of day).
    static constexpr double kTimeWindowSeconds = 20.0;

    struct Channel {
        std::string Name;  // "Torque_1"
        std::string Title; // design title "Torque 1", replaced by the configured label
        Rgb Colour;
        bool InLegend = false;
    };
    struct ValueAxis {
        std::string Name; // "Y-Axis 1"
        bool Visible = false;
        Rgb LabelColour{0, 0, 0};
        AxisRange Range{0, 100};
        // Set by the user: the range stays as given whatever the points do (no following, zooming
        // or "Zoom to Fit").
        bool Fixed = false;
    };

    PlotModel();

    // Every point added since the last clear.
    const PointStore& Points() const { return points_; }

    const Channel& ChannelAt(int i) const { return channels_.at(i); }
    const ValueAxis& ValueAxisAt(int i) const { return axes_.at(i); }
    // Channel i is drawn on value axis i.
    static int ValueAxisOf(int channel) { return channel; }

    // Turns channel i on under `label`: title, legend entry, visible axis in the channel's colour.
    void ShowChannel(int i, const std::string& label);

    // Adds one point and applies the axis rules.
    void AddPoint(int channel, double x, double y);

    const AxisRange& TimeRange() const { return time_; }
    void SetTimeRange(AxisRange r) { time_ = r; }
    void SetValueRange(int axis, AxisRange r) { axes_.at(axis).Range = r; }
    // Fixes a value axis at [lower, upper]; false (and nothing changes) unless both are finite and
    // lower < upper.
    bool FixValueRange(int axis, AxisRange r);
    // Back to automatic: the axis runs over its channel's smallest and largest value again.
    void ReleaseValueRange(int axis);

    // "Zoom to Fit": every value axis runs from the smallest to the largest Y of its channel; an axis
    // whose channel has no points or only one value keeps its range. The time axis stays.
    void ZoomToFit();
    // The time axis over all points held (toolbar); unchanged when there are none. Stops following.
    void FitTimeToData();
    // Following (the default): new points move the time window and the value axes by the rules above.
    // Zooming or "Show All" stops it, so the axes stay where the user put them while points keep
    // arriving; turning it on again shows the latest point and the channels' extents. "Clear all
    // Data" turns it on.
    void SetFollowing(bool on);
    bool Following() const { return following_; }
    // "Clear all Data": all points go, and the next point aligns the axes again.
    void ClearAllData();
    // Zoom by a factor around the centre (factor 2 = half the width) on the time axis and every
    // value axis. Stops following.
    void Zoom(double factor);

    std::size_t PointCount(int channel) const { return stats_.at(channel).Count; }
    std::size_t TotalPoints() const;
    // Smallest and largest Y of a channel since the last clear (meaningless while it has no points).
    AxisRange ValueExtent(int channel) const { return {stats_.at(channel).MinY, stats_.at(channel).MaxY}; }

    // Counts changes of what is drawn, so a view can redraw only when something changed.
    std::uint64_t Revision() const { return revision_; }

private:
    struct Stats {
        std::size_t Count = 0;
        double MinY = 0, MaxY = 0;
    };

    std::array<Channel, kChannels> channels_;
    std::array<ValueAxis, kChannels> axes_;
    std::array<Stats, kChannels> stats_;
    AxisRange time_;
    bool timeAligned_ = false;
    bool following_ = true;
    double minX_ = 0, maxX_ = 0;
    std::size_t total_ = 0;
    PointStore points_;
    std::uint64_t revision_ = 0;
};

} // namespace mirota
