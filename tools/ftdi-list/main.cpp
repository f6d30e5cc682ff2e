// mirota-ftdi-list: prints the FTDI USB serial adapters the launcher would list, as a user checks
// them: serial number, device description, port and the device file behind the port.
//
//   mirota-ftdi-list [--sysfs DIR] [--dev DIR] [--verbose]
//
// --sysfs DIR  read the USB devices from the sysfs tree DIR (default: $MIROTA_SYSFS_ROOT or /sys)
// --dev DIR    look for the port's device file in DIR (default: $MIROTA_DEVICE_DIR or /dev)
// --verbose    also print why the walk of a host controller ended early
#include "launcher/SystemUSB.h"
#include "launcher/USBDeviceInfoCol.h"

#ifndef _WIN32
#include "platform/posix/usb/SysfsUSBPlatform.h"
#endif

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using namespace mirota;
namespace fs = std::filesystem;

namespace {

int Usage(std::ostream& out, int code) {
    out << "Usage: mirota-ftdi-list [--sysfs DIR] [--dev DIR] [--verbose]\n"
           "Lists the attached FTDI USB serial adapters: serial number, description, port and device file.\n"
           "  --sysfs DIR  sysfs tree to read (default: $MIROTA_SYSFS_ROOT or /sys)\n"
           "  --dev DIR    directory of the port device files (default: $MIROTA_DEVICE_DIR or /dev)\n"
           "  --verbose    also show why the walk of a host controller ended early\n";
    return code;
}

std::size_t Width(const std::string& utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8)
        n += (c & 0xC0) != 0x80;
    return n;
}

std::string Cell(const std::u16string& text) {
    return text.empty() ? "-" : ToUtf8(text);
}

} // namespace

int main(int argc, char** argv) {
    std::optional<fs::path> sysfs;
    std::optional<fs::path> dev;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--sysfs" || a == "--dev") && i + 1 < argc)
            (a == "--sysfs" ? sysfs : dev) = fs::path(argv[++i]);
        else if (a == "--verbose" || a == "-v")
            verbose = true;
        else if (a == "--help" || a == "-h")
            return Usage(std::cout, 0);
        else
            return Usage(std::cerr, 2);
    }
    if (!dev) {
        const char* env = std::getenv("MIROTA_DEVICE_DIR");
        dev = fs::path(env && *env ? env : "/dev");
    }

    std::unique_ptr<USBPlatform> platform;
#ifndef _WIN32
    if (sysfs) platform = std::make_unique<SysfsUSBPlatform>(*sysfs);
#else
    if (sysfs) return Usage(std::cerr, 2);
#endif
    if (!platform) platform = CreateSystemUSBPlatform();

    TUSBInfoCol collector(*platform);
    const std::vector<USB_Info> list = collector.GetDeviceList();

    std::vector<std::vector<std::string>> rows = {{"Serial No", "Device Description", "Port", "Device file"}};
    for (const USB_Info& info : list) {
        std::string file = "-";
        if (!info.Port_Number.empty() && info.Port_Number != u"Error") {
            const fs::path p = *dev / fs::path(ToUtf8(info.Port_Number));
            std::error_code ec;
            file = p.string() + (fs::exists(p, ec) ? "" : " (missing)");
        }
        rows.push_back({Cell(info.Serial_Number_Internal), Cell(info.Device_Name_Internal),
                        Cell(info.Port_Number), file});
    }
    std::vector<std::size_t> widths(4, 0);
    for (const auto& r : rows)
        for (std::size_t c = 0; c < r.size(); ++c)
            widths[c] = std::max(widths[c], Width(r[c]));
    if (!list.empty()) {
        for (const auto& r : rows) {
            std::string line;
            for (std::size_t c = 0; c < r.size(); ++c) {
                line += r[c];
                if (c + 1 < r.size()) line += std::string(widths[c] - Width(r[c]) + 2, ' ');
            }
            std::cout << line << '\n';
        }
    }
    std::cout << (list.empty() ? "No" : std::to_string(list.size())) << " FTDI adapter"
              << (list.size() == 1 ? "" : "s") << " found.\n";
    if (verbose)
        for (const std::string& f : collector.LastFailures())
            std::cerr << "walk ended early: " << f << '\n';
    return 0;
}
