// The plot's tools apart from drawing: the cursor look-up and texts, fixed value axes, the table CSV
// export and the recorder that writes points as they arrive.
#include "values/PlotReadout.h"
#include "values/PointRecorder.h"
#include "values/PointsCsv.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace mirota {
namespace {

constexpr double T0 = 1.8e9;

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t e = text.find("\r\n", pos);
        if (e == std::string::npos) {
            out.push_back(text.substr(pos) + "<no CR LF>");
            break;
        }
        out.push_back(text.substr(pos, e - pos));
        pos = e + 2;
    }
    return out;
}

// The part of a table line after the date and time.
std::string AfterTime(const std::string& line, char sep = ',') {
    return line.substr(line.find(sep) + 1);
}

TEST(ValueAtOrBefore, NearestPointAtOrBeforeTheTime) {
    PointStore s;
    s.Append(0, 10, 1);
    s.Append(1, 10, 100);
    s.Append(0, 11, 2);
    s.Append(0, 13, 3); // channel 1 has no point after 10
    struct Case {
        int channel;
        double t;
        std::optional<double> want;
    } cases[] = {
        {0, 9.99, std::nullopt}, {0, 10, 1}, {0, 10.5, 1}, {0, 11, 2},
        {0, 12.99, 2},           {0, 13, 3}, {0, 1e12, 3}, {1, 12, 100},
        {2, 12, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValueAtOrBefore(s, c.channel, c.t), c.want) << c.channel << " @ " << c.t;
}

TEST(ValueAtOrBefore, FindsAPointManyChunksBack) {
    PointStore s;
    s.Append(1, 0, 7);
    for (std::size_t r = 1; r < 3 * PointStore::kChunkRows; ++r)
        s.Append(0, static_cast<double>(r), 0);
    EXPECT_EQ(ValueAtOrBefore(s, 1, 1e9), 7);
}

TEST(CursorText, ShownChannelsWithValuesOrDashAndDeltas) {
    PlotModel m;
    m.ShowChannel(0, "Torque 1");
    m.ShowChannel(2, "Speed 1");
    m.AddPoint(0, T0, 1.5);
    m.AddPoint(1, T0, 99); // not shown: not read
    m.AddPoint(0, T0 + 2, 2.25);
    m.AddPoint(2, T0 + 2, -4);
    const CursorReading a = ReadAt(m, T0 + 0.25), b = ReadAt(m, T0 + 2.5);
    EXPECT_FALSE(a.Values[1]);
    const std::string ta = CursorText(m, a);
    EXPECT_TRUE(std::regex_match(ta, std::regex(R"(\d\d:\d\d:\d\d\.250  Torque 1: 1\.5  Speed 1: -)"))) << ta;
    const std::string d = DeltaText(m, a, b);
    EXPECT_NE(d.find("\u0394t 2.25 s  Torque 1: \u0394 0.75  Speed 1: \u0394 -"), std::string::npos) << d;
}

TEST(ParseAxisLimit, DotOnlyWholeTextFinite) {
    struct Case {
        const char* text;
        std::optional<double> want;
    } cases[] = {{"1.5", 1.5},          {" -2 ", -2},          {"+3e2", 300},          {"0", 0},
                 {"1,5", std::nullopt}, {"", std::nullopt},    {"abc", std::nullopt},  {"1.5x", std::nullopt},
                 {"inf", std::nullopt}, {"nan", std::nullopt}, {"1e999", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseAxisLimit(c.text), c.want) << c.text;
}

TEST(FixedValueAxis, StaysThroughPointsZoomAndFitUntilReleased) {
    PlotModel m;
    m.ShowChannel(0, "A");
    m.ShowChannel(1, "B");
    m.AddPoint(0, T0, 1);
    m.AddPoint(1, T0, 1);
    EXPECT_FALSE(m.FixValueRange(0, {5, 5}));
    EXPECT_FALSE(m.FixValueRange(0, {6, 5}));
    EXPECT_FALSE(m.FixValueRange(0, {0, std::numeric_limits<double>::infinity()}));
    EXPECT_FALSE(m.ValueAxisAt(0).Fixed);
    ASSERT_TRUE(m.FixValueRange(0, {-10, 10}));
    for (double y : {50.0, -50.0}) {
        m.AddPoint(0, T0 + 1, y);
        m.AddPoint(1, T0 + 1, y);
    }
    EXPECT_EQ(m.ValueAxisAt(0).Range, (AxisRange{-10, 10}));
    EXPECT_EQ(m.ValueAxisAt(1).Range, (AxisRange{-50, 50})); // the other axis still follows
    m.ZoomToFit();
    m.Zoom(2);
    m.SetFollowing(true);
    m.ClearAllData();
    m.AddPoint(0, T0 + 2, 1000);
    EXPECT_EQ(m.ValueAxisAt(0).Range, (AxisRange{-10, 10}));
    m.AddPoint(0, T0 + 3, 2000);
    m.ReleaseValueRange(0);
    EXPECT_FALSE(m.ValueAxisAt(0).Fixed);
    EXPECT_EQ(m.ValueAxisAt(0).Range, (AxisRange{1000, 2000}));
}

class TableCsvTest : public ::testing::Test {
protected:
    TableCsvTest() {
        dir = std::filesystem::temp_directory_path() /
              ("table_csv_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        model.ShowChannel(0, "Torque 1");
        model.ShowChannel(2, "Speed, \"raw\"");
        // Two packets with both channels, one with only the first, and a hidden channel's point.
        model.AddPoint(0, T0, 1.5);
        model.AddPoint(2, T0, -2);
        model.AddPoint(1, T0 + 0.25, 7); // hidden channel only: no line
        model.AddPoint(0, T0 + 0.5, 2.5);
        model.AddPoint(0, T0 + 30, 3);
        model.AddPoint(2, T0 + 30, 4.125);
    }
    ~TableCsvTest() override { std::filesystem::remove_all(dir); }
    PlotModel model;
    std::filesystem::path dir;
};

TEST_F(TableCsvTest, ColumnPerShownChannelRowPerInstant) {
    const auto lines = Lines(TableCsv(model));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Time,Seconds,Torque 1,\"Speed, \"\"raw\"\"\"");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.000,0,1\.5,-2)")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(.*:\d\d\.500,0\.5,2\.5,)"))) << lines[2];
    EXPECT_EQ(AfterTime(lines[3]), "30,3,4.125");
}

