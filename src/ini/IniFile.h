#pragma once
// The INI reader every part of Ostrel uses for the files in _cfg.
//
// Reading rules:
// - The encoding comes from a byte-order mark (UTF-8, UTF-16 LE, UTF-16 BE); a file without one is
//   Windows-1252. All text handed out is UTF-8.
// - Lines end at CR LF, LF or CR; each line loses every character with a code up to 32 at both ends.
// - Empty lines and lines beginning with ";" are skipped, as are lines before the first section.
// - "[name]" starts a section; the name is trimmed again.
// - A line with "=" is stored as name "=" value, both sides trimmed, split at the first "="; a line
//   without "=" is stored unchanged.
// - Sections and lines keep file order. Section and key lookups ignore letter case; when a name occurs
//   twice the first one wins.
// - A file that does not exist (or cannot be read) reads as a file without sections.
// - A file larger than kMaxIniFileSize is not read: it reads as a file without sections and Error()
//   names the file and the limit.
// - Section lookups take constant time (an index of the case-folded names), so readers that look up
//   every section of a large file stay linear.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mirota {

inline constexpr std::uintmax_t kMaxIniFileSize = 64u * 1024u * 1024u;

struct IniSection {
    std::string Name;
    std::vector<std::string> Lines;
};

class IniFile {
public:
    IniFile() = default;

    static IniFile Load(const std::filesystem::path& path, std::uintmax_t maxSize = kMaxIniFileSize);
    // Parses the file's raw bytes (byte-order mark included).
    static IniFile Parse(std::string_view bytes);

    const std::vector<IniSection>& Sections() const { return sections_; }
    // Section names in file order, duplicates included.
    std::vector<std::string> SectionNames() const;
    bool HasSection(std::string_view section) const;
    // The stored lines of the first section of that name; empty when there is none.
    const std::vector<std::string>& SectionLines(std::string_view section) const;
    // The value of the first line named `key` in the first section named `section`; `fallback` when
    // the section or the key is missing.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback = {}) const;

    // Why the file was not read (too large); empty otherwise, also for a missing file.
    const std::string& Error() const { return error_; }

private:
    const IniSection* Find(std::string_view section) const;
    std::vector<IniSection> sections_;
    std::unordered_map<std::string, std::size_t> index_; // folded name -> first section of that name
    std::string error_;
};

// Splits a text at every occurrence of `separator`, left to right; a text without it gives one part.
std::vector<std::string> SplitString(std::string_view text, std::string_view separator);

// The text after the first "=" of a stored line, or the whole line when it has none.
std::string ValueOfLine(std::string_view line);
// The text before the first "=" of a stored line, or the whole line when it has none.
std::string NameOfLine(std::string_view line);

// Case-insensitive equality of two UTF-8 texts (ASCII and the Latin-1 letters).
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// Conversions used by the reader, exposed for the other readers of device text.
std::string Cp1252ToUtf8(std::string_view bytes);
// Trims characters with codes up to 32 at both ends.
std::string_view TrimControl(std::string_view text);

} // namespace mirota
