// The INI reader on arbitrary bytes, with and without byte-order marks: every name, line and value it
// hands out is valid UTF-8 and every lookup of what it listed finds it.
#include "ini/IniFile.h"

#include <cstdlib>
#include <string>

using namespace mirota;

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}

bool ValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80             ? 0
                          : (c & 0xE0) == 0xC0 ? 1
                          : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3
                                               : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kBoms[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
    std::string bytes;
    if (size > 0) {
        bytes = kBoms[data[0] % 4];
        bytes.append(reinterpret_cast<const char*>(data) + 1, size - 1);
    }
    const IniFile ini = IniFile::Parse(bytes);
    for (const IniSection& section : ini.Sections()) {
        Check(ValidUtf8(section.Name));
        Check(ini.HasSection(section.Name));
        for (const std::string& line : section.Lines) {
            Check(ValidUtf8(line));
            Check(!line.empty());
            (void)ini.ReadString(section.Name, NameOfLine(line));
            (void)SplitString(line, "=");
        }
    }
    return 0;
}
