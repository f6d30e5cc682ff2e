#pragma once
// The settings catalogue: which settings a device type has, in which groups they are listed, the
// command text that reads and writes each, the texts that stand for its numeric values and its help
// text. Read once from the INI files in _cfg when the settings screen is created.
#include "link/DeviceType.h"

#include <filesystem>
#include <string>
#include <vector>

namespace mirota {

// Hidden settings (and configuration files) exist from this firmware version number on.
inline constexpr int kHiddenSettingsFirmware = 30;

struct TSettingsCatalogue {
    // Section names of the commands file, in file order: group k of the list is section k.
    std::vector<std::string> slCurrentSections;
    // Per entry (entry i is row i of the list and position i of the values read):
    std::vector<std::string> slCurrentDescription;
    std::vector<std::string> slCurrentCommand;
    std::vector<std::string> slCurrentInfo;
    // Element k of an entry's list stands for the device value k; empty for a free-text entry.
    std::vector<std::vector<std::string>> olCurrentDisplay;
    // 0, then per section the entry number at which the next section begins.
    std::vector<int> olCurrentBorders;
    // Command texts of the hidden settings (firmware 30 on), in file order.
    std::vector<std::string> slHiddenCommands;
    // One message per catalogue file that was refused unread (too large); such a file reads as empty.
    std::vector<std::string> Errors;

    int EntryCount() const { return static_cast<int>(slCurrentDescription.size()); }
    int HiddenCount() const { return static_cast<int>(slHiddenCommands.size()); }
    // The section (group number) entry i lies in; -1 when out of range.
    int SectionOf(int entry) const;
};

// Splits text at every occurrence of separator, left to right; a text without it gives one part.
void SplitString(const std::string& text, const std::string& separator, std::vector<std::string>& parts);

// The device type text (strVersion) is DeviceTypeOf (link/DeviceType.h).

// Catalogue file names, formed by plain concatenation with the type text.
std::string SettingsCommandsFileName(const std::string& strVersion);
std::string DisplayValuesFileName(const std::string& strVersion);
std::string InfoConfigurationFileName(const std::string& strVersion);
inline constexpr const char* kHiddenCommandsFileName = "HiddenCommands.ini";

// Fills `catalogue` (expected empty) from the files in cfgDir. Missing files read as empty. Reading
// takes time linear in the size of the files.
void ReadSettingsCatalogue(const std::filesystem::path& cfgDir, const std::string& strVersion, int iVersion,
                           TSettingsCatalogue& catalogue);

} // namespace mirota
