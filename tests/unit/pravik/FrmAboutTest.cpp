// The about box's texts, and the version marker that the programs carry and read from each other.
#include "launcher/FrmAbout.h"
#include "launcher/FrmMainStart.h"
#include "messages/FileVersion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include <unistd.h>

namespace mirota::test {
namespace {

class FakeVersions : public FileVersionSource {
public:
    bool FileExists(const std::string& path) const override { return files.count(path) != 0; }
    bool GetFileVersion(const std::string& path, TFileVersionNumbers& version) const override
    {
        auto it = files.find(path);
        if (it == files.end() || !it->second)
            return false;
        version = *it->second;
        return true;
    }
    std::map<std::string, std::optional<TFileVersionNumbers>> files;
};

class FakeAboutView : public FrmAboutView {
public:
    void SetPravikVersion(const std::string& text) override { pravik = text; }
    void SetOstrelVersion(const std::string& text) override { ostrel = text; }
    std::string pravik = "-", ostrel = "-";
};

TEST(FrmAboutTest, ShowsBothVersionsOrSaysWhatIsMissing)
{
    struct Case {
        const char* name;
        std::optional<TFileVersionNumbers> launcher;
        bool ostrelPresent;
        std::optional<TFileVersionNumbers> ostrel;
        std::string expPravik, expOstrel;
    } cases[] = {
        {"both versioned", TFileVersionNumbers{2, 1, 0, 7}, true, TFileVersionNumbers{1, 0, 3, 12}, "2.1.0.7", "1.0.3.12"},
        {"large numbers", TFileVersionNumbers{65535, 10, 100, 0}, true, TFileVersionNumbers{0, 0, 0, 1}, "65535.10.100.0", "0.0.0.1"},
        {"launcher without version", std::nullopt, true, TFileVersionNumbers{2, 1, 0, 7}, "0.0.0.0", "2.1.0.7"},
        {"Ostrel missing", TFileVersionNumbers{2, 1, 0, 7}, false, std::nullopt, "2.1.0.7", "missing"},
        {"Ostrel without version", TFileVersionNumbers{2, 1, 0, 7}, true, std::nullopt, "2.1.0.7", "no version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeVersions versions;
        versions.files["/opt/m/pravik"] = c.launcher;
        if (c.ostrelPresent)
            versions.files["/opt/m/ostrel"] = c.ostrel;
        FakeAboutView view;
        TfrmAboutFrame about(view, versions, "/opt/m/pravik", "/opt/m/ostrel");
        about.FormShow();
        EXPECT_EQ(view.pravik, c.expPravik);
        EXPECT_EQ(view.ostrel, c.expOstrel);
    }
}

class FileVersionTest : public ::testing::Test {
protected:
    std::string Write(const std::string& content)
    {
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    void TearDown() override { std::filesystem::remove(path); }
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("pravik-version-" + std::to_string(::getpid()) + ".bin");
};

TEST_F(FileVersionTest, ThisProgramCarriesTheBuildsVersion)
{
    FileVersion version;
    ASSERT_TRUE(ReadFileVersion(ProgramDirectory() + MIROTA_TEST_PROGRAM_NAME, version));
    EXPECT_EQ(version, BuiltFileVersion());
    EXPECT_EQ(version, (FileVersion{2, 1, 0, 7}));
}

TEST_F(FileVersionTest, FindsTheFirstWellFormedMarker)
{
    const std::string prefix = std::string("@(#)MIROTA-FILE-") + "VERSION ";
    const std::string zero(1, '\0');
    struct Case {
        const char* name;
        std::string content;
        std::optional<FileVersion> expected;
    } cases[] = {
        {"plain", "junk" + prefix + "2.1.0.7" + zero + "tail", FileVersion{2, 1, 0, 7}},
        {"prefix without version, then a marker", prefix + zero + prefix + "1.x" + zero + prefix + "3.4.5.6" + zero,
         FileVersion{3, 4, 5, 6}},
        {"number too large", prefix + "65536.0.0.0" + zero, std::nullopt},
        {"three numbers", prefix + "1.2.3" + zero, std::nullopt},
        {"not ended", prefix + "1.2.3.4x", std::nullopt},
        {"no marker", "nothing here", std::nullopt},
        {"empty", "", std::nullopt},
        // The marker straddles the reader's 1 MiB chunks.
        {"across chunks", std::string((1 << 20) - 10, 'x') + prefix + "9.8.7.6" + zero, FileVersion{9, 8, 7, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileVersion version{1, 1, 1, 1};
        const bool found = ReadFileVersion(Write(c.content), version);
        EXPECT_EQ(found, c.expected.has_value());
        EXPECT_EQ(version, c.expected.value_or(FileVersion{1, 1, 1, 1}));
    }
    FileVersion version;
    EXPECT_FALSE(ReadFileVersion("/nonexistent/ostrel", version));
}

} // namespace
} // namespace mirota::test
