#include "values/ComponentConfiguration.h"

#include "ini/IniFile.h"

namespace mirota {

std::string ComponentSectionOf(const std::string& deviceType) {
    return std::string(TrimControl(deviceType));
}

std::array<std::string, 6> ReadComponentLabels(const std::filesystem::path& file,
                                               const std::string& deviceType) {
    const IniFile ini = IniFile::Load(file);
    const std::string section = ComponentSectionOf(deviceType);
    std::array<std::string, 6> labels;
    for (std::size_t i = 0; i < labels.size(); ++i)
        labels[i] = ini.ReadString(section, kComponentKeys[i], "false");
    return labels;
}

} // namespace mirota
