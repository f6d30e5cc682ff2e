// The kernel uevent socket for real: a synthetic uevent written to a tty's sysfs "uevent" file reaches
// the component. Skipped where that is not possible (no permission, no uevents in this namespace).
#include "launcher/USBDeviceRec.h"
#include "platform/posix/usb/UeventNotificationSource.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <filesystem>
#include <fstream>

using namespace mirota;
namespace fs = std::filesystem;

namespace {

std::optional<fs::path> WritableTtyUevent() {
    std::error_code ec;
    for (const char* name : {"ttyS0", "tty0", "console"}) {
        const fs::path p = fs::path("/sys/class/tty") / name / "uevent";
        if (fs::exists(p, ec) && ::access(p.c_str(), W_OK) == 0) return p;
    }
    return std::nullopt;
}

bool Trigger(const fs::path& uevent, const char* action) {
    std::ofstream out(uevent);
    out << action;
    out.flush();
    return static_cast<bool>(out);
}

// Processes notifications for up to `ms` milliseconds, or until `done` holds.
void Pump(TComponentUSB& usb, int ms, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end) {
        pollfd p{usb.Handle(), POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) usb.ProcessPending();
    }
}

TEST(UeventKernel, SyntheticTtyAddArrives) {
    auto usb = std::make_unique<TComponentUSB>(std::make_unique<UeventNotificationSource>("/sys"));
    if (usb->Handle() < 0) GTEST_SKIP() << "no kernel uevent socket here";
    const auto uevent = WritableTtyUevent();
    if (!uevent) GTEST_SKIP() << "no writable tty uevent file";

    std::string events;
    usb->OnUSBArrival = [&](TComponentUSB*) { events += "A"; };
    usb->OnUSBRemove = [&](TComponentUSB*) { events += "R"; };

    // "change" is not a tty add or remove: nothing is raised.
    ASSERT_TRUE(Trigger(*uevent, "change"));
    Pump(*usb, 300, [] { return false; });
    EXPECT_EQ(events, "");

    if (!Trigger(*uevent, "add")) GTEST_SKIP() << "cannot trigger uevents";
    Pump(*usb, 3000, [&] { return !events.empty(); });
    if (events.empty()) GTEST_SKIP() << "no uevents arrive in this namespace";
    EXPECT_EQ(events, "A");
}

} // namespace