TEST(TableCsv, SecondsAreWrittenWithoutExponent) {
    PlotModel m;
    m.ShowChannel(0, "Torque 1");
    const double offsets[] = {0.0, 0.0000121593, 0.0004, 9.42029023, 86400.1234567};
    for (double dt : offsets)
        m.AddPoint(0, T0 + dt, 1);
    const auto lines = Lines(TableCsv(m));
    ASSERT_EQ(lines.size(), std::size(offsets) + 1);
    for (std::size_t i = 0; i < std::size(offsets); ++i) {
        const std::string seconds = AfterTime(lines[i + 1]).substr(0, AfterTime(lines[i + 1]).find(','));
        EXPECT_EQ(seconds.find_first_of("eE"), std::string::npos) << seconds;
        EXPECT_NEAR(std::stod(seconds), offsets[i], 1e-6) << seconds;
    }
}

TEST_F(TableCsvTest, SeparatorAndDecimalMark) {
    struct Case {
        char sep, dec;
        const char* header;
        const char* last;
    } cases[] = {
        {';', ',', "Time;Seconds;Torque 1;\"Speed, \"\"raw\"\"\"", "30;3;4,125"},
        {'\t', '.', "Time\tSeconds\tTorque 1\t\"Speed, \"\"raw\"\"\"", "30\t3\t4.125"},
        // A decimal comma under a comma separator: the numbers that hold one are quoted.
        {',', ',', "Time,Seconds,Torque 1,\"Speed, \"\"raw\"\"\"", "30,3,\"4,125\""},
    };
    for (const Case& c : cases) {
        CsvTableOptions o;
        o.Separator = c.sep;
        o.Decimal = c.dec;
        const auto lines = Lines(TableCsv(model, o));
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0], c.header) << c.sep;
        EXPECT_EQ(AfterTime(lines[3], c.sep), c.last) << c.sep;
    }
}

TEST_F(TableCsvTest, VisibleRangeOnlyAndFileThroughPartial) {
    model.SetTimeRange({T0 + 0.25, T0 + 20});
    CsvTableOptions o;
    o.VisibleOnly = true;
    const auto target = dir / "visible.csv";
    ASSERT_EQ(ExportTableCsv(model, target, o), CsvResult::Written);
    EXPECT_FALSE(std::filesystem::exists(PartialCsvPath(target)));
    const auto lines = Lines(ReadFile(target));
    ASSERT_EQ(lines.size(), 2u);
    // Seconds still count from the first point held.
    EXPECT_EQ(AfterTime(lines[1]), "0.5,2.5,");
    EXPECT_EQ(ExportTableCsv(model, dir / "missing" / "x.csv", o), CsvResult::Failed);
}

