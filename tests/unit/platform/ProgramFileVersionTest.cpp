// The about box's file status and version of a program file, from real files (Linux).
#include "launcher/FrmAbout.h"
#include "messages/FileVersion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace mirota::test {
namespace {

TEST(ProgramFileVersionTest, RegularFilesOnlyAndTheVersionTheyCarry) {
    const std::filesystem::path plain =
        std::filesystem::temp_directory_path() / ("pravik-plain-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(plain, std::ios::binary) << "no version in here";
    const FileVersion built = BuiltFileVersion();
    struct Case {
        const char* name;
        std::string path;
        bool exists;
        bool versioned;
    } cases[] = {
        {"this program", "/proc/self/exe", true, true},
        {"file without marker", plain.string(), true, false},
        {"directory", std::filesystem::temp_directory_path().string(), false, false},
        {"missing", "/nonexistent/ostrel", false, false},
    };
    const ProgramFileVersionSource source;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(source.FileExists(c.path), c.exists);
        TFileVersionNumbers version{9, 9, 9, 9};
        EXPECT_EQ(source.GetFileVersion(c.path, version), c.versioned);
        if (c.versioned)
            EXPECT_EQ(VersionText(version),
                      VersionText({built.Major, built.Minor, built.Release, built.Build}));
        else
            EXPECT_EQ(VersionText(version), "9.9.9.9");
    }
    std::filesystem::remove(plain);
}

} // namespace
} // namespace mirota::test
