#include "control/OstrelCommandLine.h"

#include "messages/FileVersion.h"

#include <string_view>

namespace mirota {

namespace {

constexpr const char* kUsage =
    "Usage: ostrel PORT DESCRIPTION SERIALNUMBER WINDOW\n"
    "       ostrel --version | --help\n"
    "\n"
    "Ostrel controls one Mirota device attached through a USB-serial adapter: its values, settings,\n"
    "power supply and terminal screens. Pravik starts it with four parameters:\n"
    "  PORT          the serial port, a name in /dev (ttyUSB0) or a path\n"
    "  DESCRIPTION   the adapter's description (\"Mirota DMS\")\n"
    "  SERIALNUMBER  the adapter's serial number\n"
    "  WINDOW        Pravik's window handle; 0 when started without Pravik\n"
    "\n"
    "Ostrel reads its texts and catalogues from the _cfg directory beside its program file and writes\n"
    "no settings of its own.\n"
    "\n"
    "  --version     print the version and end\n"
    "  --help        print this text and end\n";

} // namespace

std::optional<std::string> OstrelCommandLineAnswer(int argc, const char* const* argv) {
    if (argc != 2 || !argv[1]) return std::nullopt;
    const std::string_view option = argv[1];
    if (option == "--help" || option == "-h") return std::string(kUsage);
    if (option == "--version" || option == "-V") {
        return "ostrel " + VersionText(BuiltFileVersion()) + "\n";
    }
    return std::nullopt;
}

} // namespace mirota
