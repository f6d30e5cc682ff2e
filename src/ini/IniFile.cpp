#include "ini/IniFile.h"

#include "text/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>

namespace mirota {

namespace {

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2; // a dangling odd byte is dropped
    auto unit = [&](std::size_t i) -> std::uint32_t {
        const auto b0 = static_cast<unsigned char>(bytes[2 * i]);
        const auto b1 = static_cast<unsigned char>(bytes[2 * i + 1]);
        return bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    };
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD; // unpaired surrogate
        AppendUtf8(out, u);
    }
    return out;
}

// Validates UTF-8; malformed sequences become U+FFFD so that later steps always see valid text.
std::string CleanUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const int extra = c < 0x80             ? 0
                          : (c & 0xE0) == 0xC0 ? 1
                          : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3
                                               : -1;
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < bytes.size();
        for (int k = 1; ok && k <= extra; ++k)
            ok = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        if (ok && extra == 1) ok = c >= 0xC2;
        if (!ok) {
            AppendUtf8(out, 0xFFFD);
            ++i;
            continue;
        }
        out.append(bytes.substr(i, extra + 1));
        i += extra + 1;
    }
    return out;
}

// Decodes one UTF-8 code point starting at i (valid UTF-8 assumed).
std::uint32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const auto c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
    std::uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    ++i;
    for (int k = 0; k < extra && i < s.size(); ++k, ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return cp;
}

std::uint32_t FoldCase(std::uint32_t cp) {
    if (cp >= 'A' && cp <= 'Z') return cp + 32;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
    return cp;
}

// The name with every letter folded as SameTextIgnoringCase folds it: equal keys for exactly the
// names that compare equal.
std::string FoldedKey(std::string_view s) {
    std::string key;
    key.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size())
        AppendUtf8(key, FoldCase(NextCodePoint(s, i)));
    return key;
}

std::string DecodeFile(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return CleanUtf8(bytes.substr(3));
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return Utf16ToUtf8(bytes.substr(2), false);
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") return Utf16ToUtf8(bytes.substr(2), true);
    return Cp1252ToUtf8(bytes);
}

} // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
    // 0x80 to 0x9F; the five undefined positions keep their own code, as the system's converter does.
    static const std::uint16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c <= 0x9F)
            AppendUtf8(out, high[c - 0x80]);
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::string_view TrimControl(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCase(NextCodePoint(a, i)) != FoldCase(NextCodePoint(b, j))) return false;
    }
    return i == a.size() && j == b.size();
}

IniFile IniFile::Load(const std::filesystem::path& path, std::uintmax_t maxSize) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    auto tooLarge = [&] {
        IniFile refused;
        const bool mb = maxSize % (1024 * 1024) == 0;
        refused.error_ =
            "The file " + path.string() + " is larger than " +
            (mb ? std::to_string(maxSize / (1024 * 1024)) + " MB" : std::to_string(maxSize) + " bytes") +
            " and was not read.";
        return refused;
    };
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > maxSize) return tooLarge();
    // Read at most one byte past the limit, whatever size the file claimed.
    std::string bytes;
    bytes.resize(
        static_cast<std::size_t>(std::min<std::uintmax_t>(ec ? maxSize + 1 : size + 1, maxSize + 1)));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > maxSize) return tooLarge();
    if (!in.eof()) {
        // The file grew while read: take the rest up to the limit.
        char chunk[65536];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
            bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
            if (bytes.size() > maxSize) return tooLarge();
        }
    }
    return Parse(bytes);
}

IniFile IniFile::Parse(std::string_view bytes) {
    const std::string text = DecodeFile(bytes);
    IniFile ini;
    IniSection* current = nullptr;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string_view line = TrimControl(std::string_view(text).substr(pos, end - pos));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        pos = end + 1;

        if (line.empty() || line.front() == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            ini.sections_.push_back({std::string(TrimControl(line.substr(1, line.size() - 2))), {}});
            current = &ini.sections_.back();
            ini.index_.emplace(FoldedKey(current->Name), ini.sections_.size() - 1);
            continue;
        }
        if (!current) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            current->Lines.emplace_back(line);
        } else {
            std::string stored(TrimControl(line.substr(0, eq)));
            stored += '=';
            stored += TrimControl(line.substr(eq + 1));
            current->Lines.push_back(std::move(stored));
        }
    }
    return ini;
}

std::vector<std::string> IniFile::SectionNames() const {
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (const auto& s : sections_)
        names.push_back(s.Name);
    return names;
}

const IniSection* IniFile::Find(std::string_view section) const {
    const auto it = index_.find(FoldedKey(section));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

bool IniFile::HasSection(std::string_view section) const {
    return Find(section) != nullptr;
}

const std::vector<std::string>& IniFile::SectionLines(std::string_view section) const {
    static const std::vector<std::string> none;
    const IniSection* s = Find(section);
    return s ? s->Lines : none;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    if (const IniSection* s = Find(section)) {
        for (const auto& line : s->Lines) {
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos && SameTextIgnoringCase(std::string_view(line).substr(0, eq), key))
                return line.substr(eq + 1);
        }
    }
    return std::string(fallback);
}

std::vector<std::string> SplitString(std::string_view text, std::string_view separator) {
    std::vector<std::string> parts;
    if (separator.empty()) {
        parts.emplace_back(text);
        return parts;
    }
    std::size_t pos = 0;
    for (;;) {
        const std::size_t at = text.find(separator, pos);
        if (at == std::string_view::npos) {
            parts.emplace_back(text.substr(pos));
            return parts;
        }
        parts.emplace_back(text.substr(pos, at - pos));
        pos = at + separator.size();
    }
}

std::string ValueOfLine(std::string_view line) {
    const std::size_t eq = line.find('=');
    return std::string(eq == std::string_view::npos ? line : line.substr(eq + 1));
}

std::string NameOfLine(std::string_view line) {
    return std::string(line.substr(0, line.find('=')));
}

} // namespace mirota
