// The version of this build, as the marker in every program file carries it, and its text.
#include "messages/FileVersion.h"

#include "BuildVersion.h"

namespace mirota {

FileVersion BuiltFileVersion() {
    return FileVersion{MIROTA_VERSION_MAJOR, MIROTA_VERSION_MINOR, MIROTA_VERSION_PATCH,
                       MIROTA_VERSION_TWEAK};
}

std::string VersionText(const FileVersion& version) {
    return std::to_string(version.Major) + "." + std::to_string(version.Minor) + "." +
           std::to_string(version.Release) + "." + std::to_string(version.Build);
}

} // namespace mirota
