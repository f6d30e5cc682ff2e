#include "launcher/USBDeviceInfoCol.h"

#include "text/Utf8.h"

#include <array>
#include <cstring>
#include <utility>

namespace mirota {

namespace {

// Size of the node information and node connection information areas handed to the requests.
constexpr std::uint32_t NodeAreaSize = 256;
// The name requests: a 260-byte buffer; names of more than 256 bytes are refused.
constexpr std::uint32_t NameBufferSize = 260;
constexpr std::uint32_t MaxNameLength = 256;
// The string descriptor request: 286 bytes of a zeroed area are handed to the request.
constexpr std::uint32_t DescriptorRequestSize = 286;
constexpr std::uint16_t LanguageEnglishUS = 0x0409;
constexpr std::uint16_t DescriptorLength = 254;

std::uint32_t ReadU32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void WriteU32(std::uint8_t* p, std::uint32_t v) {
    std::memcpy(p, &v, sizeof v);
}

// The UTF-16 text at data, up to its first 0 code unit or the end of the area.
std::u16string NameText(const std::uint8_t* data, std::size_t bytes) {
    std::u16string name;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        name.push_back(c);
    }
    return name;
}

std::u16string Ascii(const char* s) {
    std::u16string r;
    while (*s)
        r.push_back(static_cast<unsigned char>(*s++));
    return r;
}

} // namespace

// An open hub, closed when the walk of that hub ends, whichever way it ends.
class TUSBInfoCol::HubHandle {
public:
    HubHandle(USBPlatform& platform, USBHandle handle) : FPlatform(&platform), FHandle(handle) {}
    HubHandle(HubHandle&& other) noexcept
        : FPlatform(other.FPlatform), FHandle(std::exchange(other.FHandle, InvalidUSBHandle)) {}
    HubHandle& operator=(HubHandle&&) = delete;
    ~HubHandle() {
        if (FHandle != InvalidUSBHandle) FPlatform->CloseDevice(FHandle);
    }
    USBHandle Get() const { return FHandle; }

private:
    USBPlatform* FPlatform;
    USBHandle FHandle;
};

std::vector<std::u16string> USBPlatform::HostControllerPaths() const {
    std::vector<std::u16string> paths;
    for (int n = 0; n <= 9; ++n)
        paths.push_back(u"\\\\.\\HCD" + Ascii(std::to_string(n).c_str()));
    return paths;
}

TUSBInfoCol::TUSBInfoCol(USBPlatform& platform) : FPlatform(platform) {}

std::vector<USB_Info> TUSBInfoCol::GetDeviceList() {
    olDeviceList.clear();
    FLastFailures.clear();
    for (const std::u16string& path : FPlatform.HostControllerPaths()) {
        const USBHandle controller = FPlatform.OpenDevice(path);
        if (controller == InvalidUSBHandle) continue;
        HubHandle closer(FPlatform, controller);
        try {
            EnumerateHostController(controller);
        } catch (const std::exception& e) {
            // Ends this controller only; what was found stays.
            const std::size_t name = path.rfind(u'\\');
            FLastFailures.push_back(ToUtf8(name == std::u16string::npos ? path : path.substr(name + 1)) +
                                    ": " + e.what());
        }
    }
    for (USB_Info& info : olDeviceList)
        info.Port_Number = ReadPortName(info.Serial_Number_Internal);
    return std::move(olDeviceList);
}

void TUSBInfoCol::EnumerateHostController(USBHandle controller) {
    const std::u16string name = GetRootHubName("Root Hub", controller, IOCTL_USB_GET_ROOT_HUB_NAME);
    HubHandle root = OpenHub(name);
    USB_NODE_INFORMATION info{};
    GetNodeInformation(root.Get(), info);
    caLevel = EnumerateHubPorts(std::move(root), info.u.HubInformation.HubDescriptor.bNumberOfPorts, 1);
}

