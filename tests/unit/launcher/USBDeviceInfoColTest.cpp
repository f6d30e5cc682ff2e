#include "launcher/USBDeviceInfoCol.h"
#include "support/ScriptedUSBPlatform.h"

#include <gtest/gtest.h>

#include <functional>

using namespace mirota;

namespace mirota {
void PrintTo(const USB_Info& i, std::ostream* os) {
    *os << "{" << ToUtf8(i.Vendor_Name_Internal) << " | " << ToUtf8(i.Device_Name_Internal) << " | "
        << ToUtf8(i.Serial_Number_Internal) << " | " << ToUtf8(i.Port_Number) << "}";
}
} // namespace mirota

namespace {

using S = ScriptedUSBPlatform;

static_assert(IOCTL_USB_GET_ROOT_HUB_NAME == 0x220408);
static_assert(IOCTL_USB_GET_NODE_INFORMATION == 0x220408);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION == 0x22040C);
static_assert(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION == 0x220410);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_NAME == 0x220414);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME == 0x220420);

USB_Info Ftdi(std::u16string product, std::u16string serial, std::u16string port) {
    return {u"FTDI", std::move(product), std::move(serial), std::move(port)};
}

std::vector<std::u16string> Serials(const std::vector<USB_Info>& list) {
    std::vector<std::u16string> r;
    for (const auto& i : list)
        r.push_back(i.Serial_Number_Internal);
    return r;
}

std::string Show(const std::vector<std::u16string>& v) {
    std::string s;
    for (const auto& x : v)
        s += ToUtf8(x) + " ";
    return s;
}

// A machine whose controller 0 has `ports` on its root hub.
ScriptedController Controller(std::vector<ScriptedDevice> ports, std::u16string rootName = u"ROOT0") {
    ScriptedController c;
    c.RootHubName = std::move(rootName);
    c.RootHub.Ports = std::move(ports);
    return c;
}

TEST(TUSBInfoCol, EmptyMachineGivesEmptyList) {
    S platform;
    TUSBInfoCol col(platform);
    EXPECT_TRUE(col.GetDeviceList().empty());

    platform.Controllers[0] = Controller({});
    platform.Controllers[1] = Controller({S::EmptyPort(), S::EmptyPort()}, u"ROOT1");
    EXPECT_TRUE(col.GetDeviceList().empty());
    EXPECT_TRUE(col.LastFailures().empty());
    EXPECT_EQ(platform.OpenHandleCount(), 0u);
}

TEST(TUSBInfoCol, OnlyExactFtdiManufacturerIsListed) {
    struct Case {
        std::u16string manufacturer;
        bool listed;
    };
    const Case cases[] = {{u"FTDI", true},   {u"ftdi", false}, {u"FTDI ", false},   {u"FTDI Ltd", false},
                          {u" FTDI", false}, {u"", false},     {u"Prolific", false}};
    for (const auto& c : cases) {
        S platform;
        platform.Controllers[0] = Controller({S::Device(c.manufacturer, u"Mirota MX", u"A1")});
        platform.SetPortName(u"A1", u"COM3");
        const auto list = TUSBInfoCol(platform).GetDeviceList();
        if (c.listed) {
            ASSERT_EQ(list.size(), 1u);
            EXPECT_EQ(list[0], Ftdi(u"Mirota MX", u"A1", u"COM3"));
        } else {
            EXPECT_TRUE(list.empty()) << ToUtf8(c.manufacturer);
        }
    }
}

TEST(TUSBInfoCol, StringDecoding) {
    struct Case {
        const char* what;
        std::optional<std::u16string> product; // none: string index 0
        std::u16string expected;
    };
    const Case cases[] = {
        {"index 0", std::nullopt, u""},
        {"empty string", u"", u""},
        {"Latin-1 kept", u"Caf\u00e9 \u00ff", u"Caf\u00e9 \u00ff"},
        {"U+0100 ends the text", u"AB\u0100CD", u"AB"},
        {"only the low byte counts", u"\u0141\u2126x", u"A&x"},
        {"longest a device sends", std::u16string(200, u'p'), std::u16string(126, u'p')},
    };
    for (const auto& c : cases) {
        S platform;
        ScriptedDevice d = S::Device(u"FTDI", u"", u"S1");
        d.Product = c.product;
        platform.Controllers[0] = Controller({d});
        const auto list = TUSBInfoCol(platform).GetDeviceList();
        ASSERT_EQ(list.size(), 1u) << c.what;
        EXPECT_EQ(list[0].Device_Name_Internal, c.expected) << c.what;
    }
}

