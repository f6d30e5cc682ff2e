#include "ini/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace mirota;

namespace {

std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

struct ReadCase {
    const char* name;
    std::string bytes;
    const char* section;
    const char* key;
    const char* expected;
};

class IniReadString : public testing::TestWithParam<ReadCase> {};

TEST_P(IniReadString, FindsTheValue) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(IniFile::Parse(c.bytes).ReadString(c.section, c.key, "<none>"), c.expected);
}

const std::string kGerman = "[POWER]\r\ninfo1=Spannung \xE4ndern \x80 \x93x\x94\r\n"; // cp1252 bytes

INSTANTIATE_TEST_SUITE_P(
    Rules, IniReadString,
    testing::Values(
        ReadCase{"plain", "[DEFAULT]\ncaption=Hello\n", "DEFAULT", "caption", "Hello"},
        ReadCase{"section_and_key_ignore_case", "[Default]\nCAPTION=Hello\n", "dEfAuLt", "Caption", "Hello"},
        ReadCase{"latin1_letters_ignore_case", "[\xC4RGER]\nk=v\n", "\xC3\xA4rger", "K", "v"},
        ReadCase{"first_duplicate_section_wins", "[A]\nk=1\n[a]\nk=2\n", "A", "k", "1"},
        ReadCase{"first_duplicate_key_wins", "[A]\nk=1\nK=2\n", "A", "k", "1"},
        ReadCase{"missing_section", "[A]\nk=1\n", "B", "k", "<none>"},
        ReadCase{"missing_key", "[A]\nk=1\n", "A", "x", "<none>"},
        ReadCase{"split_at_first_equals", "[A]\nk = a=b \n", "A", "k", "a=b"},
        ReadCase{"trims_controls_and_blanks", "\t[ A ]\x01\r\n \x1F k\t=\t v \x7F\x05 \r\n", "A", "k",
                 "v \x7F"},
        ReadCase{"comment_skipped", "[A]\n;k=1\nk=2\n", "A", "k", "2"},
        ReadCase{"indented_comment_skipped", "[A]\n   ;k=1\nk=2\n", "A", "k", "2"},
        ReadCase{"lines_before_first_section_skipped", "k=0\n[A]\nk=1\n", "A", "k", "1"},
        ReadCase{"empty_value", "[A]\nk=\n", "A", "k", ""},
        ReadCase{"cr_only_line_ends", "[A]\rk=1\r", "A", "k", "1"},
        ReadCase{"utf8_bom", "\xEF\xBB\xBF[A]\nk=\xC3\xA4\xE2\x82\xAC\n", "A", "k", "\xC3\xA4\xE2\x82\xAC"},
        ReadCase{"utf8_bom_not_part_of_first_line", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "1"},
        ReadCase{"utf16_le_bom", Utf16(u"[A]\r\nk=\u00e4\u20ac\U0001F600\r\n", false), "A", "k",
                 "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80"},
        ReadCase{"utf16_be_bom", Utf16(u"[A]\r\nk=\u00e4\u20ac\r\n", true), "A", "k", "\xC3\xA4\xE2\x82\xAC"},
        ReadCase{"cp1252_without_bom", kGerman, "power", "INFO1",
                 "Spannung \xC3\xA4ndern \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
        ReadCase{"utf8_without_bom_read_as_cp1252", "[A]\nk=\xC3\xA4\n", "A", "k", "\xC3\x83\xC2\xA4"},
        ReadCase{"empty_file", "", "A", "k", "<none>"}),
    [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST(IniFile, KeepsFileOrderAndDuplicateSections) {
    const IniFile ini = IniFile::Parse("[B]\nz=1\nplain line\ny = 2\n[]\n[A]\n[b]\nx=3\n");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"B", "", "A", "b"}));
    EXPECT_EQ(ini.SectionLines("b"), (std::vector<std::string>{"z=1", "plain line", "y=2"}));
    EXPECT_TRUE(ini.SectionLines("A").empty());
    EXPECT_TRUE(ini.SectionLines("missing").empty());
    EXPECT_TRUE(ini.HasSection("a"));
}

TEST(IniFile, BracketsMustEnclose) {
    // "[A" is an ordinary line of the section before; so is "A]".
    const IniFile ini = IniFile::Parse("[S]\n[A\nA]\n");
    EXPECT_EQ(ini.SectionNames(), std::vector<std::string>{"S"});
    EXPECT_EQ(ini.SectionLines("S"), (std::vector<std::string>{"[A", "A]"}));
}

