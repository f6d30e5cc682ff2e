#pragma once
// The USB walk's platform operations on Windows: host controllers and hubs through CreateFileW and
// DeviceIoControl, the FTDI driver's "PortName" through the registry of HKEY_LOCAL_MACHINE.
#include "launcher/USBIOCtl.h"

namespace mirota {

class Win32USBPlatform : public USBPlatform {
public:
    USBHandle OpenDevice(const std::u16string& path) override;
    bool IoControl(USBHandle handle, std::uint32_t code, const void* inBuffer, std::uint32_t inSize,
                   void* outBuffer, std::uint32_t outSize, std::uint32_t& bytesReturned) override;
    void CloseDevice(USBHandle handle) override;
    RegistryString ReadRegistryString(const std::u16string& key, const std::u16string& valueName) override;
};

} // namespace mirota
