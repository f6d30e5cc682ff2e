// The rules behind comparing the settings list with a file and exporting it as CSV.
#include "settings/ConfigurationCompare.h"
#include "settings/SettingsExport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace mirota {
namespace {

using Texts = std::vector<std::string>;

TEST(ConfigurationCompareTest, TextsOrNumbersAsTheWritePassReadsThem) {
    struct Case {
        std::string current, file;
        bool display;
        bool equal;
    };
    const std::vector<Case> cases = {
        {"1.5", "1.50", false, true}, // same number, other text
        {"250", "250", false, true},
        {"250", " +250 ", false, true}, // as the echo comparison reads numbers
        {"250", "400", false, false},
        // Unlike the echo check, numbers within the same hundred are not taken as equal.
        {"10", "12", false, false},
        {"0.5", "5e-1", false, true},
        {"Bench A", "Bench A", false, true},
        {"Bench A", "bench a", false, false}, // free text is compared exactly
        {"", "0", false, false},
        {"100 Hz", "100 hz", true, true}, // display texts stand for the same device value
        {"100 Hz", "10 Hz", true, false},
        {"1,5", "1.5", false, false}, // a decimal comma is no number
    };
    for (const Case& tc : cases)
        EXPECT_EQ(SettingValuesEqual(tc.current, tc.file, tc.display), tc.equal)
            << "'" << tc.current << "' vs '" << tc.file << "'";
}

TEST(ConfigurationCompareTest, MarksCountsAndSummary) {
    const Texts current = {"250", "100 Hz", "Bench A", "Off", "7"};
    const std::vector<bool> display = {false, true, false, true, false};
    struct Case {
        const char* what;
        Texts file;
        std::vector<int> differing;
        std::string summary;
    };
    const std::vector<Case> cases = {
        {"all equal", {"250.0", "100 HZ", "Bench A", "off", "7"}, {}, "0 of 5 settings differ"},
        {"two differ", {"300", "100 Hz", "Bench B", "Off", "7"}, {0, 2}, "2 of 5 settings differ"},
        // "-" holds no value and rows beyond the file are not compared.
        {"short file with a dash", {"-", "1 Hz"}, {1}, "1 of 1 settings differ"},
        {"surplus values", {"250", "100 Hz", "Bench A", "Off", "8", "x", "y"}, {4}, "1 of 5 settings differ"},
        {"empty file", {}, {}, "0 of 0 settings differ"},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.what);
        const ConfigurationComparison c = CompareRows(current, tc.file, display);
        ASSERT_EQ(c.Differences.size(), current.size());
        std::vector<int> differing;
        for (int i = 0; i < static_cast<int>(current.size()); ++i)
            if (c.RowDiffers(i)) {
                differing.push_back(i);
                EXPECT_EQ(*c.Differences[i], tc.file[i]);
            }
        EXPECT_EQ(differing, tc.differing);
        EXPECT_EQ(c.Differing, static_cast<int>(tc.differing.size()));
        EXPECT_EQ(ComparisonSummary(c), tc.summary);
    }
    EXPECT_EQ(ComparisonSummary(ConfigurationComparison{}), "");
    EXPECT_EQ(DifferenceDescription("1.5"), "differs from file: 1.5");
}

TEST(SettingsExportTest, FieldsAreQuotedAsRfc4180Says) {
    struct Case {
        std::string text, field;
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"lf\nonly", "\"lf\nonly\""},
        {"cr\ronly", "\"cr\ronly\""},
        {" spaces kept ", " spaces kept "},
        {"a;b", "a;b"},
        {"Grüße", "Grüße"}, // UTF-8 passes unchanged
    };
    for (const Case& tc : cases)
        EXPECT_EQ(CsvField(tc.text), tc.field) << tc.text;
    EXPECT_EQ(CsvField("a;b", ';'), "\"a;b\"");
    EXPECT_EQ(CsvRecord({"a", "b,c", ""}), "a,\"b,c\",\r\n");
}

TEST(SettingsExportTest, ListHasOneRecordPerRowThenPerHiddenValue) {
    std::vector<SettingsRow> rows(3);
    rows[0] = {0, "Range", "250", "-", "Range info", false};
    rows[1] = {1, "Unit name", "Bench \"A\", left", "x", "Name\ninfo", true};
    rows[2] = {5, "Orphan", "1", "-", "", false}; // a group the sections do not name
    const std::string csv = BuildSettingsCsv(rows, {"Group A", "Group B"}, {"1.0042", "0.9987"});
    EXPECT_EQ(csv, "Section,Description,Current Value,Info\r\n"
                   "Group A,Range,250,Range info\r\n"
                   "Group B,Unit name,\"Bench \"\"A\"\", left\",\"Name\ninfo\"\r\n"
                   ",Orphan,1,\r\n"
                   "Hidden,Hidden value 0,1.0042,\r\n"
                   "Hidden,Hidden value 1,0.9987,\r\n");
}

TEST(SettingsExportTest, FileNameGetsTheExtensionOnce) {
    EXPECT_EQ(SettingsExportFileName("/tmp/list"), "/tmp/list.csv");
    EXPECT_EQ(SettingsExportFileName("/tmp/list.CSV"), "/tmp/list.CSV");
    EXPECT_EQ(SettingsExportFileName("/tmp/list.xml"), "/tmp/list.xml.csv");
}

class AtomicWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("settings-export-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::vector<std::string> Entries() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        return names;
    }
    std::filesystem::path dir;
};

TEST_F(AtomicWriteTest, ReplacesTheTargetAndLeavesNoTemporaryFile) {
    const auto target = dir / "list.csv";
    std::ofstream(target) << "old contents that are longer than the new ones";
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(target.string(), "a,b\r\n", error)) << error;
    EXPECT_EQ(Read(target), "a,b\r\n");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"list.csv"}));
}

TEST_F(AtomicWriteTest, AFailedWriteLeavesTheTargetAsItWasAndSaysWhy) {
    // The target is a directory: the complete temporary file cannot be renamed over it.
    const auto target = dir / "taken";
    std::filesystem::create_directories(target / "inside");
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(target.string(), "x", error));
    EXPECT_NE(error.find(target.string()), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_directory(target / "inside"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"taken"}));
    // A folder that does not exist.
    error.clear();
    EXPECT_FALSE(WriteFileAtomically((dir / "missing" / "list.csv").string(), "x", error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace mirota
