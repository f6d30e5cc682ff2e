// Reads the version marker that every program file of this build carries (see FileVersion.h).
#include "platform/posix/fileinfo/MarkerFileVersion.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

namespace mirota {

namespace {

// Built from two pieces, so that this file's own copy of the prefix is not followed by a version.
std::string MarkerPrefix() {
    return std::string("@(#)MIROTA-FILE-") + "VERSION ";
}

// Reads four numbers "a.b.c.d" ending in NUL at pos; none when the text there is no version.
std::optional<FileVersion> ParseVersion(std::string_view text) {
    std::uint32_t numbers[4] = {};
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        const std::size_t start = pos;
        std::uint32_t value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 6) {
            value = value * 10 + static_cast<std::uint32_t>(text[pos] - '0');
            ++pos;
        }
        if (pos == start || value > 0xFFFF) return std::nullopt;
        numbers[part] = value;
    }
    if (pos >= text.size() || text[pos] != '\0') return std::nullopt;
    return FileVersion{static_cast<std::uint16_t>(numbers[0]), static_cast<std::uint16_t>(numbers[1]),
                       static_cast<std::uint16_t>(numbers[2]), static_cast<std::uint16_t>(numbers[3])};
}

} // namespace

bool ReadFileVersion(const std::string& path, FileVersion& version) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    const std::string prefix = MarkerPrefix();
    constexpr std::size_t kChunk = 1 << 20;
    constexpr std::size_t kTail = 64; // longest prefix plus version that can straddle two chunks
    std::string window;
    std::vector<char> chunk(kChunk);
    while (file) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(file.gcount());
        if (got == 0) break;
        window.append(chunk.data(), got);
        const bool last = !file;
        std::size_t from = 0;
        for (;;) {
            const std::size_t hit = window.find(prefix, from);
            if (hit == std::string::npos) break;
            const std::string_view rest = std::string_view(window).substr(hit + prefix.size(), kTail);
            if (!last && rest.size() < kTail && window.size() - hit < prefix.size() + kTail)
                break; // may continue in the next chunk
            if (auto parsed = ParseVersion(rest)) {
                version = *parsed;
                return true;
            }
            from = hit + 1;
        }
        if (window.size() > prefix.size() + kTail) window.erase(0, window.size() - (prefix.size() + kTail));
    }
    return false;
}

} // namespace mirota
