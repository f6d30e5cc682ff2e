#pragma once
// Writes a directory tree laid out like Linux sysfs for USB devices, for tests and the demo:
//
//   <root>/devices/pci0000:00/0000:00:1d.<bus>/usb<bus>/<bus>-<port>/...   the devices, nested by parent
//   <root>/bus/usb/devices/<name> -> ../../../devices/...                   one link per device and interface
//   <root>/class/tty/<tty> -> ../../devices/.../<dev>:1.0/<tty>/tty/<tty>  one link per tty
//
// A device directory holds the attributes idVendor, idProduct, bDeviceClass, maxchild, devnum and
// those of manufacturer, product and serial that are given; an adapter's tty sits below its first
// interface as the kernel lays it out: <dev>/<dev>:1.0/ttyUSB0/tty/ttyUSB0.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mirota {

struct FakeUsbDevice {
    std::string VendorId = "0403";
    std::string ProductId = "6001";
    std::string DeviceClass = "00";
    std::optional<std::string> Manufacturer;
    std::optional<std::string> Product;
    std::optional<std::string> Serial;
    int MaxChild = 0;
    std::optional<std::string> Tty; // ttyUSB0: below the first interface
};

class FakeSysfs {
public:
    // Creates the root and its bus/usb/devices directory.
    explicit FakeSysfs(std::filesystem::path root);

    const std::filesystem::path& Root() const { return FRoot; }

    // Root hub usb<bus> with `ports` ports.
    void AddRootHub(int bus, int ports);
    // A device or hub by its sysfs name ("1-2", "1-2.4"); its parent must exist.
    void AddDevice(const std::string& name, const FakeUsbDevice& device);
    void AddHub(const std::string& name, int ports);
    void AddFtdiAdapter(const std::string& name, const std::string& serial, const std::string& product,
                        std::optional<std::string> tty);
    // Unplugs a device with everything below it.
    void RemoveDevice(const std::string& name);

    std::filesystem::path DeviceDir(const std::string& name) const;

private:
    std::filesystem::path RealDir(const std::string& name) const;

    std::filesystem::path FRoot;
};

// The tree the demo uses: bus 1 with two FTDI adapters (serials FT4M7Q01 and FT4M7Q02 on ttyUSB0 and
// ttyUSB1; the second behind a hub), a non-FTDI device, and an empty bus 2. `adapters` replaces the two
// adapters when not empty: serial, description and tty name (empty: no tty) per adapter.
struct FakeAdapter {
    std::string Serial;
    std::string Description;
    std::string Tty;
};
void WriteDemoSysfs(const std::filesystem::path& root, const std::vector<FakeAdapter>& adapters = {});

} // namespace mirota
