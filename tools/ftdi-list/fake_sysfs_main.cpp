// mirota-fake-sysfs: writes a sysfs-like tree with FTDI adapters, for the demo and manual checks.
//
//   mirota-fake-sysfs DIR [--adapter SERIAL DESCRIPTION TTY]...
//
// Without --adapter the tree has two adapters (FT4M7Q01 "Mirota MX 4" on ttyUSB0, FT4M7Q02 "Mirota DR 2"
// on ttyUSB1). TTY "-" gives an adapter without a tty. Point the launcher or mirota-ftdi-list at DIR
// with MIROTA_SYSFS_ROOT=DIR or --sysfs DIR.
#include "ftdi-list/FakeSysfs.h"

#include <iostream>

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]).starts_with("-")) {
        std::cerr << "Usage: mirota-fake-sysfs DIR [--adapter SERIAL DESCRIPTION TTY]...\n";
        return 2;
    }
    std::vector<mirota::FakeAdapter> adapters;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) != "--adapter" || i + 3 >= argc) {
            std::cerr << "Usage: mirota-fake-sysfs DIR [--adapter SERIAL DESCRIPTION TTY]...\n";
            return 2;
        }
        const std::string tty = argv[i + 3];
        adapters.push_back({argv[i + 1], argv[i + 2], tty == "-" ? "" : tty});
        i += 3;
    }
    try {
        mirota::WriteDemoSysfs(argv[1], adapters);
    } catch (const std::exception& e) {
        std::cerr << "mirota-fake-sysfs: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
