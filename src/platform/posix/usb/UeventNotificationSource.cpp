#include "platform/posix/usb/UeventNotificationSource.h"

#include "platform/posix/usb/SysfsUSBPlatform.h"

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

namespace mirota {

namespace fs = std::filesystem;

namespace {
// Uevents are at most a few kilobytes; a longer datagram is cut and dropped.
constexpr std::size_t ReceiveBufferSize = 16384;
// Datagrams handled in one ProcessPending before the loop gets its turn again.
constexpr int MaxPerCall = 256;
} // namespace

std::optional<Uevent> ParseUevent(const char* data, std::size_t size) {
    const std::string_view all(data, size);
    const std::size_t headerEnd = all.find('\0');
    const std::string_view header = all.substr(0, headerEnd);
    if (header.find('@') == std::string_view::npos)
        return std::nullopt; // udev's messages start with "libudev"
    Uevent e;
    bool hasAction = false, hasSubsystem = false;
    std::size_t pos = headerEnd == std::string_view::npos ? all.size() : headerEnd + 1;
    while (pos < all.size()) {
        std::size_t end = all.find('\0', pos);
        if (end == std::string_view::npos) end = all.size();
        const std::string_view field = all.substr(pos, end - pos);
        const std::size_t eq = field.find('=');
        if (eq != std::string_view::npos) {
            const std::string_view key = field.substr(0, eq);
            const std::string_view value = field.substr(eq + 1);
            if (key == "ACTION") {
                e.Action = value;
                hasAction = true;
            } else if (key == "SUBSYSTEM") {
                e.Subsystem = value;
                hasSubsystem = true;
            } else if (key == "DEVPATH") {
                e.DevPath = value;
            } else if (key == "DEVNAME") {
                e.DevName = value;
            }
        }
        pos = end + 1;
    }
    if (!hasAction || !hasSubsystem) return std::nullopt;
    return e;
}

UeventNotificationSource::UeventNotificationSource(fs::path sysfsRoot) : FSysfsRoot(std::move(sysfsRoot)) {}

UeventNotificationSource::UeventNotificationSource(int fd, fs::path sysfsRoot)
    : FSysfsRoot(std::move(sysfsRoot)), FFd(fd), FKernel(false) {}

UeventNotificationSource::~UeventNotificationSource() {
    if (FFd >= 0) ::close(FFd);
}

bool UeventNotificationSource::Register(TWndMethod windowProc) {
    FWindowProc = std::move(windowProc);
    FLastSnapshot = Snapshot();
    if (!FKernel) return FFd >= 0;
    if (FFd >= 0) return true;
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) return false;
    sockaddr_nl addr{};
    addr.nl_family = AF_NETLINK;
    addr.nl_groups = 1; // kernel events
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return false;
    }
    FFd = fd;
    return true;
}

void UeventNotificationSource::Deliver(std::uintptr_t event) {
    if (!FWindowProc) return;
    devchange::BroadcastDeviceInterface broadcast{};
    broadcast.dbcc_size = sizeof broadcast;
    broadcast.dbcc_devicetype = devchange::DevTypDeviceInterface;
    broadcast.dbcc_classguid = devchange::ComPortInterfaceClass;
    TMessage m;
    m.Msg = devchange::WmDeviceChange;
    m.WParam = event;
    m.LParam = reinterpret_cast<std::intptr_t>(&broadcast);
    FWindowProc(m);
}

void UeventNotificationSource::ProcessPending() {
    if (FFd < 0) return;
    std::vector<char> buffer(ReceiveBufferSize);
    for (int n = 0; n < MaxPerCall; ++n) {
        sockaddr_nl from{};
        iovec iov{buffer.data(), buffer.size()};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        if (FKernel) {
            msg.msg_name = &from;
            msg.msg_namelen = sizeof from;
        }
        const ssize_t got = ::recvmsg(FFd, &msg, MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOBUFS) {
                // The kernel dropped events: whatever they were, a fresh walk sorts it out.
                Deliver(devchange::DeviceArrival);
                continue;
            }
            return; // EAGAIN: nothing more pending; anything else: the next readiness tries again
        }
        if (msg.msg_flags & MSG_TRUNC) continue;
        if (FKernel && (msg.msg_namelen < sizeof from || from.nl_pid != 0))
            continue; // only the kernel's own messages
        const auto event = ParseUevent(buffer.data(), static_cast<std::size_t>(got));
        if (!event || event->Subsystem != "tty") continue;
        if (event->Action == "add")
            Deliver(devchange::DeviceArrival);
        else if (event->Action == "remove")
            Deliver(devchange::DeviceRemoveComplete);
    }
}

std::set<std::string> UeventNotificationSource::Snapshot() const {
    std::set<std::string> ttys;
    const fs::path devices = FSysfsRoot / "bus" / "usb" / "devices";
    std::error_code ec;
    for (fs::directory_iterator it(devices, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.find(':') != std::string::npos) continue;
        if (const auto tty = SysfsUSBPlatform::FindTtyName(it->path())) ttys.insert(name + "/" + *tty);
    }
    return ttys;
}

bool UeventNotificationSource::Rescan() {
    std::set<std::string> now = Snapshot();
    const bool gone =
        std::any_of(FLastSnapshot.begin(), FLastSnapshot.end(), [&](auto& s) { return !now.count(s); });
    const bool came = std::any_of(now.begin(), now.end(), [&](auto& s) { return !FLastSnapshot.count(s); });
    FLastSnapshot = std::move(now);
    if (gone) Deliver(devchange::DeviceRemoveComplete);
    if (came) Deliver(devchange::DeviceArrival);
    return true;
}

} // namespace mirota
