#include "settings/SettingsCatalogue.h"

#include "ini/IniFile.h"

#include <algorithm>
#include <unordered_map>

namespace mirota {

namespace {

// Trimmed as the reader trims lines (codes up to 32 at both ends).
std::string Trim(std::string_view s) {
    return std::string(TrimControl(s));
}

// The part of a catalogue line right of its first "=", up to a second "="; empty without "=".
std::string SecondPart(const std::string& line) {
    std::vector<std::string> parts;
    SplitString(line, "=", parts);
    return parts.size() > 1 ? Trim(parts[1]) : std::string();
}

// Finds display sections by name without a linear search per entry: sections are bucketed by their
// ASCII-lowercased name and confirmed with the reader's own comparison; names with other letters fall
// back to the reader's lookup.
class SectionIndex {
public:
    explicit SectionIndex(const IniFile& file) : file_(file) {
        const auto& sections = file.Sections();
        for (std::size_t i = 0; i < sections.size(); ++i)
            buckets_[Key(sections[i].Name)].push_back(i);
    }
    const std::vector<std::string>& Lines(const std::string& name) const {
        auto it = buckets_.find(Key(name));
        if (it != buckets_.end())
            for (std::size_t i : it->second)
                if (SameTextIgnoringCase(file_.Sections()[i].Name, name)) return file_.Sections()[i].Lines;
        const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; });
        static const std::vector<std::string> none;
        return ascii ? none : file_.SectionLines(name);
    }

private:
    static std::string Key(std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    }
    const IniFile& file_;
    std::unordered_map<std::string, std::vector<std::size_t>> buckets_;
};

} // namespace

int TSettingsCatalogue::SectionOf(int entry) const {
    if (entry < 0 || entry >= EntryCount()) return -1;
    // Borders are non-decreasing; the section is the last k with borders[k] <= entry < borders[k + 1].
    auto it = std::upper_bound(olCurrentBorders.begin(), olCurrentBorders.end(), entry);
    return static_cast<int>(it - olCurrentBorders.begin()) - 1;
}

void SplitString(const std::string& text, const std::string& separator, std::vector<std::string>& parts) {
    parts.clear();
    if (separator.empty()) {
        parts.push_back(text);
        return;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t at = text.find(separator, start);
        if (at == std::string::npos) {
            parts.push_back(text.substr(start));
            return;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

std::string SettingsCommandsFileName(const std::string& strVersion) {
    return "SettingsCommands" + strVersion + ".ini";
}
std::string DisplayValuesFileName(const std::string& strVersion) {
    return "DisplayValues" + strVersion + ".ini";
}
std::string InfoConfigurationFileName(const std::string& strVersion) {
    return "InfoConfiguration" + strVersion + ".ini";
}

void ReadSettingsCatalogue(const std::filesystem::path& cfgDir, const std::string& strVersion, int iVersion,
                           TSettingsCatalogue& catalogue) {
    const bool withHidden = iVersion >= kHiddenSettingsFirmware;
    const IniFile commands = IniFile::Load(cfgDir / SettingsCommandsFileName(strVersion));
    const IniFile display = IniFile::Load(cfgDir / DisplayValuesFileName(strVersion));
    const IniFile info = IniFile::Load(cfgDir / InfoConfigurationFileName(strVersion));
    IniFile hidden;
    if (withHidden) hidden = IniFile::Load(cfgDir / kHiddenCommandsFileName);
    for (const IniFile* file : {&commands, &display, &info, static_cast<const IniFile*>(&hidden)})
        if (!file->Error().empty()) catalogue.Errors.push_back(file->Error());

    const SectionIndex displaySections(display);
    catalogue.slCurrentSections = commands.SectionNames();
    catalogue.olCurrentBorders.push_back(0);

    std::vector<std::string> parts;
    for (const std::string& section : catalogue.slCurrentSections) {
        // A line without "=" names no command: it is not a setting.
        std::vector<std::string> lines;
        for (const std::string& line : commands.SectionLines(section))
            if (line.find('=') != std::string::npos) lines.push_back(line);
        const std::vector<std::string>& infoLines = info.SectionLines(section);
        catalogue.olCurrentBorders.push_back(catalogue.EntryCount() + static_cast<int>(lines.size()));
        for (std::size_t j = 0; j < lines.size(); ++j) {
            // description = command text [= anything after a second "=" is not used]
            SplitString(lines[j], "=", parts);
            std::string description = Trim(parts[0]);
            std::string command = Trim(parts[1]);

            // Display texts: only their order counts, the names left of "=" are not used.
            std::vector<std::string> texts;
            for (const std::string& line : displaySections.Lines(description)) {
                std::size_t eq = line.find('=');
                texts.push_back(eq == std::string::npos ? line : Trim(std::string_view(line).substr(eq + 1)));
            }
            // The info line at the same position, whatever its name; a shorter section gives "".
            std::string infoText = j < infoLines.size() ? SecondPart(infoLines[j]) : std::string();

            catalogue.slCurrentDescription.push_back(std::move(description));
            catalogue.slCurrentCommand.push_back(std::move(command));
            catalogue.olCurrentDisplay.push_back(std::move(texts));
            catalogue.slCurrentInfo.push_back(std::move(infoText));
        }
    }

    if (withHidden) {
        for (const std::string& line : hidden.SectionLines("Hidden"))
            if (line.find('=') != std::string::npos) catalogue.slHiddenCommands.push_back(SecondPart(line));
    }
}

} // namespace mirota
