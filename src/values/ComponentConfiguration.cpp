#include "values/ComponentConfiguration.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

namespace mirota {

namespace {

// Until the shared INI reader is available, the file is read here, following the same rules:
// the byte-order mark decides the encoding (else Windows-1252), lines are trimmed, empty lines and
// ";" lines are skipped, section and key names match without regard to case, the first of two equal
// keys wins.

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t Cp1252(unsigned char b) {
    static constexpr char16_t high[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    if (b >= 0x80 && b < 0xA0) return high[b - 0x80];
    return b;
}

std::string ToUtf8(const std::string& raw) {
    auto u8 = [&](std::size_t i) { return static_cast<unsigned char>(raw[i]); };
    if (raw.size() >= 3 && u8(0) == 0xEF && u8(1) == 0xBB && u8(2) == 0xBF) return raw.substr(3);
    if (raw.size() >= 2 && ((u8(0) == 0xFF && u8(1) == 0xFE) || (u8(0) == 0xFE && u8(1) == 0xFF))) {
        const bool le = u8(0) == 0xFF;
        std::string out;
        for (std::size_t i = 2; i + 1 < raw.size(); i += 2) {
            char32_t c = le ? (u8(i) | (u8(i + 1) << 8)) : ((u8(i) << 8) | u8(i + 1));
            if (c >= 0xD800 && c < 0xDC00 && i + 3 < raw.size()) {
                char32_t lo = le ? (u8(i + 2) | (u8(i + 3) << 8)) : ((u8(i + 2) << 8) | u8(i + 3));
                if (lo >= 0xDC00 && lo < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                }
            }
            AppendUtf8(out, c);
        }
        return out;
    }
    std::string out;
    out.reserve(raw.size());
    for (unsigned char b : raw) AppendUtf8(out, Cp1252(b));
    return out;
}

std::string Trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return low(x) == low(y);
    });
}

} // namespace

std::array<std::string, 6> ReadComponentLabels(const std::filesystem::path& file, const std::string& deviceType) {
    std::array<std::string, 6> labels;
    labels.fill("false");
    std::array<bool, 6> found{};

    std::ifstream in(file, std::ios::binary);
    if (!in) return labels;
    const std::string text = ToUtf8(std::string(std::istreambuf_iterator<char>(in), {}));

    bool inSection = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            inSection = SameName(Trim(std::string_view(line).substr(1, line.size() - 2)), deviceType);
            continue;
        }
        if (!inSection) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Trim(std::string_view(line).substr(0, eq));
        for (std::size_t i = 0; i < labels.size(); ++i) {
            if (!found[i] && SameName(key, kComponentKeys[i])) {
                found[i] = true;
                labels[i] = Trim(std::string_view(line).substr(eq + 1));
            }
        }
    }
    return labels;
}

} // namespace mirota
