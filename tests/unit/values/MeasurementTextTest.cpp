// The decimal-number grammar of measurement packets and the component configuration file.
#include "values/MeasurementText.h"
#include "values/ComponentConfiguration.h"
#include "values/FrmValues.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>

namespace mirota {
namespace {

TEST(ReadDecimalNumber, AcceptsTheDevicesNumbers) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"-0.5", -0.5}, {"12.3456", 12.3456}, {"+3", 3},         {"  7.25  ", 7.25}, {"12.", 12},
        {".5", 0.5},    {"1E3", 1000},        {"2.5e-2", 0.025}, {"-1e+2", -100},    {"0", 0},
    };
    std::setlocale(LC_ALL, "de_DE.UTF-8"); // a comma locale must change nothing
    for (const Case& c : cases) {
        const auto v = ReadDecimalNumber(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
    }
    std::setlocale(LC_ALL, "C");
}

TEST(ReadDecimalNumber, RefusesEverythingElse) {
    for (const char* text : {"", " ", "12,5", "1.2.3", ".", "-", "+-1", "1e", "1e+", "e5", "abc", "1x", "\t1",
                             "1 2", "inf", "nan", "0x10", "1e999", "--1"})
        EXPECT_FALSE(ReadDecimalNumber(text).has_value()) << '"' << text << '"';
}

TEST(DeviceTypeOf, RemovesEveryMirotaInAnyCaseAndNothingElse) {
    EXPECT_EQ(DeviceTypeOf("Mirota DMS"), " DMS");
    EXPECT_EQ(DeviceTypeOf("MIROTA Torque mirota"), " Torque ");
    EXPECT_EQ(DeviceTypeOf("DMS"), "DMS");
    EXPECT_EQ(DeviceTypeOf("MiRoTaX"), "X");
}

class ComponentConfigurationTest : public ::testing::Test {
protected:
    std::filesystem::path Write(const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    void TearDown() override { std::filesystem::remove(path); }
    std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("values_cc_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".ini");
};

TEST_F(ComponentConfigurationTest, LabelsFalseRuleAndMissingKeys) {
    Write("; values per device type\r\n"
          "[Other]\r\nadspTorque1=Wrong\r\n"
          "  [ dms ]  \r\n"
          "ADSPTORQUE1 = \r\n" // empty label: shown
          "adspTorque2=Torque B\r\n"
          "adspTorque2=second wins not\r\n"
          "adspAngle=false\r\n"  // hidden
          "adspSpeed1=False\r\n" // shown under "False"
          "adspSpeed2 = rpm = fast\r\n");
    const auto labels = ReadComponentLabels(path, "DMS");
    EXPECT_EQ(labels[0], "");
    EXPECT_EQ(labels[1], "Torque B");
    EXPECT_EQ(labels[2], "False");
    EXPECT_EQ(labels[3], "rpm = fast");
    EXPECT_EQ(labels[4], "false");
    EXPECT_EQ(labels[5], "false"); // missing key
    EXPECT_TRUE(ComponentShown(labels[0]));
    EXPECT_TRUE(ComponentShown(labels[2]));
    EXPECT_FALSE(ComponentShown(labels[4]));
}

TEST_F(ComponentConfigurationTest, TypeWithBlanksFindsItsTrimmedSection) {
    // "Mirota DMS" gives the type " DMS"; section names are always trimmed, so the lookup is too.
    Write("[ DMS]\nadspTorque1=T\n[TMS]\nadspAngle=A\n");
    EXPECT_EQ(ReadComponentLabels(path, " DMS")[0], "T");
    EXPECT_EQ(ReadComponentLabels(path, "DMS")[0], "T");
    EXPECT_EQ(ReadComponentLabels(path, " TMS ")[4], "A");
    EXPECT_EQ(ReadComponentLabels(path, " TM S")[4], "false");
}

TEST_F(ComponentConfigurationTest, EncodingFromTheByteOrderMark) {
    Write("[DMS]\nadspTorque1=Drehmoment \xb5Nm\n"); // Windows-1252 without a mark
    EXPECT_EQ(ReadComponentLabels(path, "DMS")[0], "Drehmoment \xc2\xb5Nm");
    Write("\xef\xbb\xbf[DMS]\nadspTorque1=\xc2\xb5Nm\n");
    EXPECT_EQ(ReadComponentLabels(path, "DMS")[0], "\xc2\xb5Nm");
    const std::string utf16 =
        std::string("\xff\xfe[\0D\0M\0S\0]\0\n\0a\0d\0s\0p\0A\0n\0g\0l\0e\0=\0\xb0\0", 36);
    Write(utf16);
    EXPECT_EQ(ReadComponentLabels(path, "DMS")[4], "\xc2\xb0");
}

TEST(ComponentConfiguration, MissingFileHidesEverything) {
    const auto labels = ReadComponentLabels("/nonexistent/ComponentConfiguration.ini", " DMS");
    for (const auto& l : labels)
        EXPECT_EQ(l, "false");
}

} // namespace
} // namespace mirota
