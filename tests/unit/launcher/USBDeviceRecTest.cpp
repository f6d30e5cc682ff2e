#include "launcher/USBDeviceRec.h"
#include "ftdi-list/FakeSysfs.h"
#include "platform/posix/usb/UeventNotificationSource.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

using namespace mirota;
namespace fs = std::filesystem;

namespace {

// Fields joined by NUL characters, each ended by one, as the kernel sends them.
std::string Fields(std::initializer_list<std::string> fields) {
    std::string d;
    for (const auto& f : fields)
        d += f + '\0';
    return d;
}

// A component on one end of a socket pair; the test writes uevent datagrams into the other end.
class SocketPairNotifier : public ::testing::Test {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, fds), 0);
        writer = fds[1];
        root = fs::temp_directory_path() / ("mirota-notify-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        usb = std::make_unique<TComponentUSB>(std::make_unique<UeventNotificationSource>(fds[0], root));
        usb->OnUSBArrival = [this](TComponentUSB* sender) {
            EXPECT_EQ(sender, usb.get());
            events += "A";
        };
        usb->OnUSBRemove = [this](TComponentUSB* sender) {
            EXPECT_EQ(sender, usb.get());
            events += "R";
        };
        usb->OnShowException = [this](const std::string& text) { shown.push_back(text); };
    }
    void TearDown() override {
        usb.reset();
        ::close(writer);
        fs::remove_all(root);
    }

    void Send(const std::string& datagram) {
        ASSERT_EQ(::send(writer, datagram.data(), datagram.size(), 0), ssize_t(datagram.size()));
    }

    static std::string Uevent(const std::string& action, const std::string& subsystem,
                              const std::string& name) {
        const std::string path =
            "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/" + name + "/" + subsystem + "/" + name;
        return Fields({action + "@" + path, "ACTION=" + action, "DEVPATH=" + path, "SUBSYSTEM=" + subsystem,
                       "DEVNAME=" + name, "SEQNUM=4711"});
    }

    std::unique_ptr<TComponentUSB> usb;
    int writer = -1;
    fs::path root;
    std::string events;
    std::vector<std::string> shown;
};

TEST_F(SocketPairNotifier, TtyAddAndRemoveRaiseTheEvents) {
    EXPECT_GE(usb->Handle(), 0);
    usb->ProcessPending(); // nothing pending: returns at once
    EXPECT_EQ(events, "");

    Send(Uevent("add", "tty", "ttyUSB0"));
    Send(Uevent("remove", "tty", "ttyUSB0"));
    Send(Uevent("add", "tty", "ttyUSB1"));
    usb->ProcessPending();
    EXPECT_EQ(events, "ARA");
    EXPECT_TRUE(shown.empty());
}

TEST_F(SocketPairNotifier, OtherEventsAreIgnored) {
    const std::string ignored[] = {
        Uevent("change", "tty", "ttyUSB0"),
        Uevent("bind", "tty", "ttyUSB0"),
        Uevent("offline", "tty", "ttyUSB0"),
        Uevent("add", "usb", "1-1"),
        Uevent("remove", "usb-serial", "ttyUSB0"),
        Uevent("add", "block", "sdb1"),
        Fields({"libudev", "\xfe\xed\xca\xfe", "ACTION=add", "SUBSYSTEM=tty"}),
        Fields({"add@/devices/x", "SUBSYSTEM=tty"}), // no ACTION
        Fields({"add@/devices/x", "ACTION=add"}),    // no SUBSYSTEM
        "ACTION=add",
        "",
        std::string(20000, 'x'), // longer than any uevent: cut, dropped
    };
    for (const auto& d : ignored)
        Send(d);
    Send(Uevent("remove", "tty", "ttyUSB0"));
    usb->ProcessPending();
    EXPECT_EQ(events, "R");
}

TEST_F(SocketPairNotifier, ThrowingHandlerIsShownAndLaterNotificationsArrive) {
    int calls = 0;
    usb->OnUSBArrival = [&](TComponentUSB*) {
        if (++calls == 1) throw std::runtime_error("walk failed");
        if (calls == 2) throw 42;
        events += "A";
    };
    Send(Uevent("add", "tty", "ttyUSB0"));
    Send(Uevent("add", "tty", "ttyUSB1"));
    Send(Uevent("remove", "tty", "ttyUSB0"));
    Send(Uevent("add", "tty", "ttyUSB2"));
    usb->ProcessPending();
    EXPECT_EQ(shown, (std::vector<std::string>{"walk failed", "Unknown exception"}));
    EXPECT_EQ(events, "RA");
}

TEST_F(SocketPairNotifier, WithoutHandlersNotificationsAreConsumed) {
    usb->OnUSBArrival = nullptr;
    usb->OnUSBRemove = nullptr;
    Send(Uevent("add", "tty", "ttyUSB0"));
    Send(Uevent("remove", "tty", "ttyUSB0"));
    usb->ProcessPending();
    usb->OnUSBRemove = [&](TComponentUSB*) { events += "R"; };
    usb->ProcessPending();
    EXPECT_EQ(events, "") << "consumed notifications are not delivered again";
    Send(Uevent("remove", "tty", "ttyUSB0"));
    usb->ProcessPending();
    EXPECT_EQ(events, "R");
}