TEST(TUSBInfoCol, ManufacturerThatDecodesToFtdiIsListed) {
    // U+0146 U+0154 U+0144 U+0149 have the low bytes of "FTDI".
    S platform;
    platform.Controllers[0] = Controller({S::Device(u"\u0146\u0154\u0144\u0149", u"P", u"S")});
    const auto list = TUSBInfoCol(platform).GetDeviceList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Vendor_Name_Internal, u"FTDI");
}

TEST(TUSBInfoCol, FailedStringRequestGivesEmptyTextAndNoError) {
    S platform;
    ScriptedDevice broken = S::Device(u"FTDI", u"P", u"S0");
    broken.DescriptorFails = true;
    platform.Controllers[0] = Controller({broken, S::Device(u"FTDI", u"P", u"S1")});
    TUSBInfoCol col(platform);
    EXPECT_EQ(Serials(col.GetDeviceList()), std::vector<std::u16string>{u"S1"});
    EXPECT_TRUE(col.LastFailures().empty());
}

TEST(TUSBInfoCol, WalksHubsDepthFirstInPortOrder) {
    S platform;
    ScriptedDevice ftdiHub = S::Hub(
        u"HUB_FTDI", {S::Device(u"FTDI", u"P", u"C1"), S::EmptyPort(), S::Device(u"FTDI", u"P", u"C3")});
    ftdiHub.Manufacturer = u"FTDI";
    ftdiHub.Serial = u"HUB";
    ScriptedDevice deep = S::Hub(u"HUB_DEEP", {S::Hub(u"HUB_DEEPER", {S::Device(u"FTDI", u"P", u"D")})});
    platform.Controllers[0] = Controller({S::Device(u"FTDI", u"P", u"A"), ftdiHub, deep,
                                          S::Device(u"Other", u"P", u"X"), S::Device(u"FTDI", u"P", u"E")});
    platform.Controllers[4] = Controller({S::Device(u"FTDI", u"P", u"F")}, u"ROOT4");
    platform.Controllers[10] = Controller({S::Device(u"FTDI", u"P", u"never")}, u"ROOT10");

    TUSBInfoCol col(platform);
    const auto list = col.GetDeviceList();
    EXPECT_EQ(Serials(list), (std::vector<std::u16string>{u"A", u"HUB", u"C1", u"C3", u"D", u"E", u"F"}))
        << Show(Serials(list));
    EXPECT_TRUE(col.LastFailures().empty());
    EXPECT_EQ(platform.OpenHandleCount(), 0u);
    // Controllers 0 to 9 are tried, hubs are opened by their names.
    const auto& opened = platform.OpenedPaths();
    EXPECT_EQ(
        std::count_if(opened.begin(), opened.end(), [](auto& p) { return p.starts_with(u"\\\\.\\HCD"); }),
        10);
    EXPECT_NE(std::find(opened.begin(), opened.end(), u"\\\\.\\HUB_DEEPER"), opened.end());

    // A second walk starts a new list.
    EXPECT_EQ(col.GetDeviceList(), list);
}

TEST(TUSBInfoCol, PortNameLookup) {
    S platform;
    ScriptedDevice noSerial = S::Device(u"FTDI", u"P", u"");
    noSerial.Serial.reset();
    platform.Controllers[0] =
        Controller({S::Device(u"FTDI", u"P", u"WITH"), S::Device(u"FTDI", u"P", u"NOVALUE"),
                    S::Device(u"FTDI", u"P", u"NOKEY"), S::Device(u"FTDI", u"P", u"OTHERPID"), noSerial});
    platform.SetPortName(u"WITH", u"COM3");
    platform.SetPortName(u"NOVALUE", std::nullopt);
    platform.Registry
        [u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6015+OTHERPIDA\\0000\\Device Parameters"] =
        u"COM9";
    platform
        .Registry[u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+A\\0000\\Device Parameters"] =
        u"COM7";

    const auto list = TUSBInfoCol(platform).GetDeviceList();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].Port_Number, u"COM3");
    EXPECT_EQ(list[1].Port_Number, u"");
    EXPECT_EQ(list[2].Port_Number, u"Error");
    EXPECT_EQ(list[3].Port_Number, u"Error");
    EXPECT_EQ(list[4].Serial_Number_Internal, u"");
    EXPECT_EQ(list[4].Port_Number, u"COM7");
}

