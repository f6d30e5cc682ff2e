// The version marker that the programs carry and read from each other's files (Linux).
#include "platform/posix/fileinfo/MarkerFileVersion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include <unistd.h>

namespace mirota::test {
namespace {

class FileVersionTest : public ::testing::Test {
protected:
    std::string Write(const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    void TearDown() override { std::filesystem::remove(path); }
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("pravik-version-" + std::to_string(::getpid()) + ".bin");
};

TEST_F(FileVersionTest, ThisProgramCarriesTheBuildsVersion) {
    FileVersion version;
    ASSERT_TRUE(ReadFileVersion("/proc/self/exe", version));
    EXPECT_EQ(version, BuiltFileVersion());
    EXPECT_EQ(version, (FileVersion{2, 1, 0, 7}));
}

TEST_F(FileVersionTest, FindsTheFirstWellFormedMarker) {
    const std::string prefix = std::string("@(#)MIROTA-FILE-") + "VERSION ";
    const std::string zero(1, '\0');
    struct Case {
        const char* name;
        std::string content;
        std::optional<FileVersion> expected;
    } cases[] = {
        {"plain", "junk" + prefix + "2.1.0.7" + zero + "tail", FileVersion{2, 1, 0, 7}},
        {"prefix without version, then a marker",
         prefix + zero + prefix + "1.x" + zero + prefix + "3.4.5.6" + zero, FileVersion{3, 4, 5, 6}},
        {"number too large", prefix + "65536.0.0.0" + zero, std::nullopt},
        {"three numbers", prefix + "1.2.3" + zero, std::nullopt},
        {"not ended", prefix + "1.2.3.4x", std::nullopt},
        {"no marker", "nothing here", std::nullopt},
        {"empty", "", std::nullopt},
        // The marker straddles the reader's 1 MiB chunks.
        {"across chunks", std::string((1 << 20) - 10, 'x') + prefix + "9.8.7.6" + zero,
         FileVersion{9, 8, 7, 6}},
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
