#pragma once
// Device notifications on Linux: kernel uevents (NETLINK_KOBJECT_UEVENT, multicast group 1, only from
// the kernel itself) whose SUBSYSTEM is tty. An "add" becomes an arrival, a "remove" a remove-complete,
// both with a device interface header for the COM port class; every other uevent is dropped.
//
// The descriptor is non-blocking and watched by the GUI thread (Handle, then ProcessPending). Tests
// hand in one end of a socket pair instead of the kernel socket. Rescan compares the ttys below the USB
// devices of the sysfs tree with the previous look, for machines (containers) where no uevents arrive.
#include "launcher/USBDeviceRec.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace mirota {

struct Uevent {
    std::string Action;
    std::string Subsystem;
    std::string DevPath;
    std::string DevName;
};

// One kernel uevent datagram: "action@devpath" then NUL-separated KEY=value fields. None for anything
// else (udev's "libudev" messages, missing ACTION or SUBSYSTEM).
std::optional<Uevent> ParseUevent(const char* data, std::size_t size);

class UeventNotificationSource : public DeviceNotificationSource {
public:
    // The kernel socket, opened by Register; sysfsRoot is where Rescan looks.
    explicit UeventNotificationSource(std::filesystem::path sysfsRoot = "/sys");
    // Reads datagrams from fd (taken over and closed at destruction) instead of the kernel socket.
    UeventNotificationSource(int fd, std::filesystem::path sysfsRoot);
    ~UeventNotificationSource() override;

    UeventNotificationSource(const UeventNotificationSource&) = delete;
    UeventNotificationSource& operator=(const UeventNotificationSource&) = delete;

    bool Register(TWndMethod windowProc) override;
    int Handle() const override { return FFd; }
    void ProcessPending() override;
    bool Rescan() override;

private:
    std::set<std::string> Snapshot() const;
    void Deliver(std::uintptr_t event);

    std::filesystem::path FSysfsRoot;
    int FFd = -1;
    bool FKernel = true;
    TWndMethod FWindowProc;
    std::set<std::string> FLastSnapshot;
};

} // namespace mirota