// Controller 1 fails at device X on its second port; what comes before stays, controller 2 is walked.
struct FailureCase {
    const char* what;
    std::function<void(ScriptedController&, ScriptedDevice& x)> arrange;
    std::string text;
    std::vector<std::u16string> serials;
};

TEST(TUSBInfoCol, FailureEndsOnlyThatController) {
    const std::vector<std::u16string> all = {u"A", u"B", u"D"};
    const std::vector<std::u16string> none = {u"A", u"D"};
    const FailureCase cases[] = {
        {"node connection request fails", [](auto&, auto& x) { x.ConnectionInfoFails = true; },
         "Could not get Node Connection Data", all},
        {"node connection answer too long", [](auto&, auto& x) { x.ConnectionInfoTooLong = true; },
         "DeviceIOControl returned >256 bytes of data", all},
        {"driver key length fails", [](auto&, auto& x) { x.NameLengthFails = true; },
         "Could not get LENGTH of IO Device Name", all},
        {"driver key text fails", [](auto&, auto& x) { x.NameTextFails = true; },
         "Could not get TEXT of IO Device Name", all},
        {"driver key name too long", [](auto&, auto& x) { x.NameActualLength = 257; },
         "External Hub Name > 256 Characters", all},
        {"external hub name length fails",
         [](auto&, auto& x) {
             x = S::Hub(u"HX", {});
             x.NameLengthFails = true;
         },
         "Could not get LENGTH of External Hub Name", all},
        {"external hub name text fails",
         [](auto&, auto& x) {
             x = S::Hub(u"HX", {});
             x.NameTextFails = true;
         },
         "Could not get TEXT of External Hub Name", all},
        {"external hub name too long",
         [](auto&, auto& x) {
             x = S::Hub(u"HX", {});
             x.NameActualLength = 300;
         },
         "External Hub Name > 256 Characters", all},
        {"external hub cannot be opened",
         [](auto&, auto& x) {
             x = S::Hub(u"HX", {});
             x.OpenFails = true;
         },
         "Could not open a connection to HX", all},
        {"external hub node information fails",
         [](auto&, auto& x) {
             x = S::Hub(u"HX", {});
             x.NodeInfoFails = true;
         },
         "Could not get node information", all},
        {"external hub node information too long",
         [](auto&, auto& x) {
             x = S::Hub(u"HX", {});
             x.NodeInfoTooLong = true;
         },
         "DeviceIOControl returned >256 bytes of data", all},
        {"failure deeper down keeps the hub's earlier ports",
         [](auto&, auto& x) {
             ScriptedDevice bad = S::Device(u"FTDI", u"P", u"never");
             bad.ConnectionInfoFails = true;
             x = S::Hub(u"HX", {S::Device(u"FTDI", u"P", u"C"), bad, S::Device(u"FTDI", u"P", u"never")});
         },
         "Could not get Node Connection Data",
         {u"A", u"B", u"C", u"D"}},
        {"root hub name length fails", [](auto& c, auto&) { c.NameLengthFails = true; },
         "Could not get LENGTH of Root Hub Name", none},
        {"root hub name text fails", [](auto& c, auto&) { c.NameTextFails = true; },
         "Could not get TEXT of Root Hub Name", none},
        {"root hub name too long", [](auto& c, auto&) { c.NameActualLength = 257; },
         "Root Hub Name > 256 Characters", none},
        {"root hub cannot be opened", [](auto& c, auto&) { c.RootHub.OpenFails = true; },
         "Could not open a connection to ROOT1", none},
        {"root hub node information fails", [](auto& c, auto&) { c.RootHub.NodeInfoFails = true; },
         "Could not get node information", none},
    };
    for (const auto& c : cases) {
        S platform;
        platform.Controllers[0] = Controller({S::Device(u"FTDI", u"P", u"A")});
        ScriptedController second =
            Controller({S::Device(u"FTDI", u"P", u"B"), S::Device(u"FTDI", u"P", u"X"),
                        S::Device(u"FTDI", u"P", u"never")},
                       u"ROOT1");
        c.arrange(second, second.RootHub.Ports[1]);
        platform.Controllers[1] = second;
        platform.Controllers[2] = Controller({S::Device(u"FTDI", u"P", u"D")}, u"ROOT2");
        platform.SetPortName(u"A", u"COM3");
        platform.SetPortName(u"D", u"COM5");

        TUSBInfoCol col(platform);
        const auto list = col.GetDeviceList();
        EXPECT_EQ(Serials(list), c.serials) << c.what << ": " << Show(Serials(list));
        ASSERT_EQ(col.LastFailures().size(), 1u) << c.what;
        EXPECT_EQ(col.LastFailures()[0], "HCD1: " + c.text) << c.what;
        EXPECT_EQ(platform.OpenHandleCount(), 0u) << c.what << ": handles left open";
        EXPECT_EQ(list.front().Port_Number, u"COM3") << c.what;
        EXPECT_EQ(list.back().Port_Number, u"COM5") << c.what;
    }
}

