// The uevent parser on arbitrary datagrams, and the USB walk over a sysfs tree generated from the
// input (hubs, devices and adapters at any place, attributes holding any bytes): no crash, no endless
// walk.
#include "ftdi-list/FakeSysfs.h"
#include "launcher/USBDeviceInfoCol.h"
#include "platform/posix/usb/SysfsUSBPlatform.h"
#include "platform/posix/usb/UeventNotificationSource.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace mirota;
namespace fs = std::filesystem;

namespace {
const fs::path& Root() {
    static const fs::path root = [] {
        auto r = fs::temp_directory_path() / ("mirota-fuzz-sysfs-" + std::to_string(::getpid()));
        std::atexit([] { fs::remove_all(Root()); });
        return r;
    }();
    return root;
}

std::optional<std::string> MaybeText(FuzzedDataProvider& in) {
    if (!in.ConsumeBool()) return std::nullopt;
    return in.ConsumeRandomLengthString(40);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string datagram = in.ConsumeRandomLengthString(512);
    (void)ParseUevent(datagram.data(), datagram.size());

    fs::remove_all(Root());
    fs::create_directories(Root());
    FakeSysfs fake(Root());
    const int buses = in.ConsumeIntegralInRange<int>(1, 2);
    std::vector<std::string> hubs;
    for (int bus = 1; bus <= buses; ++bus) {
        fake.AddRootHub(bus, in.ConsumeIntegralInRange<int>(0, 4));
        hubs.push_back(std::to_string(bus));
    }
    std::vector<fs::path> dirs;
    const int devices = in.ConsumeIntegralInRange<int>(0, 8);
    for (int d = 0; d < devices && in.remaining_bytes() > 0; ++d) {
        const std::string& parent = hubs[in.ConsumeIntegralInRange<std::size_t>(0, hubs.size() - 1)];
        const std::string port = std::to_string(in.ConsumeIntegralInRange<int>(1, 4));
        const std::string name =
            parent.find('-') == std::string::npos ? parent + "-" + port : parent + "." + port;
        if (fs::exists(fake.DeviceDir(name))) continue;
        switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            fake.AddHub(name, in.ConsumeIntegralInRange<int>(0, 4));
            hubs.push_back(name);
            break;
        case 1:
            fake.AddFtdiAdapter(name, in.ConsumeRandomLengthString(20), in.ConsumeRandomLengthString(20),
                                in.ConsumeBool() ? std::optional<std::string>("ttyUSB" + std::to_string(d))
                                                 : std::nullopt);
            break;
        default: {
            FakeUsbDevice device;
            device.VendorId = in.ConsumeRandomLengthString(6);
            device.ProductId = in.ConsumeRandomLengthString(6);
            device.DeviceClass = in.ConsumeRandomLengthString(4);
            device.Manufacturer = MaybeText(in);
            device.Product = MaybeText(in);
            device.Serial = MaybeText(in);
            device.MaxChild = in.ConsumeIntegralInRange<int>(-2, 300);
            fake.AddDevice(name, device);
            break;
        }
        }
        dirs.push_back(fake.DeviceDir(name));
    }
    // Any attribute of any device may hold anything.
    static const char* const kAttributes[] = {"idVendor", "idProduct",    "bDeviceClass", "maxchild",
                                              "devnum",   "manufacturer", "product",      "serial"};
    while (!dirs.empty() && in.remaining_bytes() > 0) {
        const fs::path& dir = dirs[in.ConsumeIntegralInRange<std::size_t>(0, dirs.size() - 1)];
        const char* attribute = kAttributes[in.ConsumeIntegralInRange<int>(0, 7)];
        std::ofstream(dir / attribute, std::ios::binary | std::ios::trunc)
            << in.ConsumeRandomLengthString(40);
    }

    SysfsUSBPlatform platform(Root());
    for (const USB_Info& info : TUSBInfoCol(platform).GetDeviceList())
        (void)info;
    return 0;
}
