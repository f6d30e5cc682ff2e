#pragma once
// The device type as the screens use it (strVersion): it names the device's catalogue and
// configuration files.
#include <string>

namespace mirota {

// The device type: the description with every "Mirota", in any letter case, removed; nothing trimmed.
std::string DeviceTypeOf(const std::string& description);

} // namespace mirota
