// The points' CSV text and the export to a file: format, order, quoting, and that a cancelled or
// failed export leaves neither a half file nor a changed target behind.
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

class PointsCsvTest : public ::testing::Test {
protected:
    PointsCsvTest() {
        dir = std::filesystem::temp_directory_path() /
              ("points_csv_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~PointsCsvTest() override { std::filesystem::remove_all(dir); }
    void Many(std::size_t rows) {
        for (std::size_t r = 0; r < rows; ++r)
            model.AddPoint(0, T0 + r / 160.0, static_cast<double>(r));
    }
    PlotModel model;
    std::filesystem::path dir;
};

TEST_F(PointsCsvTest, HeaderThenEveryChannelsPointsInOrder) {
    model.ShowChannel(3, "Speed \"B\"");
    model.AddPoint(3, T0 + 0.5, 12.5);
    model.AddPoint(0, T0 + 0.5, -0.25);
    model.AddPoint(3, T0 + 2, 1e21);
    const std::string csv = PointsCsv(model);
    std::istringstream in(csv);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) {
        ASSERT_FALSE(l.empty());
        ASSERT_EQ(l.back(), '\r') << "CR LF line ends";
        lines.push_back(l.substr(0, l.size() - 1));
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Channel,Time,Seconds,Value");
    const std::regex row(R"re(("(?:[^"]|"")*"),(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.(\d{3})),([^,]+),([^,]+))re");
    struct Want {
        const char* channel;
        const char* ms;
        const char* seconds;
        const char* value;
    };
    const Want want[] = {
        {"\"Torque 1\"", "500", "1800000000.5", "-0.25"},
        {"\"Speed \"\"B\"\"\"", "500", "1800000000.5", "12.5"},
        {"\"Speed \"\"B\"\"\"", "000", "1800000002", "1e+21"},
    };
    for (std::size_t i = 0; i < std::size(want); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i + 1], m, row)) << lines[i + 1];
        EXPECT_EQ(m[1], want[i].channel);
        EXPECT_EQ(m[3], want[i].ms);
        EXPECT_EQ(m[4], want[i].seconds);
        EXPECT_EQ(m[5], want[i].value);
    }
}

TEST_F(PointsCsvTest, ExportReplacesTheTargetOnlyWhenComplete) {
    Many(100000);
    const auto target = dir / "points.csv";
    std::ofstream(target) << "old";
    std::vector<std::uint64_t> seen;
    EXPECT_EQ(ExportPointsCsv(model, target,
                              [&](std::uint64_t done, std::uint64_t total) {
                                  EXPECT_EQ(total, 100000u);
                                  seen.push_back(done);
                                  return true;
                              }),
              CsvResult::Written);
    EXPECT_EQ(ReadFile(target), PointsCsv(model));
    EXPECT_FALSE(std::filesystem::exists(PartialCsvPath(target)));
    ASSERT_GE(seen.size(), 3u); // asked along the way, not only at the ends
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100000u);
}

TEST_F(PointsCsvTest, CancelledFailedOrClearedExportsLeaveNoFileBehind) {
    Many(100000);
    const auto target = dir / "points.csv";
    struct Case {
        const char* what;
        std::filesystem::path target;
        int cancelAtCall; // -1: never
        bool clearMidway;
        CsvResult expected;
    };
    const Case cases[] = {
        {"cancelled at once", target, 0, false, CsvResult::Cancelled},
        {"cancelled midway", target, 2, false, CsvResult::Cancelled},
        {"directory missing", dir / "missing" / "points.csv", -1, false, CsvResult::Failed},
        {"points cleared midway", target, -1, true, CsvResult::Failed},
    };
    for (const Case& c : cases) {
        std::ofstream(target, std::ios::trunc) << "old";
        int calls = 0;
        const CsvResult r = ExportPointsCsv(model, c.target, [&](std::uint64_t, std::uint64_t) {
            const int n = calls++;
            if (c.clearMidway && n == 1) model.ClearAllData();
            return n != c.cancelAtCall;
        });
        EXPECT_EQ(r, c.expected) << c.what;
        EXPECT_EQ(ReadFile(target), "old") << c.what;
        EXPECT_FALSE(std::filesystem::exists(PartialCsvPath(c.target))) << c.what;
        if (c.clearMidway) Many(100000);
    }
}

} // namespace
} // namespace mirota
