#pragma once
// The machine's USB services, provided by the platform library mirota_platform_usb (sysfs and the
// kernel uevent socket on Linux, the USB stack, the registry and device notifications on Windows).
//
// On Linux the sysfs root is /sys unless the environment variable MIROTA_SYSFS_ROOT names another
// directory (a tree written by FakeSysfs for the demo and tests).
#include "launcher/USBDeviceRec.h"
#include "launcher/USBIOCtl.h"

#include <memory>

namespace mirota {

std::unique_ptr<USBPlatform> CreateSystemUSBPlatform();
std::unique_ptr<DeviceNotificationSource> CreateSystemNotificationSource();

} // namespace mirota
