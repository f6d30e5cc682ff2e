// The UTF-8 encoder at the edges of each sequence length.
#include "text/Utf8.h"

#include <gtest/gtest.h>

using namespace mirota;

namespace {

TEST(Utf8, EachLengthUpToItsLastCodePoint) {
    const struct {
        char32_t cp;
        std::string bytes;
    } cases[] = {
        {U'\0', std::string(1, '\0')},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0x20AC, "\xE2\x82\xAC"},
        {0xFFFD, "\xEF\xBF\xBD"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) {
        std::string out = "a";
        AppendUtf8(out, c.cp);
        EXPECT_EQ(out, "a" + c.bytes) << std::hex << static_cast<std::uint32_t>(c.cp);
    }
}

} // namespace
