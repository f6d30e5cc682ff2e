#include "ftdi-list/FakeSysfs.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace mirota {

namespace fs = std::filesystem;

namespace {

void WriteAttribute(const fs::path& dir, const char* name, const std::string& value) {
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out << value << '\n';
    if (!out) throw std::runtime_error("cannot write " + (dir / name).string());
}

// The sysfs name of a device's parent: 1-2.4 -> 1-2, 1-2 -> usb1.
std::string ParentName(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot != std::string::npos) return name.substr(0, dot);
    const auto dash = name.find('-');
    if (dash == std::string::npos || dash == 0) throw std::invalid_argument("not a USB device name: " + name);
    return "usb" + name.substr(0, dash);
}

void Link(const fs::path& target, const fs::path& link) {
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_directory_symlink(fs::relative(target, link.parent_path()), link);
}

} // namespace

FakeSysfs::FakeSysfs(fs::path root) : FRoot(std::move(root)) {
    fs::create_directories(FRoot / "bus" / "usb" / "devices");
    fs::create_directories(FRoot / "class" / "tty");
}

fs::path FakeSysfs::DeviceDir(const std::string& name) const {
    return FRoot / "bus" / "usb" / "devices" / name;
}

fs::path FakeSysfs::RealDir(const std::string& name) const {
    if (name.starts_with("usb"))
        return FRoot / "devices" / "pci0000:00" / ("0000:00:1d." + name.substr(3)) / name;
    return RealDir(ParentName(name)) / name;
}

void FakeSysfs::AddRootHub(int bus, int ports) {
    const std::string name = "usb" + std::to_string(bus);
    const fs::path dir = RealDir(name);
    fs::create_directories(dir);
    WriteAttribute(dir, "idVendor", "1d6b");
    WriteAttribute(dir, "idProduct", "0002");
    WriteAttribute(dir, "bDeviceClass", "09");
    WriteAttribute(dir, "maxchild", std::to_string(ports));
    WriteAttribute(dir, "devnum", "1");
    WriteAttribute(dir, "manufacturer", "Linux xhci-hcd");
    WriteAttribute(dir, "product", "xHCI Host Controller");
    WriteAttribute(dir, "serial", "0000:00:1d." + std::to_string(bus));
    Link(dir, DeviceDir(name));
}

void FakeSysfs::AddDevice(const std::string& name, const FakeUsbDevice& device) {
    if (!fs::is_directory(RealDir(ParentName(name))))
        throw std::invalid_argument("parent of " + name + " does not exist");
    const fs::path dir = RealDir(name);
    fs::create_directories(dir);
    WriteAttribute(dir, "idVendor", device.VendorId);
    WriteAttribute(dir, "idProduct", device.ProductId);
    WriteAttribute(dir, "bDeviceClass", device.DeviceClass);
    WriteAttribute(dir, "maxchild", std::to_string(device.MaxChild));
    WriteAttribute(dir, "devnum", "2");
    if (device.Manufacturer) WriteAttribute(dir, "manufacturer", *device.Manufacturer);
    if (device.Product) WriteAttribute(dir, "product", *device.Product);
    if (device.Serial) WriteAttribute(dir, "serial", *device.Serial);
    Link(dir, DeviceDir(name));

    const std::string intf = name + ":1.0";
    fs::create_directories(dir / intf);
    WriteAttribute(dir / intf, "bInterfaceNumber", "00");
    Link(dir / intf, DeviceDir(intf));
    if (device.Tty) {
        const fs::path ttyDir = dir / intf / *device.Tty / "tty" / *device.Tty;
        fs::create_directories(ttyDir);
        WriteAttribute(ttyDir, "dev", "188:0");
        Link(ttyDir, FRoot / "class" / "tty" / *device.Tty);
    }
}

void FakeSysfs::AddHub(const std::string& name, int ports) {
    FakeUsbDevice hub;
    hub.VendorId = "05e3";
    hub.ProductId = "0608";
    hub.DeviceClass = "09";
    hub.Product = "USB2.0 Hub";
    hub.MaxChild = ports;
    AddDevice(name, hub);
}

void FakeSysfs::AddFtdiAdapter(const std::string& name, const std::string& serial, const std::string& product,
                               std::optional<std::string> tty) {
    FakeUsbDevice d;
    d.Manufacturer = "FTDI";
    d.Product = product;
    d.Serial = serial;
    d.Tty = std::move(tty);
    AddDevice(name, d);
}

void FakeSysfs::RemoveDevice(const std::string& name) {
    const fs::path devices = FRoot / "bus" / "usb" / "devices";
    const fs::path classTty = FRoot / "class" / "tty";
    std::error_code ec;
    // Links of the device, its interfaces and everything below it.
    for (const fs::path& dir : {devices, classTty}) {
        std::vector<fs::path> links;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string n = it->path().filename().string();
            const bool below = n == name || n.starts_with(name + ":") || n.starts_with(name + ".");
            const bool ttyBelow =
                dir == classTty &&
                fs::read_symlink(it->path(), ec).string().find("/" + name + "/") != std::string::npos;
            if (below || ttyBelow) links.push_back(it->path());
        }
        for (const auto& l : links)
            fs::remove(l, ec);
    }
    fs::remove_all(RealDir(name), ec);
}

void WriteDemoSysfs(const fs::path& root, const std::vector<FakeAdapter>& adapters) {
    std::vector<FakeAdapter> list = adapters;
    if (list.empty()) list = {{"FT4M7Q01", "Mirota MX 4", "ttyUSB0"}, {"FT4M7Q02", "Mirota DR 2", "ttyUSB1"}};
    FakeSysfs fake(root);
    fake.AddRootHub(1, 4);
    fake.AddRootHub(2, 2);
    FakeUsbDevice keyboard;
    keyboard.VendorId = "046d";
    keyboard.ProductId = "c31c";
    keyboard.Manufacturer = "Logitech";
    keyboard.Product = "USB Keyboard";
    fake.AddDevice("1-2", keyboard);
    // The first adapter on a root port, the others behind a hub on port 4.
    fake.AddHub("1-4", std::max<int>(7, static_cast<int>(list.size())));
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string name = i == 0 ? "1-1" : "1-4." + std::to_string(i);
        std::optional<std::string> tty;
        if (!list[i].Tty.empty()) tty = list[i].Tty;
        fake.AddFtdiAdapter(name, list[i].Serial, list[i].Description, tty);
    }
}

} // namespace mirota
