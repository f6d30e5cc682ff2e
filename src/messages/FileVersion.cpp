// The version of this build, as the marker in every program file carries it.
#include "messages/FileVersion.h"

#include "BuildVersion.h"

namespace mirota {

FileVersion BuiltFileVersion() {
    return FileVersion{MIROTA_VERSION_MAJOR, MIROTA_VERSION_MINOR, MIROTA_VERSION_PATCH,
                       MIROTA_VERSION_TWEAK};
}

} // namespace mirota
