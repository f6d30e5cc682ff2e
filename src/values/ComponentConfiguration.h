#pragma once
// "_cfg/ComponentConfiguration.ini": which of the six measured values a device type has, and their
// labels. One section per device type; keys are the displays' names ("adspTorque1", ...).
#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace mirota {

inline constexpr const char* kComponentConfigurationFile = "ComponentConfiguration.ini";

// The configuration keys in index order (the display names).
inline constexpr std::array<const char*, 6> kComponentKeys = {"adspTorque1", "adspTorque2", "adspSpeed1",
                                                              "adspSpeed2",  "adspAngle",   "adspAngleSpeed"};

// The section of a device type. Section names are trimmed when the file is read, so the type text is
// trimmed as well: a description such as "Mirota DMS" gives the type " DMS", which would otherwise
// never find its section and show no value at all.
std::string ComponentSectionOf(const std::string& deviceType);

// The label of each value for `deviceType`, read from the file: the key's text, or "false" when the
// file, section or key is missing. Texts are returned in UTF-8.
std::array<std::string, 6> ReadComponentLabels(const std::filesystem::path& file,
                                               const std::string& deviceType);

// A value is shown unless its label is exactly "false".
inline bool ComponentShown(const std::string& label) {
    return label != "false";
}

} // namespace mirota
