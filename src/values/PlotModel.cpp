#include "values/PlotModel.h"

#include <cmath>

namespace mirota {

PlotModel::PlotModel() {
    channels_ = {{
        {"Torque_1", "Torque 1", {231, 64, 17}},
        {"Torque_2", "Torque 2", {0, 135, 132}},
        {"Speed_1", "Speed 1", {79, 36, 84}},
        {"Speed_2", "Speed 2", {231, 64, 17}},
        {"Angle", "Angle", {79, 36, 84}},
        {"AngleSpeed", "Angle Speed", {0, 135, 132}},
    }};
    for (int i = 0; i < kChannels; ++i)
        axes_[i].Name = "Y-Axis " + std::to_string(i + 1);
    time_ = {0, kTimeWindowSeconds};
}

void PlotModel::ShowChannel(int i, const std::string& label) {
    Channel& ch = channels_.at(i);
    ch.Title = label;
    ch.InLegend = true;
    ValueAxis& ax = axes_[ValueAxisOf(i)];
    ax.Visible = true;
    ax.LabelColour = ch.Colour;
    ++revision_;
}

void PlotModel::AddPoint(int channel, double x, double y) {
    Stats& s = stats_.at(channel);
    ValueAxis& ax = axes_[ValueAxisOf(channel)];

    // Time window: the first point aligns it (unless it already lies inside); afterwards the window
    // moves by whole widths until it holds the point. While the user looks elsewhere (not following)
    // the axes stay where the user put them.
    const double width = time_.Width() > 0 ? time_.Width() : kTimeWindowSeconds;
    if (!timeAligned_) {
        timeAligned_ = true;
        minX_ = maxX_ = x;
        if (following_ && !time_.Contains(x)) time_ = {x, x + width};
    } else {
        if (x < minX_) minX_ = x;
        if (x > maxX_) maxX_ = x;
        if (following_ && x > time_.upper) {
            const double steps = std::ceil((x - time_.upper) / width);
            time_ = {time_.lower + steps * width, time_.upper + steps * width};
        } else if (following_ && x < time_.lower) {
            const double steps = std::ceil((time_.lower - x) / width);
            time_ = {time_.lower - steps * width, time_.upper - steps * width};
        }
    }

    // Value axis: the first point moves the range (keeping its width) to begin at it unless it
    // already holds it; afterwards the range is exactly the extent of the channel's values.
    const bool automatic = following_ && !ax.Fixed;
    if (s.Count == 0) {
        s.MinY = s.MaxY = y;
        if (automatic && !ax.Range.Contains(y)) ax.Range = {y, y + ax.Range.Width()};
    } else {
        if (y < s.MinY) s.MinY = y;
        if (y > s.MaxY) s.MaxY = y;
        if (automatic && s.MaxY > s.MinY) ax.Range = {s.MinY, s.MaxY};
    }
    ++s.Count;
    ++total_;
    ++revision_;
    points_.Append(channel, x, y);
}

void PlotModel::ZoomToFit() {
    for (int i = 0; i < kChannels; ++i) {
        const Stats& s = stats_[i];
        ValueAxis& ax = axes_[ValueAxisOf(i)];
        if (ax.Fixed || s.Count == 0 || !(s.MaxY > s.MinY)) continue;
        ax.Range = {s.MinY, s.MaxY};
    }
    ++revision_;
}

void PlotModel::SetFollowing(bool on) {
    if (on == following_) return;
    following_ = on;
    if (on && total_ > 0) {
        // Back to the live window: the window rules from the latest point on, the value axes on
        // their channels' extents.
        time_ = {maxX_, maxX_ + kTimeWindowSeconds};
        ZoomToFit();
    }
    ++revision_;
}

void PlotModel::FitTimeToData() {
    following_ = false;
    if (total_ == 0) return;
    if (maxX_ > minX_)
        time_ = {minX_, maxX_};
    else
        time_ = {minX_, minX_ + kTimeWindowSeconds};
    ++revision_;
}

void PlotModel::ClearAllData() {
    for (Stats& s : stats_)
        s = Stats{};
    timeAligned_ = false;
    following_ = true;
    total_ = 0;
    ++revision_;
    points_.Clear();
}

void PlotModel::Zoom(double factor) {
    if (!(factor > 0)) return;
    following_ = false;
    auto scale = [factor](AxisRange r) {
        const double c = (r.lower + r.upper) / 2, half = r.Width() / 2 / factor;
        return AxisRange{c - half, c + half};
    };
    time_ = scale(time_);
    for (ValueAxis& ax : axes_)
        if (!ax.Fixed) ax.Range = scale(ax.Range);
    ++revision_;
}

bool PlotModel::FixValueRange(int axis, AxisRange r) {
    ValueAxis& ax = axes_.at(axis);
    if (!std::isfinite(r.lower) || !std::isfinite(r.upper) || !(r.lower < r.upper)) return false;
    ax.Fixed = true;
    ax.Range = r;
    ++revision_;
    return true;
}

void PlotModel::ReleaseValueRange(int axis) {
    ValueAxis& ax = axes_.at(axis);
    if (!ax.Fixed) return;
    ax.Fixed = false;
    for (int i = 0; i < kChannels; ++i) {
        const Stats& s = stats_[i];
        if (ValueAxisOf(i) == axis && s.Count > 0 && s.MaxY > s.MinY) ax.Range = {s.MinY, s.MaxY};
    }
    ++revision_;
}

std::size_t PlotModel::TotalPoints() const {
    return total_;
}

} // namespace mirota