TEST(TUSBInfoCol, NameOfExactly256BytesIsAccepted) {
    // ActualLength counts the header, the UTF-16 name and its terminating 0.
    struct Case {
        const char* what;
        std::size_t rootChars, hubChars, keyChars;
        std::optional<std::string> failure;
    };
    const Case cases[] = {
        {"root hub name of 256 bytes", 125, 3, 3, std::nullopt},
        {"root hub name of 258 bytes", 126, 3, 3, "Root Hub Name > 256 Characters"},
        {"hub name of 256 bytes", 3, 123, 3, std::nullopt},
        {"hub name of 258 bytes", 3, 124, 3, "External Hub Name > 256 Characters"},
        {"driver key of 256 bytes", 3, 3, 123, std::nullopt},
        {"driver key of 258 bytes", 3, 3, 124, "External Hub Name > 256 Characters"},
    };
    for (const auto& c : cases) {
        S platform;
        ScriptedDevice device = S::Device(u"FTDI", u"P", u"A");
        device.Name = std::u16string(c.keyChars, u'k');
        platform.Controllers[0] = Controller({S::Hub(std::u16string(c.hubChars, u'h'), {device})},
                                             std::u16string(c.rootChars, u'r'));
        TUSBInfoCol col(platform);
        const auto list = col.GetDeviceList();
        if (c.failure) {
            EXPECT_TRUE(list.empty()) << c.what;
            ASSERT_EQ(col.LastFailures().size(), 1u) << c.what;
            EXPECT_EQ(col.LastFailures()[0], "HCD0: " + *c.failure) << c.what;
        } else {
            EXPECT_EQ(list.size(), 1u) << c.what;
            EXPECT_TRUE(col.LastFailures().empty()) << c.what;
        }
    }

    for (std::uint32_t reported : {256u, 257u}) {
        S platform;
        platform.Controllers[0] = Controller({S::Device(u"FTDI", u"P", u"A")});
        platform.Controllers[0].NameActualLength = reported;
        EXPECT_EQ(TUSBInfoCol(platform).GetDeviceList().size(), reported == 256 ? 1u : 0u) << reported;
    }
}

TEST(TUSBInfoCol, UnconnectedPortsAreSkipped) {
    S platform;
    ScriptedDevice failed = S::Device(u"FTDI", u"P", u"F");
    failed.ConnectionStatus = DeviceFailedEnumeration;
    platform.Controllers[0] = Controller({failed, S::EmptyPort(), S::Device(u"FTDI", u"P", u"OK")});
    EXPECT_EQ(Serials(TUSBInfoCol(platform).GetDeviceList()), std::vector<std::u16string>{u"OK"});
}

TEST(Utf8, RoundTrip) {
    const std::u16string text = u"FTDI \u00e9\u20ac\U0001F600";
    EXPECT_EQ(ToUtf8(text), "FTDI \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("a\xFF"
                       "b"),
              u"a\uFFFDb");
}

} // namespace
