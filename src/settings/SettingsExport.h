#pragma once
// The settings list as CSV for test reports: one record per row (section, description, current value,
// info), then one per hidden value, after a header record. Fields follow RFC 4180: a field holding the
// separator, a quote, CR or LF is quoted and its quotes doubled; records end in CR LF; the text is
// UTF-8 as the device and the catalogue gave it (no byte-order mark).
#include "settings/FrmSettings.h"

#include <string>
#include <vector>

namespace mirota {

inline constexpr const char* kHiddenSection = "Hidden";

std::string CsvField(const std::string& text, char separator = ',');
// The fields joined by the separator, with the record's CR LF.
std::string CsvRecord(const std::vector<std::string>& fields, char separator = ',');

// sections[k] names group k; a row of an unknown group gets an empty section.
std::string BuildSettingsCsv(const std::vector<SettingsRow>& rows, const std::vector<std::string>& sections,
                             const std::vector<std::string>& hiddenValues, char separator = ',');

// The name the list is written to: fileName with ".csv" appended unless it already ends in ".csv" in any
// letter case.
std::string SettingsExportFileName(const std::string& fileName);

// Writes bytes to a temporary file beside fileName and renames it over fileName once it is complete:
// the target is either left as it was or holds all of the bytes. False with a message on failure (the
// temporary file is removed then).
bool WriteFileAtomically(const std::string& fileName, const std::string& bytes, std::string& error);

} // namespace mirota
