// The settings catalogue as read from small fixture files.
#include "settings/SettingsCatalogue.h"

#include "ini/IniFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace mirota {
namespace {

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("settings-catalogue-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    TSettingsCatalogue Read(const std::string& type, int version) {
        TSettingsCatalogue catalogue;
        ReadSettingsCatalogue(dir, type, version, catalogue);
        return catalogue;
    }

    std::filesystem::path dir;
};

using Texts = std::vector<std::string>;

TEST_F(CatalogueTest, EntriesGroupsDisplayAndInfoOfATypicalCatalogue) {
    Write("SettingsCommands X.ini", "; comment\n"
                                    "[Measurement]\n"
                                    "  Range = $101  \n"
                                    "Filter=$103\n"
                                    "\n"
                                    "[ Empty ]\n"
                                    "[Interface]\r\n"
                                    "Baud rate=$120=ignored\r\n"
                                    "Filter=$104\r\n");
    Write("DisplayValues X.ini", "[FILTER]\n"
                                 "a=1 Hz\n"
                                 "b = 10 Hz \n"
                                 "[baud RATE]\n"
                                 "x=9600\n"
                                 "y=19200\n");
    Write("InfoConfiguration X.ini", "[Measurement]\n"
                                     "whatever=Nominal torque\n"
                                     "other= Low-pass =not used\n"
                                     "[Interface]\n"
                                     "1=Line speed\n");

    TSettingsCatalogue c = Read(" X", 29);
    EXPECT_EQ(c.slCurrentSections, (Texts{"Measurement", "Empty", "Interface"}));
    EXPECT_EQ(c.slCurrentDescription, (Texts{"Range", "Filter", "Baud rate", "Filter"}));
    // Two "=": the command is what stands between them.
    EXPECT_EQ(c.slCurrentCommand, (Texts{"$101", "$103", "$120", "$104"}));
    // Info lines are matched by position; a shorter info section gives an empty text.
    EXPECT_EQ(c.slCurrentInfo, (Texts{"Nominal torque", "Low-pass", "Line speed", ""}));
    // Display sections are found whatever their letter case; the same description shares one section.
    ASSERT_EQ(c.olCurrentDisplay.size(), 4u);
    EXPECT_EQ(c.olCurrentDisplay[0], Texts{});
    EXPECT_EQ(c.olCurrentDisplay[1], (Texts{"1 Hz", "10 Hz"}));
    EXPECT_EQ(c.olCurrentDisplay[2], (Texts{"9600", "19200"}));
    EXPECT_EQ(c.olCurrentDisplay[3], (Texts{"1 Hz", "10 Hz"}));
    // The empty section is a group without rows; the next section's entries lie in their own group.
    EXPECT_EQ(c.olCurrentBorders, (std::vector<int>{0, 2, 2, 4}));
    EXPECT_EQ(c.SectionOf(0), 0);
    EXPECT_EQ(c.SectionOf(1), 0);
    EXPECT_EQ(c.SectionOf(2), 2);
    EXPECT_EQ(c.SectionOf(3), 2);
    EXPECT_EQ(c.SectionOf(4), -1);
    EXPECT_TRUE(c.slHiddenCommands.empty());
}

TEST_F(CatalogueTest, DisplayTextsDependOnlyOnTheirOrder) {
    Write("SettingsCommandsX.ini", "[S]\nA=$1\nB=$2\n");
    Write("DisplayValuesX.ini", "[A]\n0=off\n1=on\n[B]\nzz=off\nno name here\n");
    TSettingsCatalogue c = Read("X", 0);
    ASSERT_EQ(c.olCurrentDisplay.size(), 2u);
    EXPECT_EQ(c.olCurrentDisplay[0], (Texts{"off", "on"}));
    // A line without "=" stays whole.
    EXPECT_EQ(c.olCurrentDisplay[1], (Texts{"off", "no name here"}));
}

TEST_F(CatalogueTest, HiddenCommandsAreReadFromFirmware30On) {
    Write("SettingsCommandsX.ini", "[S]\nA=$1\n");
    Write("HiddenCommands.ini", "[Other]\nq=$9\n[hidden]\nfirst = $140\nsecond=$141=x\n");
    struct Case {
        int version;
        Texts hidden;
    };
    for (const Case& tc : {Case{29, {}}, Case{30, {"$140", "$141"}}, Case{31, {"$140", "$141"}}}) {
        SCOPED_TRACE(tc.version);
        EXPECT_EQ(Read("X", tc.version).slHiddenCommands, tc.hidden);
    }
}