std::uint32_t TUSBInfoCol::EnumerateHubPorts(HubHandle hub, unsigned portCount, std::uint32_t level) {
    caLevel = level;
    for (unsigned port = 1; port <= portCount; ++port) {
        USB_NODE_CONNECTION_INFORMATION connection{};
        GetNodeConnectionInformation(hub.Get(), port, connection);
        if (connection.ConnectionStatus != DeviceConnected) continue;
        if (connection.DeviceIsHub) {
            const std::u16string name =
                GetNodeConnectionName("External Hub", port, hub.Get(), IOCTL_USB_GET_NODE_CONNECTION_NAME);
            HubHandle child = OpenHub(name);
            USB_NODE_INFORMATION info{};
            GetNodeInformation(child.Get(), info);
            // The hub's own strings are read through its parent; an FTDI hub is listed itself.
            AddDevice(connection, hub.Get());
            caLevel = EnumerateHubPorts(std::move(child), info.u.HubInformation.HubDescriptor.bNumberOfPorts,
                                        level + 1);
        } else {
            // The driver key name is not used, but a failure to get it ends the walk like any other.
            GetNodeConnectionName("IO Device", port, hub.Get(), IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME);
            AddDevice(connection, hub.Get());
        }
    }
    return caLevel;
}

void TUSBInfoCol::AddDevice(const USB_NODE_CONNECTION_INFORMATION& connection, USBHandle hub) {
    const auto& d = connection.DeviceDescriptor;
    std::u16string manufacturer = GetStringDescriptor(hub, connection.ConnectionIndex, d.iManufacturer);
    std::u16string product = GetStringDescriptor(hub, connection.ConnectionIndex, d.iProduct);
    std::u16string serial = GetStringDescriptor(hub, connection.ConnectionIndex, d.iSerialNumber);
    if (manufacturer == u"FTDI")
        olDeviceList.push_back({std::move(manufacturer), std::move(product), std::move(serial), {}});
}

TUSBInfoCol::HubHandle TUSBInfoCol::OpenHub(const std::u16string& name) {
    const USBHandle h = FPlatform.OpenDevice(u"\\\\.\\" + name);
    if (h == InvalidUSBHandle) throw USBWalkError("Could not open a connection to " + ToUtf8(name));
    return HubHandle(FPlatform, h);
}

std::u16string TUSBInfoCol::GetRootHubName(const std::string& kind, USBHandle controller,
                                           std::uint32_t request) {
    std::array<std::uint8_t, NameBufferSize> buffer{};
    std::uint32_t returned = 0;
    WriteU32(buffer.data(), 0);
    if (!FPlatform.IoControl(controller, request, nullptr, 0, buffer.data(), NameBufferSize, returned))
        throw USBWalkError("Could not get LENGTH of " + kind + " Name");
    const std::uint32_t actualLength = ReadU32(buffer.data());
    if (actualLength > MaxNameLength) throw USBWalkError(kind + " Name > 256 Characters");
    if (!FPlatform.IoControl(controller, request, buffer.data(), actualLength, buffer.data(), actualLength,
                             returned))
        throw USBWalkError("Could not get TEXT of " + kind + " Name");
    return NameText(buffer.data() + sizeof(USB_ROOT_HUB_NAME), NameBufferSize - sizeof(USB_ROOT_HUB_NAME));
}

std::u16string TUSBInfoCol::GetNodeConnectionName(const std::string& kind, std::uint32_t port, USBHandle hub,
                                                  std::uint32_t request) {
    std::array<std::uint8_t, NameBufferSize> buffer{};
    std::uint32_t returned = 0;
    WriteU32(buffer.data(), port);
    if (!FPlatform.IoControl(hub, request, buffer.data(), NameBufferSize, buffer.data(), NameBufferSize,
                             returned))
        throw USBWalkError("Could not get LENGTH of " + kind + " Name");
    const std::uint32_t actualLength = ReadU32(buffer.data() + 4);
    if (actualLength > MaxNameLength)
        throw USBWalkError("External Hub Name > 256 Characters"); // the same text for both kinds
    WriteU32(buffer.data(), port);
    if (!FPlatform.IoControl(hub, request, buffer.data(), actualLength, buffer.data(), actualLength,
                             returned))
        throw USBWalkError("Could not get TEXT of " + kind + " Name");
    return NameText(buffer.data() + sizeof(USB_NODE_CONNECTION_NAME),
                    NameBufferSize - sizeof(USB_NODE_CONNECTION_NAME));
}

