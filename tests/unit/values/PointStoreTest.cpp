// The plot's point store: shared rows, time look-ups, and min/max summaries checked against a plain
// walk over the points for ranges that start and end on and between block, group and chunk borders.
#include "values/PointStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace mirota {
namespace {

constexpr double T0 = 1.8e9;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(PointStore, ChannelsOfOneInstantShareARow) {
    PointStore s;
    s.Append(0, T0, 1);
    s.Append(3, T0, 4); // same time, other channel: same row
    s.Append(0, T0, 2); // same channel again: a new row
    s.Append(3, T0 + 1, 5);
    ASSERT_EQ(s.Rows(), 3u);
    EXPECT_EQ(s.Count(0), 2u);
    EXPECT_EQ(s.Count(3), 2u);
    EXPECT_EQ(s.TotalCount(), 4u);
    EXPECT_TRUE(s.Has(3, 0));
    EXPECT_EQ(s.ValueAt(3, 0), 4);
    EXPECT_FALSE(s.Has(3, 1));
    EXPECT_FALSE(s.Has(1, 0)); // a channel that never got a point
    EXPECT_THROW(s.ValueAt(3, 1), std::out_of_range);
    EXPECT_EQ(s.TimeAt(2), T0 + 1);
    std::vector<std::pair<double, double>> seen;
    s.ForEachPoint(0, 0, s.Rows(), [&](double x, double y) { seen.push_back({x, y}); });
    EXPECT_EQ(seen, (std::vector<std::pair<double, double>>{{T0, 1}, {T0, 2}}));
}

TEST(PointStore, NaNIsKeptButNotDrawn) {
    PointStore s;
    s.Append(1, T0, 3);
    s.Append(1, T0 + 1, kNaN);
    s.Append(1, T0 + 2, 7);
    EXPECT_TRUE(s.Has(1, 1));
    EXPECT_TRUE(std::isnan(s.ValueAt(1, 1)));
    const PointStore::Extent e = s.MinMax(1, 0, 3);
    EXPECT_EQ(e.min, 3);
    EXPECT_EQ(e.max, 7);
    EXPECT_EQ(s.FirstDrawable(1, 1, 3), 2u);
    EXPECT_EQ(s.LastDrawable(1, 0, 2), 0u);
    EXPECT_EQ(s.FirstDrawable(1, 1, 2), 2u); // none in [1, 2): the end
    EXPECT_TRUE(s.MinMax(1, 1, 2).Empty());
}

TEST(PointStore, AnOlderTimeIsHeldAtTheNewestSoLookUpsStayOrdered) {
    PointStore s;
    s.Append(0, T0 + 10, 1);
    s.Append(0, T0 + 5, 2); // a clock set back
    s.Append(0, T0 + 11, 3);
    ASSERT_EQ(s.Rows(), 3u);
    EXPECT_EQ(s.TimeAt(1), T0 + 10);
    EXPECT_EQ(s.LowerBound(T0 + 10), 0u);
    EXPECT_EQ(s.UpperBound(T0 + 10), 2u);
    EXPECT_EQ(s.LowerBound(T0 + 11), 2u);
}

// Several chunks of a session at 160 rows a second: channel 0 always, channel 2 with a long gap (its
// box unticked) and a few spikes, channel 5 never.
class FilledStore : public ::testing::Test {
protected:
    static constexpr std::size_t kRows = 3 * PointStore::kChunkRows + 12345;
    static constexpr std::size_t kGapBegin = PointStore::kChunkRows - 5000;
    static constexpr std::size_t kGapEnd = 2 * PointStore::kChunkRows + 777;
    static constexpr std::size_t kSpikes[] = {17, 4096 * 3 + 1, kGapEnd + 64, kRows - 1};