TEST(IniFile, MalformedUtf8AfterBomDoesNotBreakLookup) {
    const IniFile ini = IniFile::Parse("\xEF\xBB\xBF[A]\nk=\xC3\nj=\xFF ok\n");
    EXPECT_EQ(ini.ReadString("A", "k"), "\xEF\xBF\xBD");
    EXPECT_EQ(ini.ReadString("A", "j"), "\xEF\xBF\xBD ok");
}

TEST(IniFile, MissingFileReadsEmpty) {
    const IniFile ini =
        IniFile::Load(std::filesystem::temp_directory_path() / "mirota-no-such-dir" / "x.ini");
    EXPECT_TRUE(ini.Sections().empty());
    EXPECT_EQ(ini.ReadString("A", "k", "d"), "d");
}

TEST(IniFile, LoadsFromDisk) {
    const auto path =
        std::filesystem::temp_directory_path() / ("mirota-ini-" + std::to_string(::getpid()) + ".ini");
    {
        std::ofstream out(path, std::ios::binary);
        out << kGerman;
    }
    EXPECT_EQ(IniFile::Load(path).ReadString("POWER", "info1").substr(0, 9), "Spannung ");
    std::filesystem::remove(path);
}

// Hostile and huge files: a file above the limit is refused unread with a message naming it and the
// limit; a long line and many sections are read whole. Files live in a temporary folder of the test.
class IniFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("mirota-ini-big-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path Write(const std::string& name, const std::string& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::filesystem::path dir_;
};

TEST_F(IniFileOnDisk, FileAboveTheLimitIsRefusedWithAMessage) {
    const std::string text = "[A]\nk=" + std::string(100, 'v') + "\n";
    const auto path = Write("limit.ini", text);
    const IniFile atLimit = IniFile::Load(path, text.size());
    EXPECT_EQ(atLimit.ReadString("A", "k"), std::string(100, 'v'));
    EXPECT_EQ(atLimit.Error(), "");

    const IniFile over = IniFile::Load(path, text.size() - 1);
    EXPECT_TRUE(over.Sections().empty());
    EXPECT_NE(over.Error().find(path.string()), std::string::npos) << over.Error();
    EXPECT_NE(over.Error().find(std::to_string(text.size() - 1) + " bytes"), std::string::npos)
        << over.Error();

    // A file of hundreds of MB (sparse, nothing is written) is refused without being read.
    const auto huge = dir_ / "huge.ini";
    std::ofstream(huge, std::ios::binary) << "[A]\nk=1\n";
    std::filesystem::resize_file(huge, 300u * 1024u * 1024u);
    const IniFile refused = IniFile::Load(huge);
    EXPECT_TRUE(refused.Sections().empty());
    EXPECT_NE(refused.Error().find("64 MB"), std::string::npos) << refused.Error();
}

TEST_F(IniFileOnDisk, LineOfManyMegabytesIsReadWhole) {
    const std::string value(8u * 1024u * 1024u, 'x');
    const IniFile ini = IniFile::Load(Write("line.ini", "[A]\nk=" + value + "\r\nj=2\n"));
    EXPECT_EQ(ini.ReadString("A", "k"), value);
    EXPECT_EQ(ini.ReadString("A", "j"), "2");
}

TEST(IniFile, LooksUpEveryOneOfManySectionsByFoldedName) {
    std::string text;
    for (int i = 0; i < 100000; ++i)
        text += "[Sect\xC4" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    text += "[sect\xE4"
            "5]\nk=duplicate\n";
    const IniFile ini = IniFile::Parse(text);
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(ini.ReadString("SECT\xC3\xA4" + std::to_string(i), "K"), std::to_string(i));
    EXPECT_EQ(ini.ReadString("sect\xC3\x84"
                             "5",
                             "k"),
              "5"); // the first of two equal names wins
    EXPECT_FALSE(ini.HasSection("Sect"));
}

TEST(SplitString, SplitsAtEverySeparator) {
    EXPECT_EQ(SplitString("a=b=c", "="), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SplitString("abc", "="), std::vector<std::string>{"abc"});
    EXPECT_EQ(SplitString("=x=", "="), (std::vector<std::string>{"", "x", ""}));
    EXPECT_EQ(ValueOfLine("a=b=c"), "b=c");
    EXPECT_EQ(ValueOfLine("abc"), "abc");
    EXPECT_EQ(NameOfLine("a=b"), "a");
}

} // namespace
