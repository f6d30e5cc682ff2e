#include "launcher/SystemUSB.h"

#include "platform/win32/usb/Win32NotificationSource.h"
#include "platform/win32/usb/Win32USBPlatform.h"

namespace mirota {

std::unique_ptr<USBPlatform> CreateSystemUSBPlatform() {
    return std::make_unique<Win32USBPlatform>();
}

std::unique_ptr<DeviceNotificationSource> CreateSystemNotificationSource() {
    return std::make_unique<Win32NotificationSource>();
}

} // namespace mirota
