// Configuration files: the document written, what loading reads back, and what it refuses.
#include "settings/ConfigurationFile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace mirota {
namespace {

using Texts = std::vector<std::string>;

ConfigurationSnapshot FiveRowsInTwoGroups() {
    ConfigurationSnapshot s;
    s.VType = " DMS";
    s.RowGroups = {0, 0, 1, 1, 1};
    s.RowValues = {"250", "100 Hz", "Off", "a<b & \"c\"", ""};
    s.HiddenValues = {"1.0042", "0.9987"};
    return s;
}

TEST(ConfigurationFileTest, FiveRowsInTwoGroupsGiveTheExactDocument) {
    EXPECT_EQ(BuildConfigurationDocument(FiveRowsInTwoGroups()),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<conf vtype=\" DMS\">\n"
              "  <G0>\n"
              "    <V0>250</V0>\n"
              "    <V1>100 Hz</V1>\n"
              "  </G0>\n"
              "  <G1>\n"
              "    <V2>Off</V2>\n"
              "    <V3>a&lt;b &amp; \"c\"</V3>\n"
              "    <V4></V4>\n"
              "  </G1>\n"
              "  <H>\n"
              "    <V0>1.0042</V0>\n"
              "    <V1>0.9987</V1>\n"
              "  </H>\n"
              "</conf>\n");
}

TEST(ConfigurationFileTest, GroupElementsFollowTheRows) {
    struct Case {
        std::vector<int> groups;
        Texts elements; // group element names in order
    };
    for (const Case& tc :
         {Case{{}, {"G0"}}, Case{{2, 2}, {"G0", "G2"}}, Case{{0, 1, 0}, {"G0", "G1", "G0"}}}) {
        ConfigurationSnapshot s;
        s.VType = "X";
        s.RowGroups = tc.groups;
        s.RowValues.assign(tc.groups.size(), "v");
        const std::string doc = BuildConfigurationDocument(s);
        Texts found;
        std::istringstream in(doc);
        for (std::string line; std::getline(in, line);) {
            auto p = line.find("<G");
            if (p != std::string::npos)
                found.push_back(line.substr(p + 1, line.find_first_of(">/", p) - p - 1));
        }
        EXPECT_EQ(found, tc.elements) << doc;
        EXPECT_NE(doc.find("<H/>"), std::string::npos) << doc;
    }
}

TEST(ConfigurationFileTest, WhatIsSavedLoadsBackAndXmllintAcceptsIt) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("settings-conf-roundtrip-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string name = ConfigurationFileName((dir / "Mirota DMS_SN42_1234").string());
    EXPECT_EQ(name, (dir / "Mirota DMS_SN42_1234.xml").string());
    std::string error;
    ASSERT_TRUE(WriteConfigurationFile(name, FiveRowsInTwoGroups(), error)) << error;

    LoadedConfiguration loaded = ReadConfigurationFile(name);
    ASSERT_EQ(loaded.Status, LoadedConfiguration::Result::Loaded) << loaded.Error;
    EXPECT_EQ(loaded.VType, " DMS");
    EXPECT_EQ(loaded.RowValues, FiveRowsInTwoGroups().RowValues);
    EXPECT_EQ(loaded.HiddenValues, FiveRowsInTwoGroups().HiddenValues);

    if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
        const std::string cmd = "xmllint --noout '" + name + "' 2>/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    std::filesystem::remove_all(dir);
}

TEST(ConfigurationFileTest, SavingAddsTheExtensionOnlyWhenMissing) {
    struct Case {
        const char* given;
        const char* written;
    };
    for (const Case& tc :
         {Case{"a", "a.xml"}, Case{"a.xml", "a.xml"}, Case{"a.XmL", "a.XmL"}, Case{"a.xm", "a.xm.xml"},
          Case{"xml", "xml.xml"}, Case{".xml", ".xml"}, Case{"a.xml.bak", "a.xml.bak.xml"}})
        EXPECT_EQ(ConfigurationFileName(tc.given), tc.written);
}

TEST(ConfigurationFileTest, OnlyOrderAndTextOfTheGrandchildrenCount) {
    // Other group and value names, values spread over other groups, white space between elements,
    // "H" anywhere among the children.
    LoadedConfiguration loaded =
        ParseConfigurationDocument("<conf vtype=\"X\">\n"
                                   "  <whatever><a>1</a></whatever>\n"
                                   "  <H><x>h0</x></H>\n"
                                   "  <G7><V9>2</V9><V0>  3 </V0></G7>\n"
                                   "  <G0/>\n"
                                   "  <H><V0>h1</V0></H>\n"
                                   "  <G1>stray text<!-- note --><V5><b>4</b></V5></G1>\n"
                                   "</conf>");
    ASSERT_EQ(loaded.Status, LoadedConfiguration::Result::Loaded) << loaded.Error;
    EXPECT_EQ(loaded.RowValues, (Texts{"1", "2", "  3 ", "4"}));
    EXPECT_EQ(loaded.HiddenValues, (Texts{"h0", "h1"}));
}

TEST(ConfigurationFileTest, TypeIsTakenExactlyAndAMissingTypeIsIgnored) {
    LoadedConfiguration lower = ParseConfigurationDocument("<conf vtype=\" dms\"><G0><V0>1</V0></G0></conf>");
    ASSERT_EQ(lower.Status, LoadedConfiguration::Result::Loaded);
    EXPECT_EQ(lower.VType, " dms");
    EXPECT_EQ(ParseConfigurationDocument("<conf><G0><V0>1</V0></G0></conf>").Status,
              LoadedConfiguration::Result::NoType);
}

std::string Nested(int depth) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<G>";
        close += "</G>";
    }
    return open + close;
}