    FilledStore() {
        for (std::size_t r = 0; r < kRows; ++r) {
            const double t = T0 + r / 160.0;
            times.push_back(t);
            Add(0, r, t, std::sin(r * 0.001) * 100);
            if (r < kGapBegin || r >= kGapEnd) {
                const bool spike = std::find(std::begin(kSpikes), std::end(kSpikes), r) != std::end(kSpikes);
                Add(2, r, t, spike ? 1e6 : std::cos(r * 0.01));
            }
        }
    }
    void Add(int ch, std::size_t row, double t, double y) {
        s.Append(ch, t, y);
        plain[ch].resize(row + 1, kNaN);
        plain[ch][row] = y;
    }
    // What was appended at a row, or NaN: the plain record the store must agree with.
    double Plain(int ch, std::size_t row) const { return row < plain[ch].size() ? plain[ch][row] : kNaN; }
    PointStore::Extent Brute(int ch, std::size_t a, std::size_t b) const {
        PointStore::Extent e{std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
        for (std::size_t r = a; r < b; ++r)
            if (!std::isnan(Plain(ch, r))) {
                e.min = std::min(e.min, Plain(ch, r));
                e.max = std::max(e.max, Plain(ch, r));
            }
        return e;
    }
    PointStore s;
    std::vector<double> times;
    std::vector<double> plain[PointStore::kChannels];
};

TEST_F(FilledStore, TimeLookUpsFindTheRows) {
    for (std::size_t r : {std::size_t{0}, std::size_t{1}, PointStore::kChunkRows - 1, PointStore::kChunkRows,
                          kGapEnd, kRows - 1}) {
        EXPECT_EQ(s.LowerBound(times[r]), r) << r;
        EXPECT_EQ(s.UpperBound(times[r]), r + 1) << r;
        EXPECT_EQ(s.LowerBound(times[r] + 1e-6), r + 1) << r;
    }
    EXPECT_EQ(s.LowerBound(T0 - 5), 0u);
    EXPECT_EQ(s.LowerBound(T0 + 1e6), kRows);
}

TEST_F(FilledStore, MinMaxOfAnyRangeAgreesWithThePoints) {
    const std::size_t C = PointStore::kChunkRows, G = PointStore::kGroupRows, B = PointStore::kBlockRows;
    std::vector<std::pair<std::size_t, std::size_t>> ranges = {
        {0, kRows},
        {0, 1},
        {5, 6},
        {B - 1, B + 1},
        {B, 2 * B},
        {G - 3, 3 * G + 5},
        {G, C},
        {C - 1, C + 1},
        {3, C + G + B + 1},
        {kGapBegin - 1, kGapEnd + 1},
        {kGapBegin, kGapEnd},
        {kRows - 70, kRows},
        {7, 7},
    };
    std::mt19937_64 rng(7);
    for (int i = 0; i < 60; ++i) {
        std::size_t a = rng() % kRows, b = rng() % (kRows + 1);
        if (a > b) std::swap(a, b);
        ranges.push_back({a, b});
    }
    for (int ch : {0, 2, 5}) {
        for (auto [a, b] : ranges) {
            const PointStore::Extent want = Brute(ch, a, b), got = s.MinMax(ch, a, b);
            ASSERT_EQ(got.Empty(), want.Empty()) << ch << " [" << a << ", " << b << ")";
            if (!want.Empty()) {
                EXPECT_EQ(got.min, want.min) << ch << " [" << a << ", " << b << ")";
                EXPECT_EQ(got.max, want.max) << ch << " [" << a << ", " << b << ")";
            }
            // First and last drawable row, skipping the gap by its summaries; the points themselves.
            std::size_t first = b, last = b, count = 0, wrongHas = 0;
            for (std::size_t r = a; r < b; ++r) {
                wrongHas += s.Has(ch, r) != !std::isnan(Plain(ch, r));
                if (!std::isnan(Plain(ch, r))) {
                    if (first == b) first = r;
                    last = r;
                    ++count;
                }
            }
            EXPECT_EQ(wrongHas, 0u) << ch << " [" << a << ", " << b << ")";
            EXPECT_EQ(s.FirstDrawable(ch, a, b), first) << ch << " [" << a << ", " << b << ")";
            EXPECT_EQ(s.LastDrawable(ch, a, b), last) << ch << " [" << a << ", " << b << ")";
            std::size_t walked = 0;
            s.ForEachPoint(ch, a, b, [&](double, double y) { walked += std::isnan(y) ? 0 : 1; });
            EXPECT_EQ(walked, count) << ch << " [" << a << ", " << b << ")";
        }
    }
}

TEST_F(FilledStore, PixelColumnsAtEveryZoomLevelKeepEverySpike) {
    struct Zoom {
        double from, seconds;
        int columns;
    };
    const double all = times.back() - T0 + 1e-3;
    const Zoom zooms[] = {
        {T0, all, 750},                 // "Show All": hundreds of rows per column
        {T0 - all / 2, all * 2, 333},   // wider than the data
        {times[kGapEnd] - 10, 20, 752}, // the 20 s window across the gap's end
        {T0, 20, 752},                  // 20 s: about four rows per column
        {times[4096 * 3], 0.2, 750},    // zoomed in: most columns empty
    };
    std::vector<PointStore::Column> cols;
    for (const Zoom& z : zooms) {
        s.Columns(2, z.from, z.from + z.seconds, z.columns, cols);
        ASSERT_EQ(cols.size(), static_cast<std::size_t>(z.columns));
        const double w = z.seconds / z.columns;
        for (int k = 0; k < z.columns; ++k) {
            const std::size_t a = s.LowerBound(z.from + k * w);
            const std::size_t b =
                k + 1 == z.columns ? s.LowerBound(z.from + z.seconds) : s.LowerBound(z.from + (k + 1) * w);
            const PointStore::Extent want = Brute(2, a, b);
            const PointStore::Column& c = cols[static_cast<std::size_t>(k)];
            ASSERT_EQ(c.Empty(), want.Empty()) << z.seconds << " s, column " << k;
            if (want.Empty()) continue;
            EXPECT_EQ(c.min, want.min) << z.seconds << " s, column " << k;
            EXPECT_EQ(c.max, want.max) << z.seconds << " s, column " << k;
            EXPECT_EQ(c.first, s.ValueAt(2, s.FirstDrawable(2, a, b)));
            EXPECT_EQ(c.last, s.ValueAt(2, s.LastDrawable(2, a, b)));
        }
        // Every spike inside the range shows as the maximum of its column.
        for (std::size_t r : kSpikes) {
            const double t = times[r];
            if (t < z.from || t >= z.from + z.seconds) continue;
            const int k = std::min(z.columns - 1, static_cast<int>((t - z.from) / w));
            EXPECT_EQ(cols[static_cast<std::size_t>(k)].max, 1e6) << z.seconds << " s, spike at row " << r;
        }
    }
    // Channel 5 never got a point: all columns empty.
    s.Columns(5, T0, T0 + all, 100, cols);
    EXPECT_TRUE(std::all_of(cols.begin(), cols.end(), [](const auto& c) { return c.Empty(); }));
}

TEST_F(FilledStore, ClearDropsEverythingAndStartsAgain) {
    const auto generation = s.Generation();
    EXPECT_GT(s.BytesAllocated(), kRows * 8u);
    s.Clear();
    EXPECT_EQ(s.Rows(), 0u);
    EXPECT_EQ(s.TotalCount(), 0u);
    EXPECT_EQ(s.BytesAllocated(), 0u);
    EXPECT_NE(s.Generation(), generation);
    EXPECT_EQ(s.LowerBound(T0), 0u);
    EXPECT_TRUE(s.MinMax(0, 0, 10).Empty());
    s.Append(2, T0 + 5, 9);
    EXPECT_EQ(s.Rows(), 1u);
    EXPECT_EQ(s.MinMax(2, 0, 1).max, 9);
    EXPECT_FALSE(s.Has(0, 0));
}

} // namespace
} // namespace mirota