TEST_F(SocketPairNotifier, RescanFollowsTtysOfTheSysfsTree) {
    // The component was created before the tree existed: the baseline is empty.
    FakeSysfs fake(root);
    fake.AddRootHub(1, 4);
    EXPECT_TRUE(usb->Rescan());
    EXPECT_EQ(events, "");

    fake.AddFtdiAdapter("1-1", "A", "P", "ttyUSB0");
    usb->Rescan();
    EXPECT_EQ(events, "A");
    usb->Rescan();
    EXPECT_EQ(events, "A") << "nothing changed";

    fake.AddFtdiAdapter("1-2", "B", "P", std::nullopt); // no tty: no COM port came
    usb->Rescan();
    EXPECT_EQ(events, "A");

    fake.RemoveDevice("1-1");
    fake.AddFtdiAdapter("1-3", "C", "P", "ttyUSB1");
    usb->Rescan();
    EXPECT_EQ(events, "ARA");
}

TEST(ParseUevent, Fields) {
    const std::string d = Fields({"add@/devices/a/ttyUSB0", "ACTION=add", "DEVPATH=/devices/a/ttyUSB0",
                                  "SUBSYSTEM=tty", "DEVNAME=ttyUSB0", "MAJOR=188"});
    const auto e = ParseUevent(d.data(), d.size());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Action, "add");
    EXPECT_EQ(e->Subsystem, "tty");
    EXPECT_EQ(e->DevPath, "/devices/a/ttyUSB0");
    EXPECT_EQ(e->DevName, "ttyUSB0");
}

// The window message filter, independent of where the messages come from.
class ScriptedSource : public DeviceNotificationSource {
public:
    bool Register(TWndMethod proc) override {
        Proc = std::move(proc);
        return true;
    }
    std::intptr_t DefaultProc(const TMessage& m) override {
        ++DefaultCalls;
        return static_cast<std::intptr_t>(m.Msg) + 1;
    }
    TWndMethod Proc;
    int DefaultCalls = 0;
};

TEST(TComponentUSB, FiltersDeviceChangeMessages) {
    struct Case {
        const char* what;
        std::uintptr_t event;
        std::optional<std::uint32_t> deviceType; // none: lParam 0
        const char* raised;
    };
    using namespace devchange;
    const Case cases[] = {
        {"interface arrival", DeviceArrival, DevTypDeviceInterface, "A"},
        {"interface remove-complete", DeviceRemoveComplete, DevTypDeviceInterface, "R"},
        {"query remove", DeviceQueryRemove, DevTypDeviceInterface, ""},
        {"query remove failed", DeviceQueryRemoveFailed, DevTypDeviceInterface, ""},
        {"remove pending", DeviceRemovePending, DevTypDeviceInterface, ""},
        {"device nodes changed, lParam not looked at", DevNodesChanged, std::nullopt, ""},
        {"volume arrival", DeviceArrival, DevTypVolume, ""},
        {"port arrival", DeviceArrival, DevTypPort, ""},
        {"port remove-complete", DeviceRemoveComplete, DevTypPort, ""},
    };
    auto owned = std::make_unique<ScriptedSource>();
    ScriptedSource* source = owned.get();
    TComponentUSB usb(std::move(owned));
    ASSERT_TRUE(source->Proc) << "registered at construction";
    std::string events;
    usb.OnUSBArrival = [&](TComponentUSB*) { events += "A"; };
    usb.OnUSBRemove = [&](TComponentUSB*) { events += "R"; };
    for (const auto& c : cases) {
        events.clear();
        BroadcastDeviceInterface b{};
        b.dbcc_size = sizeof b;
        b.dbcc_devicetype = c.deviceType.value_or(0);
        TMessage m{WmDeviceChange, c.event, c.deviceType ? reinterpret_cast<std::intptr_t>(&b) : 0, 0};
        source->Proc(m);
        EXPECT_EQ(events, c.raised) << c.what;
        EXPECT_EQ(m.Result, 0) << c.what;
    }
    EXPECT_EQ(source->DefaultCalls, 0);

    TMessage other{0x0001, 0, 0, 0};
    usb.WndProc(other);
    EXPECT_EQ(source->DefaultCalls, 1);
    EXPECT_EQ(other.Result, 2) << "other messages get the default processing";
}

TEST(TComponentUSB, DerivedComponentMayOverrideTheHandler) {
    struct Counting : TComponentUSB {
        using TComponentUSB::TComponentUSB;
        void WMDeviceChange(TMessage& m) override {
            ++seen;
            TComponentUSB::WMDeviceChange(m);
        }
        int seen = 0;
    };
    auto owned = std::make_unique<ScriptedSource>();
    ScriptedSource* source = owned.get();
    Counting usb(std::move(owned));
    TMessage m{devchange::WmDeviceChange, devchange::DevNodesChanged, 0, 0};
    source->Proc(m);
    EXPECT_EQ(usb.seen, 1);
}

} // namespace
