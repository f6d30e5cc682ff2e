#pragma once
// The USB walk's platform operations answered from Linux sysfs.
//
// The root given to the constructor is the sysfs root (normally /sys); devices are read from
// <root>/bus/usb/devices. Host controller number n ("\\.\HCDn") is the root hub of bus n + 1 (usbN),
// and the walk visits every root hub present, in bus order; its ports are `maxchild`; the device at
// port p of hub `usbN` is `N-p`, at port p of hub `N-x` it is `N-x.p`; a device is a hub when its
// `bDeviceClass` is 09. Hubs are opened by their sysfs names. String descriptors 1, 2 and 3 are built from
// the `manufacturer`, `product` and `serial` attributes (a missing attribute gives the string index 0).
//
// The registry look-up of an FTDI adapter's "PortName" finds the device with idVendor 0403, idProduct
// 6001 and that serial number: no such device means the key cannot be opened; its port name is the tty
// below one of its interfaces (`<dev>/<dev>:1.0/ttyUSB0`, or `<dev>/<dev>:1.0/tty/ttyACM0`), and a
// device without a tty has the key but no value.
#include "launcher/USBIOCtl.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace mirota {

class SysfsUSBPlatform : public USBPlatform {
public:
    explicit SysfsUSBPlatform(std::filesystem::path sysfsRoot = "/sys");

    const std::filesystem::path& DevicesDir() const { return FDevices; }

    std::vector<std::u16string> HostControllerPaths() const override;
    USBHandle OpenDevice(const std::u16string& path) override;
    bool IoControl(USBHandle handle, std::uint32_t code, const void* inBuffer, std::uint32_t inSize,
                   void* outBuffer, std::uint32_t outSize, std::uint32_t& bytesReturned) override;
    void CloseDevice(USBHandle handle) override;
    RegistryString ReadRegistryString(const std::u16string& key, const std::u16string& valueName) override;

    // The tty name below the interfaces of a USB device directory; none when it has no tty.
    static std::optional<std::string> FindTtyName(const std::filesystem::path& deviceDir);
    // The directory of the FTDI adapter (0403:6001) with this serial number; none when there is none.
    std::optional<std::filesystem::path> FindFtdiDevice(const std::string& serial) const;

private:
    struct Node {
        bool Controller = false;
        std::string Name; // sysfs name of the hub (root hub usbN for a controller)
    };
    std::optional<std::string> ChildName(const std::string& hub, std::uint32_t port) const;

    std::filesystem::path FDevices;
    std::map<USBHandle, Node> FHandles;
    USBHandle FNextHandle = 1;
};

// One attribute of a sysfs directory without its trailing newline; none when it cannot be read.
std::optional<std::string> ReadSysfsAttribute(const std::filesystem::path& dir, const char* name);

} // namespace mirota