std::string Repeated(const std::string& part, int count) {
    std::string text;
    text.reserve(part.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        text += part;
    return text;
}

TEST(ConfigurationFileTest, HostileOrBrokenFilesAreRefusedWithAMessage) {
    struct Case {
        const char* what;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"not well-formed", "<conf vtype=\"X\"><G0><V0>1</G0></conf>"},
        {"empty", ""},
        {"not XML", "vtype=X"},
        {"entity expansion", "<?xml version=\"1.0\"?><!DOCTYPE conf [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
                             "\"&a;&a;&a;&a;&a;&a;&a;&a;\">]><conf vtype=\"X\"><G0><V0>&b;</V0></G0></conf>"},
        {"external entity",
         "<?xml version=\"1.0\"?><!DOCTYPE conf [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
         "<conf vtype=\"X\"><G0><V0>&x;</V0></G0></conf>"},
        {"external DTD", "<?xml version=\"1.0\"?><!DOCTYPE conf SYSTEM \"http://example.invalid/c.dtd\">"
                         "<conf vtype=\"X\"/>"},
        {"undeclared entity", "<conf vtype=\"X\"><G0><V0>&x;</V0></G0></conf>"},
        {"too large",
         "<conf vtype=\"X\"><G0><V0>" + std::string(kMaxConfigurationFileSize, 'a') + "</V0></G0></conf>"},
        {"five levels", "<conf vtype=\"X\"><G0><V0><x><y>1</y></x></V0></G0></conf>"},
        {"nested 100000 deep", "<conf vtype=\"X\">" + Nested(100000) + "</conf>"},
        {"two million values", "<conf vtype=\"X\"><G0>" + Repeated("<V>1</V>", 2000000) + "</G0></conf>"},
    };
    for (const Case& tc : cases) {
        LoadedConfiguration loaded = ParseConfigurationDocument(tc.text);
        EXPECT_EQ(loaded.Status, LoadedConfiguration::Result::Failed) << tc.what;
        EXPECT_FALSE(loaded.Error.empty()) << tc.what;
        EXPECT_TRUE(loaded.RowValues.empty() && loaded.HiddenValues.empty()) << tc.what;
    }
    LoadedConfiguration missing = ReadConfigurationFile("/nonexistent/dir/conf.xml");
    EXPECT_EQ(missing.Status, LoadedConfiguration::Result::Failed);
    EXPECT_NE(missing.Error.find("could not be read"), std::string::npos);
}

TEST(ConfigurationFileTest, FilesAboveTheLimitAreRefusedByNameAndLimitUnread) {
    const auto path =
        std::filesystem::temp_directory_path() / ("mirota-conf-huge-" + std::to_string(::getpid()) + ".xml");
    {
        std::ofstream out(path, std::ios::binary);
        out << "<conf vtype=\"X\"><G0><V0>";
    }
    std::filesystem::resize_file(path, 100u * 1024u * 1024u); // a 100 MB text node, sparse
    const LoadedConfiguration loaded = ReadConfigurationFile(path.string());
    std::filesystem::remove(path);
    EXPECT_EQ(loaded.Status, LoadedConfiguration::Result::Failed);
    EXPECT_NE(loaded.Error.find(path.string()), std::string::npos) << loaded.Error;
    EXPECT_NE(loaded.Error.find("16 MB"), std::string::npos) << loaded.Error;
}

TEST(ConfigurationFileTest, ConfigurationOfALargeCatalogueLoads) {
    std::string text = "<conf vtype=\"X\">";
    for (int g = 0; g < 1000; ++g)
        text +=
            "<G" + std::to_string(g) + ">" + Repeated("<V>1.5</V>", 200) + "</G" + std::to_string(g) + ">";
    text += "<H>" + Repeated("<V>h</V>", 100) + "</H></conf>";
    const LoadedConfiguration loaded = ParseConfigurationDocument(text);
    ASSERT_EQ(loaded.Status, LoadedConfiguration::Result::Loaded) << loaded.Error;
    EXPECT_EQ(loaded.RowValues.size(), 200000u);
    EXPECT_EQ(loaded.HiddenValues.size(), 100u);
}

TEST(ConfigurationFileTest, DepthOfThreeIsAccepted) {
    const LoadedConfiguration loaded =
        ParseConfigurationDocument("<conf vtype=\"X\"><G0><V0>1</V0></G0><H/></conf>");
    EXPECT_EQ(loaded.Status, LoadedConfiguration::Result::Loaded);
    EXPECT_EQ(loaded.RowValues, std::vector<std::string>{"1"});
}

} // namespace
} // namespace mirota
