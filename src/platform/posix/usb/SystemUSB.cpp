#include "launcher/SystemUSB.h"

#include "platform/posix/usb/SysfsUSBPlatform.h"
#include "platform/posix/usb/UeventNotificationSource.h"

#include <cstdlib>

namespace mirota {

namespace {
std::filesystem::path SysfsRoot() {
    if (const char* env = std::getenv("MIROTA_SYSFS_ROOT"); env && *env) return env;
    return "/sys";
}
} // namespace

std::unique_ptr<USBPlatform> CreateSystemUSBPlatform() {
    return std::make_unique<SysfsUSBPlatform>(SysfsRoot());
}

std::unique_ptr<DeviceNotificationSource> CreateSystemNotificationSource() {
    return std::make_unique<UeventNotificationSource>(SysfsRoot());
}

} // namespace mirota
