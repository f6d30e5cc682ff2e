// The command-line tools as a user runs them: a fake tree written by mirota-fake-sysfs, listed by
// mirota-ftdi-list.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    const int st = ::pclose(p);
    if (status) *status = st;
    return out;
}

TEST(FtdiListTool, ListsTheAdaptersOfAFakeTree) {
    const fs::path dir = fs::temp_directory_path() / ("mirota-ftdi-list-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "dev");
    std::ofstream(dir / "dev" / "ttyUSB3").put('\n');

    int status = -1;
    RunCommand(std::string(FAKE_SYSFS) + " " + (dir / "sys").string() +
                   " --adapter FT01 'Mirota MX 4' ttyUSB3 --adapter FT02 'Mirota DR 2' ttyUSB4 --adapter "
                   "FT03 Bare -",
               &status);
    ASSERT_EQ(status, 0);

    const std::string out = RunCommand(std::string(FTDI_LIST) + " --sysfs " + (dir / "sys").string() +
                                           " --dev " + (dir / "dev").string(),
                                       &status);
    EXPECT_EQ(status, 0);
    const std::string d = (dir / "dev").string();
    EXPECT_EQ(out, "Serial No  Device Description  Port     Device file\n"
                   "FT01       Mirota MX 4         ttyUSB3  " +
                       d +
                       "/ttyUSB3\n"
                       "FT02       Mirota DR 2         ttyUSB4  " +
                       d +
                       "/ttyUSB4 (missing)\n"
                       "FT03       Bare                -        -\n"
                       "3 FTDI adapters found.\n");

    EXPECT_EQ(RunCommand(std::string(FTDI_LIST) + " --sysfs " + (dir / "none").string()),
              "No FTDI adapters found.\n");
    RunCommand(std::string(FTDI_LIST) + " --bogus 2>/dev/null", &status);
    EXPECT_NE(status, 0);
    fs::remove_all(dir);
}

} // namespace
