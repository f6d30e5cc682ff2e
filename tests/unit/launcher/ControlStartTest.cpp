// The parameters Ostrel is started with: one parameter per field, blanks included, on both platforms.
#include "PravikFakes.h"
#include "launcher/FrmMainStart.h"

#include <gtest/gtest.h>

namespace mirota::test {
namespace {

TEST(ControlStartTest, WindowsParameterLineSplitsBackIntoTheFourFields) {
    const ControlStartParameters cases[] = {
        {u"COM3", u"Mirota DMS", u"FT5X2KQ9", 123456},
        {u"COM12", u"Mirota  two  blanks ", u"FT01", 1},
        {u"Error", u"", u"", 0},
        {u"COM4", u"say \"hi\"", u"back\\slash\\", 42},
        {u"COM5", u"tab\there \\\"odd", u"A B", 4294967295u},
    };
    for (const ControlStartParameters& p : cases) {
        const std::u16string line = WindowsParameterLine(p);
        SCOPED_TRACE(ToUtf8(line));
        EXPECT_EQ(SplitWindowsParameterLine(line), ControlParameterList(p));
    }
    EXPECT_EQ(WindowsParameterLine({u"COM3", u"Mirota DMS", u"FT01", 77}), u"COM3 \"Mirota DMS\" FT01 77");
}

TEST(ControlStartTest, ControlProgramLiesBesideTheRunningProgram) {
    const std::string dir = ProgramDirectory();
    ASSERT_GT(dir.size(), 3u);
#ifdef _WIN32
    // A drive path ("Z:\...\") and the Windows program name.
    EXPECT_EQ(dir[1], ':');
    EXPECT_EQ(dir.back(), '\\');
    EXPECT_EQ(ControlProgramPath(), dir + "Ostrel.exe");
#else
    EXPECT_EQ(dir.front(), '/');
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(ControlProgramPath(), dir + "ostrel");
#endif
}

TEST(ControlStartTest, MissingProgramIsAFailedStart) {
#ifdef _WIN32
    PlatformControlStarter starter("C:\\nonexistent\\dir\\Ostrel.exe");
#else
    PlatformControlStarter starter("/nonexistent/dir/ostrel");
#endif
    EXPECT_FALSE(starter.StartControlProgram({PortName(0), u"Mirota DMS", u"FT01", 5}));
}

} // namespace
} // namespace mirota::test
