#include "launcher/PravikCommandLine.h"

#include "messages/FileVersion.h"

#include <string_view>

namespace mirota {

namespace {

constexpr const char* kUsage =
    "Usage: pravik [--version | --help]\n"
    "\n"
    "Pravik lists the FTDI USB-serial adapters attached to this computer, follows their arrival and\n"
    "removal, and starts one Ostrel per Mirota device (double-click its row). It starts the ostrel\n"
    "program that lies beside its own program file and writes no settings of its own.\n"
    "\n"
    "  --version     print the version and end\n"
    "  --help        print this text and end\n"
    "\n"
    "Environment:\n"
    "  MIROTA_SYSFS_ROOT   read the adapters from this sysfs tree instead of /sys\n"
    "  MIROTA_DEVICE_DIR   find the serial ports in this directory instead of /dev\n";

} // namespace

std::optional<std::string> PravikCommandLineAnswer(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (!argv[i]) continue;
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") return std::string(kUsage);
        if (option == "--version" || option == "-V") {
            return "pravik " + VersionText(BuiltFileVersion()) + "\n";
        }
    }
    return std::nullopt;
}

} // namespace mirota
