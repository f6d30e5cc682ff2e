#include "platform/posix/usb/SysfsUSBPlatform.h"
#include "ftdi-list/FakeSysfs.h"
#include "launcher/USBDeviceInfoCol.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace mirota;

namespace mirota {
void PrintTo(const USB_Info& i, std::ostream* os) {
    *os << "{" << ToUtf8(i.Vendor_Name_Internal) << " | " << ToUtf8(i.Device_Name_Internal) << " | "
        << ToUtf8(i.Serial_Number_Internal) << " | " << ToUtf8(i.Port_Number) << "}";
}
} // namespace mirota
namespace fs = std::filesystem;

namespace {

class SysfsTree : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("mirota-sysfs-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    std::vector<USB_Info> Walk() {
        SysfsUSBPlatform platform(root);
        return TUSBInfoCol(platform).GetDeviceList();
    }

    fs::path root;
};

USB_Info Ftdi(std::u16string product, std::u16string serial, std::u16string port) {
    return {u"FTDI", std::move(product), std::move(serial), std::move(port)};
}

TEST_F(SysfsTree, TwoBusesWithHubAndAdapters) {
    FakeSysfs fake(root);
    fake.AddRootHub(1, 4);
    fake.AddRootHub(2, 2);
    fake.AddFtdiAdapter("1-1", "A1", "Mirota MX 4", "ttyUSB0");
    FakeUsbDevice mouse;
    mouse.VendorId = "046d";
    mouse.ProductId = "c077";
    mouse.Manufacturer = "Logitech";
    mouse.Product = "USB Optical Mouse";
    fake.AddDevice("1-2", mouse);
    fake.AddHub("1-3", 4);
    fake.AddFtdiAdapter("1-3.1", "B2", "Mirota DR 2", std::nullopt);
    fake.AddHub("1-3.3", 2);
    fake.AddFtdiAdapter("1-3.3.2", "C3", "Deep", "ttyUSB1");
    FakeUsbDevice otherPid;
    otherPid.ProductId = "6015";
    otherPid.Manufacturer = "FTDI";
    otherPid.Product = "FT231X";
    otherPid.Serial = "D4";
    otherPid.Tty = "ttyUSB2";
    fake.AddDevice("2-1", otherPid);
    FakeUsbDevice lowercase;
    lowercase.Manufacturer = "ftdi";
    lowercase.Product = "clone";
    lowercase.Serial = "E5";
    fake.AddDevice("2-2", lowercase);

    const auto list = Walk();
    const std::vector<USB_Info> expected = {
        Ftdi(u"Mirota MX 4", u"A1", u"ttyUSB0"), Ftdi(u"Mirota DR 2", u"B2", u""),
        Ftdi(u"Deep", u"C3", u"ttyUSB1"),
        Ftdi(u"FT231X", u"D4", u"Error"), // not 0403:6001, so not found by the port look-up
    };
    EXPECT_EQ(list, expected);

    fake.RemoveDevice("1-3");
    fake.RemoveDevice("1-1");
    EXPECT_EQ(Walk(), std::vector<USB_Info>{expected[3]});
    EXPECT_FALSE(fs::exists(root / "class" / "tty" / "ttyUSB1"));
    EXPECT_TRUE(fs::exists(root / "class" / "tty" / "ttyUSB2"));
}

TEST_F(SysfsTree, EmptyOrMissingTree) {
    EXPECT_TRUE(Walk().empty());
    root /= "missing";
    EXPECT_TRUE(Walk().empty());
}

// Every root hub present is walked, in bus order (machines with many controllers have buses above 10).
TEST_F(SysfsTree, EveryRootHubIsWalkedInBusOrder) {
    FakeSysfs fake(root);
    for (int bus : {11, 1, 10, 2, 23}) {
        fake.AddRootHub(bus, 1);
        fake.AddFtdiAdapter(std::to_string(bus) + "-1", "S" + std::to_string(bus), "P", std::nullopt);
    }
    std::vector<std::u16string> serials;
    for (const USB_Info& info : Walk())
        serials.push_back(info.Serial_Number_Internal);
    EXPECT_EQ(serials, (std::vector<std::u16string>{u"S1", u"S2", u"S10", u"S11", u"S23"}));
    EXPECT_EQ(SysfsUSBPlatform(root).HostControllerPaths(),
              (std::vector<std::u16string>{u"\\\\.\\HCD0", u"\\\\.\\HCD1", u"\\\\.\\HCD9", u"\\\\.\\HCD10",
                                           u"\\\\.\\HCD22"}));
}