TEST_F(TableCsvTest, CancelLeavesNoFile) {
    const auto target = dir / "cancel.csv";
    EXPECT_EQ(ExportTableCsv(model, target, {}, [](std::uint64_t, std::uint64_t) { return false; }),
              CsvResult::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_FALSE(std::filesystem::exists(PartialCsvPath(target)));
}

class PointRecorderTest : public ::testing::Test {
protected:
    PointRecorderTest() {
        dir = std::filesystem::temp_directory_path() /
              ("recorder_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        file = dir / "rec.csv";
        model.ShowChannel(0, "Torque 1");
        model.ShowChannel(1, "Torque 2");
    }
    ~PointRecorderTest() override { std::filesystem::remove_all(dir); }
    void Packet(double t, double a, double b) {
        model.AddPoint(0, t, a);
        model.AddPoint(1, t, b);
    }
    std::vector<std::string> FileLines() { return Lines(ReadFile(file)); }
    PlotModel model;
    std::filesystem::path dir, file;
};

TEST_F(PointRecorderTest, OnlyNewPointsCompleteRowsFlushedEverySecond) {
    Packet(T0, 1, 1); // before the start: not recorded
    PointRecorder rec(model);
    ASSERT_TRUE(rec.Start(file, 100.0));
    EXPECT_EQ(FileLines(), std::vector<std::string>{"Time,Seconds,Torque 1,Torque 2"});
    // Packets at 128 Hz (times exact in binary); the clock runs with them.
    const double dt = 1 / 128.0;
    double now = 100.0;
    for (int i = 1; i <= 150; ++i) {
        Packet(T0 + i * dt, i, -i);
        now += dt;
        rec.Poll(now);
        const std::size_t lines = FileLines().size();
        // Lines on disk are at most a second (128 packets) behind, and the newest packet waits.
        EXPECT_GE(lines - 1, static_cast<std::size_t>(std::max(0, i - 1 - 129))) << i;
        EXPECT_LE(lines - 1, static_cast<std::size_t>(i - 1)) << i;
    }
    EXPECT_EQ(rec.Lines(), 149u);
    rec.Stop();
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 151u);
    EXPECT_EQ(AfterTime(lines[1]), "0,1,-1");
    EXPECT_EQ(AfterTime(lines[150]), "1.1640625,150,-150");
    EXPECT_FALSE(rec.Recording());
    EXPECT_FALSE(rec.Failed());
    EXPECT_EQ(rec.Bytes(), std::filesystem::file_size(file));
    EXPECT_NEAR(rec.Seconds(0), 150 * dt, 1e-9);
}

TEST_F(PointRecorderTest, HalfPacketWaitsForTheRest) {
    PointRecorder rec(model);
    ASSERT_TRUE(rec.Start(file, 0));
    model.AddPoint(0, T0, 1);
    rec.Poll(0.5);
    model.AddPoint(1, T0, 2); // same packet
    model.AddPoint(0, T0 + 0.1, 3);
    rec.Poll(1.5);
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(AfterTime(lines[1]), "0,1,2");
}

TEST_F(PointRecorderTest, DestructionAndClearEndTheFileCleanly) {
    {
        PointRecorder rec(model);
        ASSERT_TRUE(rec.Start(file, 0));
        Packet(T0, 1, 2);
        rec.Poll(0.1);
        rec.TakePending();    // the newest packet is taken in before its row goes
        model.ClearAllData(); // recording goes on with the next points
        rec.Poll(0.2);
        Packet(T0 + 5, 3, 4);
        Packet(T0 + 6, 5, 6);
        rec.Poll(0.3);
    } // the screen closes
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 4u) << ReadFile(file);
    EXPECT_EQ(AfterTime(lines[1]), "0,1,2");
    EXPECT_EQ(AfterTime(lines[2]), "5,3,4"); // seconds since the first point recorded
    EXPECT_EQ(AfterTime(lines[3]), "6,5,6");
}

TEST_F(PointRecorderTest, UnwritableFileIsRefused) {
    PointRecorder rec(model);
    EXPECT_FALSE(rec.Start(dir / "missing" / "rec.csv", 0));
    EXPECT_FALSE(rec.Recording());
}

TEST(RecordingStatusText, DurationAndSize) {
    EXPECT_EQ(RecordingStatusText("a.csv", 3725.9, 512), "a.csv  01:02:05  512 B");
    EXPECT_EQ(RecordingStatusText("a.csv", 0, 1536), "a.csv  00:00:00  1.5 kB");
    EXPECT_EQ(RecordingStatusText("a.csv", 1, 3 * 1024 * 1024), "a.csv  00:00:01  3.0 MB");
}

} // namespace
} // namespace mirota
