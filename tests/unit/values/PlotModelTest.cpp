// The plot's axis rules: time window alignment and whole-width moves, value axes that follow the
// channel's extent, zoom to fit and clear.
#include "values/PlotModel.h"

#include <gtest/gtest.h>

namespace mirota {
namespace {

class PlotModelTest : public ::testing::Test {
protected:
    PlotModel model;
    static constexpr double T0 = 1.8e9; // a time of day in 2027, seconds since 1970
};

TEST_F(PlotModelTest, DesignChannelsAndAxes) {
    EXPECT_EQ(model.ChannelAt(0).Name, "Torque_1");
    EXPECT_EQ(model.ChannelAt(5).Name, "AngleSpeed");
    EXPECT_EQ(model.ChannelAt(5).Title, "Angle Speed");
    EXPECT_EQ(model.ChannelAt(2).Colour, (Rgb{79, 36, 84}));
    for (int i = 0; i < PlotModel::kChannels; ++i) {
        EXPECT_FALSE(model.ChannelAt(i).InLegend);
        EXPECT_FALSE(model.ValueAxisAt(i).Visible);
        EXPECT_EQ(model.ValueAxisAt(i).Range, (AxisRange{0, 100}));
    }
    EXPECT_EQ(model.ValueAxisAt(3).Name, "Y-Axis 4");
    EXPECT_DOUBLE_EQ(model.TimeRange().Width(), 20.0);
}

TEST_F(PlotModelTest, ShowChannelSetsTitleLegendAndAxisColour) {
    model.ShowChannel(1, "Drehmoment");
    EXPECT_EQ(model.ChannelAt(1).Title, "Drehmoment");
    EXPECT_TRUE(model.ChannelAt(1).InLegend);
    EXPECT_TRUE(model.ValueAxisAt(1).Visible);
    EXPECT_EQ(model.ValueAxisAt(1).LabelColour, (Rgb{0, 135, 132}));
    EXPECT_FALSE(model.ValueAxisAt(0).Visible);
}

TEST_F(PlotModelTest, FirstPointAlignsTheTimeWindowLaterPointsMoveItByWholeWidths) {
    model.AddPoint(0, T0 + 0.3, 1);
    EXPECT_EQ(model.TimeRange(), (AxisRange{T0 + 0.3, T0 + 20.3}));
    model.AddPoint(0, T0 + 20.3, 1); // on the right end: still inside
    EXPECT_EQ(model.TimeRange(), (AxisRange{T0 + 0.3, T0 + 20.3}));
    model.AddPoint(0, T0 + 21, 1); // beyond: one width on
    EXPECT_EQ(model.TimeRange(), (AxisRange{T0 + 20.3, T0 + 40.3}));
    model.AddPoint(0, T0 + 75, 1); // after a pause: as many widths as it takes to hold it
    EXPECT_EQ(model.TimeRange(), (AxisRange{T0 + 60.3, T0 + 80.3}));
    model.AddPoint(0, T0 + 50, 1); // a clock set back: one width back
    EXPECT_EQ(model.TimeRange(), (AxisRange{T0 + 40.3, T0 + 60.3}));
}

TEST_F(PlotModelTest, FirstPointInsideTheWindowLeavesItWhereItIs) {
    model.SetTimeRange({T0, T0 + 20});
    model.AddPoint(2, T0 + 5, 1);
    EXPECT_EQ(model.TimeRange(), (AxisRange{T0, T0 + 20}));
}

TEST_F(PlotModelTest, ValueAxisFollowsTheChannelsExtent) {
    struct Step {
        double y;
        AxisRange expected;
    };
    // First point outside 0..100 moves the range to begin at it; one and the same value keeps the
    // range; afterwards the range is exactly the smallest to the largest value.
    const Step steps[] = {
        {150, {150, 250}}, {150, {150, 250}}, {160, {150, 160}},
        {155, {150, 160}}, {-3, {-3, 160}},   {170, {-3, 170}},
    };
    double x = T0;
    for (const Step& s : steps) {
        model.AddPoint(4, x += 0.1, s.y);
        EXPECT_EQ(model.ValueAxisAt(4).Range, s.expected) << "after y=" << s.y;
    }
    // Other axes are not touched.
    EXPECT_EQ(model.ValueAxisAt(0).Range, (AxisRange{0, 100}));
    EXPECT_EQ(model.Points().TotalCount(), std::size(steps));
    EXPECT_EQ(model.Points().Count(4), std::size(steps));
    EXPECT_EQ(model.PointCount(4), std::size(steps));
}

TEST_F(PlotModelTest, FirstPointInsideTheRangeKeepsIt) {
    model.AddPoint(0, T0, 40);
    EXPECT_EQ(model.ValueAxisAt(0).Range, (AxisRange{0, 100}));
    model.AddPoint(0, T0 + 1, 60);
    EXPECT_EQ(model.ValueAxisAt(0).Range, (AxisRange{40, 60}));
}

TEST_F(PlotModelTest, ZoomToFitRestoresTheExtentAndKeepsEmptyAndFlatAxes) {
    model.AddPoint(0, T0, 5);
    model.AddPoint(0, T0 + 1, 9);
    model.AddPoint(1, T0 + 1, 7); // flat channel
    model.AddPoint(1, T0 + 2, 7);
    const AxisRange time = model.TimeRange();
    model.Zoom(2);
    EXPECT_EQ(model.ValueAxisAt(0).Range, (AxisRange{6, 8}));
    model.SetValueRange(1, {-1, 1});
    model.ZoomToFit();
    EXPECT_EQ(model.ValueAxisAt(0).Range, (AxisRange{5, 9}));
    EXPECT_EQ(model.ValueAxisAt(1).Range, (AxisRange{-1, 1}));     // one value only: kept
    EXPECT_EQ(model.ValueAxisAt(2).Range, (AxisRange{25, 75}));    // no points: kept (as zoomed)
    EXPECT_DOUBLE_EQ(model.TimeRange().Width(), time.Width() / 2); // time axis untouched by the fit
}

TEST_F(PlotModelTest, ZoomToFitOnAnEmptyPlotChangesNothing) {
    model.ZoomToFit();
    for (int i = 0; i < PlotModel::kChannels; ++i)
        EXPECT_EQ(model.ValueAxisAt(i).Range, (AxisRange{0, 100}));
}

TEST_F(PlotModelTest, ClearAllDataForgetsPointsAndAlignment) {
    model.ShowChannel(0, "T1");
    model.AddPoint(0, T0, 500);
    model.AddPoint(0, T0 + 1, 600);
    model.ClearAllData();
    EXPECT_EQ(model.Points().Rows(), 0u);
    EXPECT_EQ(model.Points().TotalCount(), 0u);
    EXPECT_EQ(model.TotalPoints(), 0u);
    EXPECT_TRUE(model.ChannelAt(0).InLegend); // configuration stays
    // The next point aligns both axes again.
    model.AddPoint(0, T0 + 100, 1000);
    EXPECT_EQ(model.TimeRange(), (AxisRange{T0 + 100, T0 + 120}));
    EXPECT_EQ(model.ValueAxisAt(0).Range, (AxisRange{1000, 1100}));
}

TEST_F(PlotModelTest, FitTimeToDataCoversAllPoints) {
    model.FitTimeToData(); // nothing held: unchanged
    EXPECT_EQ(model.TimeRange(), (AxisRange{0, 20}));
    model.AddPoint(0, T0, 1);
    model.AddPoint(3, T0 + 95, 1);
    model.FitTimeToData();
    EXPECT_EQ(model.TimeRange(), (AxisRange{T0, T0 + 95}));
}

TEST_F(PlotModelTest, ZoomingOrShowAllStopsFollowingUntilAskedAgain) {
    struct Case {
        const char* action;
        void (*apply)(PlotModel&);
    };
    const Case cases[] = {
        {"Zoom In", [](PlotModel& m) { m.Zoom(2); }},
        {"Zoom Out", [](PlotModel& m) { m.Zoom(0.5); }},
        {"Show All", [](PlotModel& m) { m.FitTimeToData(); }},
    };
    for (const Case& c : cases) {
        PlotModel m;
        m.AddPoint(0, T0, 1);
        m.AddPoint(0, T0 + 1, 3);
        EXPECT_TRUE(m.Following());
        c.apply(m);
        EXPECT_FALSE(m.Following()) << c.action;
        const AxisRange time = m.TimeRange(), value = m.ValueAxisAt(0).Range;
        // Points far beyond the window and the value range: the axes stay where the user put them.
        m.AddPoint(0, T0 + 100, 50);
        m.AddPoint(1, T0 + 100, 7);
        EXPECT_EQ(m.TimeRange(), time) << c.action;
        EXPECT_EQ(m.ValueAxisAt(0).Range, value) << c.action;
        EXPECT_EQ(m.ValueExtent(0).upper, 50) << c.action; // the extent still counts every point
        // Following again: the window from the latest point, the axes on their extents; the rules
        // apply again from there.
        m.SetFollowing(true);
        EXPECT_EQ(m.TimeRange(), (AxisRange{T0 + 100, T0 + 120})) << c.action;
        EXPECT_EQ(m.ValueAxisAt(0).Range, (AxisRange{1, 50})) << c.action;
        m.AddPoint(0, T0 + 121, 60);
        EXPECT_EQ(m.TimeRange(), (AxisRange{T0 + 120, T0 + 140})) << c.action;
        EXPECT_EQ(m.ValueAxisAt(0).Range, (AxisRange{1, 60})) << c.action;
    }
}

TEST_F(PlotModelTest, ClearAllDataFollowsAgain) {
    model.AddPoint(0, T0, 1);
    model.Zoom(2);
    model.ClearAllData();
    EXPECT_TRUE(model.Following());
    model.AddPoint(0, T0 + 500, 1000);
    EXPECT_EQ(model.TimeRange(), (AxisRange{T0 + 500, T0 + 510})); // aligned again, in the zoomed width
}

} // namespace
} // namespace mirota