TEST_F(CatalogueTest, FileNamesKeepTheBlanksOfTheTypeText) {
    Write("SettingsCommands DMS.ini", "[S]\nA=$1\n");
    Write("InfoConfiguration DMS.ini", "[S]\n1=help\n");
    EXPECT_EQ(DeviceTypeOf("Mirota DMS"), " DMS");
    EXPECT_EQ(DeviceTypeOf("MIROTA DMS mirota"), " DMS ");
    EXPECT_EQ(DeviceTypeOf("Mirotamirota"), "");
    EXPECT_EQ(DeviceTypeOf("Mirot DMS"), "Mirot DMS");
    TSettingsCatalogue withBlank = Read(DeviceTypeOf("Mirota DMS"), 31);
    EXPECT_EQ(withBlank.slCurrentDescription, Texts{"A"});
    EXPECT_EQ(withBlank.slCurrentInfo, Texts{"help"});
    EXPECT_EQ(Read("DMS", 31).EntryCount(), 0);
}

TEST_F(CatalogueTest, MissingFilesGiveAnEmptyCatalogue) {
    TSettingsCatalogue c = Read(" none", 31);
    EXPECT_TRUE(c.slCurrentSections.empty());
    EXPECT_EQ(c.olCurrentBorders, std::vector<int>{0});
    EXPECT_EQ(c.EntryCount(), 0);
    EXPECT_TRUE(c.slHiddenCommands.empty());
}

TEST_F(CatalogueTest, ByteOrderMarksAndEightBitFiles) {
    // UTF-8 with BOM, and a Windows-1252 file without one: texts come out as UTF-8.
    Write("SettingsCommandsX.ini", "\xEF\xBB\xBF[S]\nAngle \xC2\xB0=$1\n");
    Write("InfoConfigurationX.ini", "[S]\n1=Angle in \xB0\n");
    TSettingsCatalogue c = Read("X", 0);
    EXPECT_EQ(c.slCurrentDescription, Texts{"Angle \xC2\xB0"});
    EXPECT_EQ(c.slCurrentInfo, Texts{"Angle in \xC2\xB0"});
}

TEST_F(CatalogueTest, LinesWithoutAnEqualsSignAreNoSettings) {
    Write("SettingsCommandsX.ini", "[S]\nA=$1\njust a note\nB=$2\n");
    TSettingsCatalogue c = Read("X", 0);
    EXPECT_EQ(c.slCurrentCommand, (Texts{"$1", "$2"}));
    EXPECT_EQ(c.olCurrentBorders, (std::vector<int>{0, 2}));
}

// A catalogue of 100,000 settings in as many sections (read in linear time, once quadratic in the
// number of sections) stays complete and in order.
TEST_F(CatalogueTest, LargeCatalogueIsReadWhole) {
    constexpr int kCount = 100000;
    std::string commands, display, info;
    for (int i = 0; i < kCount; ++i) {
        const std::string n = std::to_string(i);
        commands += "[Group " + n + "]\nSetting " + n + "=$" + n + "\n";
        info += "[Group " + n + "]\n1=Help " + n + "\n";
        if (i % 1000 == 0) display += "[setting " + n + "]\na=off\nb=on\n";
    }
    Write("SettingsCommands X.ini", commands);
    Write("DisplayValues X.ini", display);
    Write("InfoConfiguration X.ini", info);
    const TSettingsCatalogue c = Read(" X", 10);
    ASSERT_EQ(c.EntryCount(), kCount);
    ASSERT_EQ(c.slCurrentSections.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(c.slCurrentCommand[kCount - 1], "$" + std::to_string(kCount - 1));
    EXPECT_EQ(c.slCurrentInfo[54321], "Help 54321");
    EXPECT_EQ(c.olCurrentDisplay[3000], (Texts{"off", "on"}));
    EXPECT_TRUE(c.olCurrentDisplay[3001].empty());
    EXPECT_EQ(c.SectionOf(kCount - 1), kCount - 1);
    EXPECT_TRUE(c.Errors.empty());
}

TEST_F(CatalogueTest, FileAboveTheSizeLimitIsRefusedByName) {
    Write("SettingsCommands X.ini", "[Measurement]\nRange=$101\n");
    Write("InfoConfiguration X.ini", "[Measurement]\n1=Help\n");
    std::filesystem::resize_file(dir / "InfoConfiguration X.ini", kMaxIniFileSize + 1);
    const TSettingsCatalogue c = Read(" X", 10);
    EXPECT_EQ(c.slCurrentCommand, Texts{"$101"});
    EXPECT_EQ(c.slCurrentInfo, Texts{""});
    ASSERT_EQ(c.Errors.size(), 1u);
    EXPECT_NE(c.Errors[0].find("InfoConfiguration X.ini"), std::string::npos) << c.Errors[0];
}

TEST(SplitStringTest, SplitsAtEveryOccurrence) {
    struct Case {
        std::string text;
        Texts parts;
    };
    for (const Case& tc : {Case{"a=b", {"a", "b"}}, Case{"a=b=c", {"a", "b", "c"}}, Case{"abc", {"abc"}},
                           Case{"=", {"", ""}}, Case{"", {""}}}) {
        Texts parts{"stale"};
        SplitString(tc.text, "=", parts);
        EXPECT_EQ(parts, tc.parts) << tc.text;
    }
}

} // namespace
} // namespace mirota