void TUSBInfoCol::GetNodeInformation(USBHandle hub, USB_NODE_INFORMATION& info) {
    std::array<std::uint8_t, NodeAreaSize> area{};
    std::uint32_t returned = 0;
    if (!FPlatform.IoControl(hub, IOCTL_USB_GET_NODE_INFORMATION, area.data(), NodeAreaSize, area.data(),
                             NodeAreaSize, returned))
        throw USBWalkError("Could not get node information");
    if (returned > NodeAreaSize) throw USBWalkError("DeviceIOControl returned >256 bytes of data");
    std::memcpy(&info, area.data(), sizeof info);
}

void TUSBInfoCol::GetNodeConnectionInformation(USBHandle hub, std::uint32_t port,
                                               USB_NODE_CONNECTION_INFORMATION& info) {
    std::array<std::uint8_t, NodeAreaSize> area{};
    std::uint32_t returned = 0;
    WriteU32(area.data(), port);
    if (!FPlatform.IoControl(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, area.data(), NodeAreaSize,
                             area.data(), NodeAreaSize, returned))
        throw USBWalkError("Could not get Node Connection Data");
    if (returned > NodeAreaSize) throw USBWalkError("DeviceIOControl returned >256 bytes of data");
    std::memcpy(&info, area.data(), sizeof info);
    info.ConnectionIndex = port;
}

std::u16string TUSBInfoCol::GetStringDescriptor(USBHandle hub, std::uint32_t connectionIndex,
                                                std::uint8_t descriptorIndex) {
    // The request and the descriptor behind it, in a zeroed area larger than what the request may fill,
    // so a descriptor without a terminating character still ends inside the area.
    std::array<std::uint8_t, 2013> buffer{};
    USB_DESCRIPTOR_REQUEST request{};
    request.ConnectionIndex = connectionIndex;
    request.SetupPacket.bmRequest = 0;
    request.SetupPacket.bRequest = 0;
    request.SetupPacket.wValue =
        static_cast<std::uint16_t>((USB_STRING_DESCRIPTOR_TYPE << 8) | descriptorIndex);
    request.SetupPacket.wIndex = descriptorIndex != 0 ? LanguageEnglishUS : 0;
    request.SetupPacket.wLength = DescriptorLength;
    std::memcpy(buffer.data(), &request, sizeof request);

    std::uint32_t returned = 0;
    std::int64_t count = 0;
    if (FPlatform.IoControl(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, buffer.data(),
                            DescriptorRequestSize, buffer.data(), DescriptorRequestSize, returned))
        count = static_cast<std::int64_t>(returned) - static_cast<std::int64_t>(sizeof request);
    if (count <= 0 || descriptorIndex == 0) return {};

    // The characters follow the descriptor's length and type bytes. Each contributes its low byte;
    // the first low byte of 0 ends the text. The descriptor's own length is not consulted.
    std::u16string text;
    for (std::size_t i = sizeof request + 2; i + 1 < DescriptorRequestSize; i += 2) {
        const std::uint8_t low = buffer[i];
        if (low == 0) break;
        text.push_back(low);
    }
    return text;
}

std::u16string TUSBInfoCol::ReadPortName(const std::u16string& serialNumber) {
    std::u16string result = u"Error";
    const RegistryString r =
        FPlatform.ReadRegistryString(u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+" +
                                         serialNumber + u"A\\0000\\Device Parameters",
                                     u"PortName");
    if (r.KeyOpened) result = r.Value.value_or(std::u16string());
    return result;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        std::uint32_t c = 0xFFFD;
        std::size_t len = 1;
        auto cont = [&](std::size_t k) {
            return i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        };
        auto bits = [&](std::size_t k) { return static_cast<std::uint32_t>(text[i + k]) & 0x3F; };
        if (b0 < 0x80) {
            c = b0;
        } else if (b0 >= 0xC2 && b0 < 0xE0 && cont(1)) {
            c = ((b0 & 0x1Fu) << 6) | bits(1);
            len = 2;
        } else if (b0 >= 0xE0 && b0 < 0xF0 && cont(1) && cont(2)) {
            c = ((b0 & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
            len = 3;
            if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        } else if (b0 >= 0xF0 && b0 < 0xF5 && cont(1) && cont(2) && cont(3)) {
            c = ((b0 & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
            len = 4;
            if (c < 0x10000 || c > 0x10FFFF) c = 0xFFFD;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += len;
    }
    return out;
}

} // namespace mirota