TEST_F(SysfsTree, PlainDirectoriesAndTtyClassLayout) {
    // Without links: device directories right in bus/usb/devices; a tty below <intf>/tty/ as cdc-acm has it.
    const fs::path devices = root / "bus" / "usb" / "devices";
    auto write = [](const fs::path& dir, const char* name, const std::string& value) {
        fs::create_directories(dir);
        std::ofstream(dir / name) << value << "\n";
    };
    write(devices / "usb3", "maxchild", "2");
    write(devices / "3-2", "idVendor", "0403");
    write(devices / "3-2", "idProduct", "6001");
    write(devices / "3-2", "bDeviceClass", "00");
    write(devices / "3-2", "manufacturer", "FTDI");
    write(devices / "3-2", "product", "Caf\xC3\xA9 \xC5\x81");
    write(devices / "3-2", "serial", "Z9");
    fs::create_directories(devices / "3-2" / "3-2:1.0" / "tty" / "ttyUSB7");

    const auto list = Walk();
    ASSERT_EQ(list.size(), 1u);
    // U+00E9 stays, U+0141 keeps only its low byte.
    EXPECT_EQ(list[0], Ftdi(u"Caf\u00e9 A", u"Z9", u"ttyUSB7"));
}

TEST_F(SysfsTree, MissingAndBrokenAttributes) {
    FakeSysfs fake(root);
    fake.AddRootHub(1, 3);
    FakeUsbDevice noStrings;
    noStrings.VendorId = "1a86";
    fake.AddDevice("1-1", noStrings);
    fake.AddFtdiAdapter("1-3", "", "empty serial", "ttyUSB4");
    std::ofstream(root / "bus/usb/devices/usb1/maxchild") << "three\n";
    EXPECT_TRUE(Walk().empty()) << "a hub whose port count cannot be read has no ports";

    std::ofstream(root / "bus/usb/devices/usb1/maxchild") << "3\n";
    EXPECT_EQ(Walk(), std::vector<USB_Info>{Ftdi(u"empty serial", u"", u"ttyUSB4")});
}

TEST_F(SysfsTree, HubNamesStayInsideTheTree) {
    FakeSysfs fake(root);
    fake.AddRootHub(1, 1);
    fake.AddFtdiAdapter("1-1", "A", "P", "ttyUSB0");
    SysfsUSBPlatform platform(root);
    for (const char16_t* path : {u"\\\\.\\..", u"\\\\.\\", u"\\\\.\\usb1/../usb1", u"\\\\.\\1-1:1.0", u"usb1",
                                 u"\\\\.\\HCD", u"\\\\.\\HCDx", u"\\\\.\\HCD5"})
        EXPECT_EQ(platform.OpenDevice(path), InvalidUSBHandle) << ToUtf8(path);
    const USBHandle h = platform.OpenDevice(u"\\\\.\\HCD0");
    EXPECT_NE(h, InvalidUSBHandle);
    platform.CloseDevice(h);
}

TEST_F(SysfsTree, DemoTreeListsTwoAdapters) {
    WriteDemoSysfs(root);
    EXPECT_EQ(Walk(), (std::vector<USB_Info>{Ftdi(u"Mirota MX 4", u"FT4M7Q01", u"ttyUSB0"),
                                             Ftdi(u"Mirota DR 2", u"FT4M7Q02", u"ttyUSB1")}));

    fs::remove_all(root);
    WriteDemoSysfs(root, {{"X1", "Mirota X", "ttyUSB5"}, {"X2", "Other", ""}, {"X3", "Third", "ttyUSB6"}});
    EXPECT_EQ(Walk(), (std::vector<USB_Info>{Ftdi(u"Mirota X", u"X1", u"ttyUSB5"), Ftdi(u"Other", u"X2", u""),
                                             Ftdi(u"Third", u"X3", u"ttyUSB6")}));
}

} // namespace
