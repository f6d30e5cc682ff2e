#include "platform/posix/usb/SysfsUSBPlatform.h"

#include "launcher/USBDeviceInfoCol.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <system_error>
#include <vector>

namespace mirota {

namespace fs = std::filesystem;

namespace {

constexpr std::u16string_view DevicePrefix = u"\\\\.\\";
constexpr std::u16string_view ControllerPrefix = u"\\\\.\\HCD";
constexpr std::u16string_view FtdiKeyPrefix = u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+";
constexpr std::u16string_view FtdiKeySuffix = u"A\\0000\\Device Parameters";

std::optional<unsigned> ParseNumber(const std::optional<std::string>& text, int base) {
    if (!text) return std::nullopt;
    std::string_view s = *text;
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    unsigned v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

// A name that stays inside the devices directory.
bool SafeName(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool IsDir(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

std::vector<std::string> SortedEntries(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void AppendUtf16(std::vector<std::uint8_t>& bytes, std::u16string_view text) {
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

// A name structure: header (the port for connection names), ActualLength, the name and its 0.
bool AnswerName(std::size_t headerSize, std::uint32_t port, const std::string& name, void* out,
                std::uint32_t outSize, std::uint32_t& bytesReturned) {
    if (!out || outSize < headerSize) return false;
    std::vector<std::uint8_t> answer(headerSize, 0);
    if (headerSize == sizeof(USB_NODE_CONNECTION_NAME)) std::memcpy(answer.data(), &port, 4);
    AppendUtf16(answer, FromUtf8(name));
    answer.push_back(0);
    answer.push_back(0);
    const auto length = static_cast<std::uint32_t>(answer.size());
    std::memcpy(answer.data() + headerSize - 4, &length, 4);
    bytesReturned = std::min<std::uint32_t>(outSize, length);
    std::memcpy(out, answer.data(), bytesReturned);
    return true;
}

} // namespace

std::optional<std::string> ReadSysfsAttribute(const fs::path& dir, const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

SysfsUSBPlatform::SysfsUSBPlatform(fs::path sysfsRoot)
    : FDevices(std::move(sysfsRoot) / "bus" / "usb" / "devices") {}

std::vector<std::u16string> SysfsUSBPlatform::HostControllerPaths() const {
    std::vector<unsigned> buses;
    for (const std::string& name : SortedEntries(FDevices)) {
        if (!name.starts_with("usb")) continue;
        const auto bus = ParseNumber(name.substr(3), 10);
        if (bus && *bus >= 1 && *bus <= 1001 && name == "usb" + std::to_string(*bus)) buses.push_back(*bus);
    }
    std::sort(buses.begin(), buses.end());
    std::vector<std::u16string> paths;
    for (unsigned bus : buses) {
        const std::string number = std::to_string(bus - 1);
        paths.push_back(std::u16string(ControllerPrefix) + std::u16string(number.begin(), number.end()));
    }
    return paths;
}

USBHandle SysfsUSBPlatform::OpenDevice(const std::u16string& path) {
    Node node;
    if (path.starts_with(ControllerPrefix)) {
        const auto n = ParseNumber(ToUtf8(path.substr(ControllerPrefix.size())), 10);
        if (!n || *n > 1000) return InvalidUSBHandle;
        node.Controller = true;
        node.Name = "usb" + std::to_string(*n + 1);
    } else if (path.starts_with(DevicePrefix)) {
        node.Name = ToUtf8(path.substr(DevicePrefix.size()));
        if (!SafeName(node.Name) || node.Name.find(':') != std::string::npos) return InvalidUSBHandle;
    } else {
        return InvalidUSBHandle;
    }
    if (!IsDir(FDevices / node.Name)) return InvalidUSBHandle;
    const USBHandle h = FNextHandle++;
    FHandles[h] = node;
    return h;
}

void SysfsUSBPlatform::CloseDevice(USBHandle handle) {
    FHandles.erase(handle);
}

std::optional<std::string> SysfsUSBPlatform::ChildName(const std::string& hub, std::uint32_t port) const {
    if (hub.starts_with("usb")) return hub.substr(3) + "-" + std::to_string(port);
    if (hub.find('-') != std::string::npos) return hub + "." + std::to_string(port);
    return std::nullopt;
}

bool SysfsUSBPlatform::IoControl(USBHandle handle, std::uint32_t code, const void* inBuffer,
                                 std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                                 std::uint32_t& bytesReturned) {
    bytesReturned = 0;
    auto it = FHandles.find(handle);
    if (it == FHandles.end()) return false;
    const Node node = it->second;
    const fs::path hubDir = FDevices / node.Name;

    if (node.Controller) {
        if (code != IOCTL_USB_GET_ROOT_HUB_NAME) return false;
        return AnswerName(sizeof(USB_ROOT_HUB_NAME), 0, node.Name, outBuffer, outSize, bytesReturned);
    }

    if (code == IOCTL_USB_GET_NODE_INFORMATION) {
        if (!outBuffer || outSize < sizeof(USB_NODE_INFORMATION)) return false;
        USB_NODE_INFORMATION info{};
        info.NodeType = UsbHub;
        info.u.HubInformation.HubDescriptor.bDescriptorLength = 9;
        info.u.HubInformation.HubDescriptor.bDescriptorType = 0x29;
        info.u.HubInformation.HubDescriptor.bNumberOfPorts = static_cast<std::uint8_t>(
            std::min(ParseNumber(ReadSysfsAttribute(hubDir, "maxchild"), 10).value_or(0), 255u));
        std::memcpy(outBuffer, &info, sizeof info);
        bytesReturned = sizeof info;
        return true;
    }

    if (!inBuffer || inSize < 4) return false;
    std::uint32_t port = 0;
    std::memcpy(&port, inBuffer, 4);
    const auto child = ChildName(node.Name, port);
    if (port == 0 || !child) return false;
    const fs::path childDir = FDevices / *child;
    const bool connected = IsDir(childDir);

    switch (code) {
    case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION: {
        if (!outBuffer || outSize < sizeof(USB_NODE_CONNECTION_INFORMATION)) return false;
        USB_NODE_CONNECTION_INFORMATION info{};
        info.ConnectionIndex = port;
        info.ConnectionStatus = connected ? DeviceConnected : NoDeviceConnected;
        if (connected) {
            auto& d = info.DeviceDescriptor;
            d.bLength = 18;
            d.bDescriptorType = 1;
            d.bDeviceClass = static_cast<std::uint8_t>(
                ParseNumber(ReadSysfsAttribute(childDir, "bDeviceClass"), 16).value_or(0));
            d.idVendor = static_cast<std::uint16_t>(
                ParseNumber(ReadSysfsAttribute(childDir, "idVendor"), 16).value_or(0));
            d.idProduct = static_cast<std::uint16_t>(
                ParseNumber(ReadSysfsAttribute(childDir, "idProduct"), 16).value_or(0));
            d.iManufacturer = ReadSysfsAttribute(childDir, "manufacturer") ? 1 : 0;
            d.iProduct = ReadSysfsAttribute(childDir, "product") ? 2 : 0;
            d.iSerialNumber = ReadSysfsAttribute(childDir, "serial") ? 3 : 0;
            info.DeviceIsHub = d.bDeviceClass == 0x09 ? 1 : 0;
            info.DeviceAddress = static_cast<std::uint16_t>(
                ParseNumber(ReadSysfsAttribute(childDir, "devnum"), 10).value_or(0));
        }
        std::memcpy(outBuffer, &info, sizeof info);
        bytesReturned = sizeof info;
        return true;
    }
    case IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION: {
        if (!connected || inSize < sizeof(USB_DESCRIPTOR_REQUEST) || !outBuffer ||
            outSize < sizeof(USB_DESCRIPTOR_REQUEST))
            return false;
        USB_DESCRIPTOR_REQUEST req;
        std::memcpy(&req, inBuffer, sizeof req);
        if ((req.SetupPacket.wValue >> 8) != USB_STRING_DESCRIPTOR_TYPE) return false;
        const int index = req.SetupPacket.wValue & 0xFF;
        std::vector<std::uint8_t> descriptor;
        if (index == 0) {
            descriptor = {4, USB_STRING_DESCRIPTOR_TYPE, 0x09, 0x04};
        } else {
            const char* attribute = index == 1   ? "manufacturer"
                                    : index == 2 ? "product"
                                    : index == 3 ? "serial"
                                                 : nullptr;
            const auto text = attribute ? ReadSysfsAttribute(childDir, attribute) : std::nullopt;
            if (!text) return false;
            descriptor = {0, USB_STRING_DESCRIPTOR_TYPE};
            AppendUtf16(descriptor, FromUtf8(*text));
        }
        const std::size_t limit =
            std::min<std::size_t>({req.SetupPacket.wLength, 254u, outSize - sizeof(USB_DESCRIPTOR_REQUEST)});
        if (descriptor.size() > limit) descriptor.resize(limit & ~std::size_t(1));
        if (!descriptor.empty()) descriptor[0] = static_cast<std::uint8_t>(descriptor.size());
        std::memcpy(outBuffer, &req, sizeof req);
        std::memcpy(static_cast<std::uint8_t*>(outBuffer) + sizeof req, descriptor.data(), descriptor.size());
        bytesReturned = static_cast<std::uint32_t>(sizeof req + descriptor.size());
        return true;
    }
    case IOCTL_USB_GET_NODE_CONNECTION_NAME:
    case IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME:
        if (!connected) return false;
        return AnswerName(sizeof(USB_NODE_CONNECTION_NAME), port, *child, outBuffer, outSize, bytesReturned);
    default:
        return false;
    }
}

std::optional<std::string> SysfsUSBPlatform::FindTtyName(const fs::path& deviceDir) {
    const std::string prefix = deviceDir.filename().string() + ":";
    for (const std::string& intf : SortedEntries(deviceDir)) {
        if (!intf.starts_with(prefix)) continue;
        const fs::path intfDir = deviceDir / intf;
        for (const std::string& e : SortedEntries(intfDir))
            if (e.starts_with("tty") && e != "tty" && IsDir(intfDir / e)) return e;
        for (const std::string& e : SortedEntries(intfDir / "tty"))
            if (e.starts_with("tty")) return e;
    }
    return std::nullopt;
}

std::optional<fs::path> SysfsUSBPlatform::FindFtdiDevice(const std::string& serial) const {
    for (const std::string& name : SortedEntries(FDevices)) {
        if (name.find(':') != std::string::npos || name.starts_with("usb")) continue;
        const fs::path dir = FDevices / name;
        if (ParseNumber(ReadSysfsAttribute(dir, "idVendor"), 16) == 0x0403u &&
            ParseNumber(ReadSysfsAttribute(dir, "idProduct"), 16) == 0x6001u &&
            ReadSysfsAttribute(dir, "serial").value_or(std::string()) == serial)
            return dir;
    }
    return std::nullopt;
}

RegistryString SysfsUSBPlatform::ReadRegistryString(const std::u16string& key,
                                                    const std::u16string& valueName) {
    if (!key.starts_with(FtdiKeyPrefix) || !key.ends_with(FtdiKeySuffix) ||
        key.size() < FtdiKeyPrefix.size() + FtdiKeySuffix.size())
        return {};
    const std::u16string serial =
        key.substr(FtdiKeyPrefix.size(), key.size() - FtdiKeyPrefix.size() - FtdiKeySuffix.size());
    const auto device = FindFtdiDevice(ToUtf8(serial));
    if (!device) return {};
    if (valueName != u"PortName") return {true, std::nullopt};
    const auto tty = FindTtyName(*device);
    if (!tty) return {true, std::nullopt};
    return {true, FromUtf8(*tty)};
}

} // namespace mirota
