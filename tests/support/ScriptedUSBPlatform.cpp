#include "support/ScriptedUSBPlatform.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace mirota {

namespace {

constexpr std::u16string_view DevicePrefix = u"\\\\.\\";
constexpr std::u16string_view ControllerPrefix = u"\\\\.\\HCD";

std::uint32_t ReadU32(const void* p, std::size_t offset = 0) {
    std::uint32_t v = 0;
    std::memcpy(&v, static_cast<const std::uint8_t*>(p) + offset, sizeof v);
    return v;
}

// Copies as much of src as fits into out; returns the bytes copied.
std::uint32_t CopyOut(void* out, std::uint32_t outSize, const std::vector<std::uint8_t>& src) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(outSize, src.size()));
    if (n) std::memcpy(out, src.data(), n);
    return n;
}

void AppendUtf16(std::vector<std::uint8_t>& bytes, std::u16string_view text) {
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

} // namespace

ScriptedDevice ScriptedUSBPlatform::Device(std::u16string manufacturer, std::u16string product,
                                           std::u16string serial) {
    ScriptedDevice d;
    d.Manufacturer = std::move(manufacturer);
    d.Product = std::move(product);
    d.Serial = std::move(serial);
    d.Name = u"{36fc9e60-c465-11cf-8056-444553540000}\\0001";
    return d;
}

ScriptedDevice ScriptedUSBPlatform::Hub(std::u16string name, std::vector<ScriptedDevice> ports) {
    ScriptedDevice d;
    d.VendorId = 0x05E3;
    d.ProductId = 0x0608;
    d.Manufacturer = u"GenesysLogic";
    d.Product = u"USB2.0 Hub";
    d.IsHub = true;
    d.Name = std::move(name);
    d.Ports = std::move(ports);
    return d;
}

ScriptedDevice ScriptedUSBPlatform::EmptyPort() {
    ScriptedDevice d;
    d.ConnectionStatus = NoDeviceConnected;
    return d;
}

std::u16string ScriptedUSBPlatform::FtdiKey(const std::u16string& serial) {
    return u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+" + serial +
           u"A\\0000\\Device Parameters";
}

void ScriptedUSBPlatform::SetPortName(const std::u16string& serial, std::optional<std::u16string> portName) {
    Registry[FtdiKey(serial)] = std::move(portName);
}

void ScriptedUSBPlatform::IndexHubs() {
    FHubs.clear();
    std::function<void(ScriptedDevice&)> add = [&](ScriptedDevice& d) {
        if (d.IsHub) FHubs.emplace(d.Name, &d); // the first of equal names wins
        for (ScriptedDevice& p : d.Ports)
            add(p);
    };
    for (auto& [n, c] : Controllers) {
        c.RootHub.IsHub = true;
        c.RootHub.Name = c.RootHubName;
        add(c.RootHub);
    }
}

ScriptedDevice* ScriptedUSBPlatform::FindHub(const std::u16string& name) {
    auto it = FHubs.find(name);
    return it == FHubs.end() ? nullptr : it->second;
}

USBHandle ScriptedUSBPlatform::OpenDevice(const std::u16string& path) {
    FOpenedPaths.push_back(path);
    Target t;
    if (path.starts_with(ControllerPrefix)) {
        const std::u16string digits = path.substr(ControllerPrefix.size());
        if (digits.empty() || digits.size() > 3 ||
            !std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
            return InvalidUSBHandle;
        int n = 0;
        for (char16_t c : digits)
            n = n * 10 + (c - u'0');
        auto it = Controllers.find(n);
        if (it == Controllers.end()) return InvalidUSBHandle;
        t.Controller = &it->second;
        IndexHubs(); // the description may have changed since the last walk
    } else if (path.starts_with(DevicePrefix)) {
        t.Hub = FindHub(path.substr(DevicePrefix.size()));
        if (!t.Hub || t.Hub->OpenFails) return InvalidUSBHandle;
    } else {
        return InvalidUSBHandle;
    }
    const USBHandle h = FNextHandle++;
    FHandles[h] = t;
    return h;
}

void ScriptedUSBPlatform::CloseDevice(USBHandle handle) {
    FHandles.erase(handle);
    std::erase_if(FLengthAsked, [&](const auto& k) { return std::get<0>(k) == handle; });
}

bool ScriptedUSBPlatform::AnswerName(USBHandle handle, const void* owner, std::uint32_t request,
                                     std::size_t headerSize, const std::u16string& name,
                                     const std::optional<std::uint32_t>& actualLength, bool lengthFails,
                                     bool textFails, void* outBuffer, std::uint32_t outSize,
                                     std::uint32_t& bytesReturned) {
    // The first request of a pair asks for the length, the second for the text.
    const auto key = std::make_tuple(handle, owner, request);
    const bool second = FLengthAsked.erase(key) > 0;
    if (!second) FLengthAsked.insert(key);
    if (second ? textFails : lengthFails) return false;
    if (!outBuffer || outSize < headerSize) return false;
    std::vector<std::uint8_t> answer(headerSize, 0);
    if (headerSize == sizeof(USB_NODE_CONNECTION_NAME))
        std::memcpy(answer.data(), outBuffer, 4); // ConnectionIndex stays
    AppendUtf16(answer, name);
    answer.push_back(0);
    answer.push_back(0);
    const std::uint32_t length = actualLength.value_or(static_cast<std::uint32_t>(answer.size()));
    std::memcpy(answer.data() + headerSize - 4, &length, 4);
    bytesReturned = CopyOut(outBuffer, outSize, answer);
    return true;
}

bool ScriptedUSBPlatform::IoControl(USBHandle handle, std::uint32_t code, const void* inBuffer,
                                    std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                                    std::uint32_t& bytesReturned) {
    bytesReturned = 0;
    auto it = FHandles.find(handle);
    if (it == FHandles.end()) return false;
    const Target t = it->second;

    if (t.Controller) {
        if (code != IOCTL_USB_GET_ROOT_HUB_NAME) return false;
        const ScriptedController& c = *t.Controller;
        return AnswerName(handle, &c, code, sizeof(USB_ROOT_HUB_NAME), c.RootHubName, c.NameActualLength,
                          c.NameLengthFails, c.NameTextFails, outBuffer, outSize, bytesReturned);
    }

    const ScriptedDevice& hub = *t.Hub;
    if (code == IOCTL_USB_GET_NODE_INFORMATION) {
        if (hub.NodeInfoFails || outSize < sizeof(USB_NODE_INFORMATION)) return false;
        USB_NODE_INFORMATION info{};
        info.NodeType = UsbHub;
        info.u.HubInformation.HubDescriptor.bDescriptorLength = 9;
        info.u.HubInformation.HubDescriptor.bDescriptorType = 0x29;
        info.u.HubInformation.HubDescriptor.bNumberOfPorts =
            static_cast<std::uint8_t>(std::min<std::size_t>(hub.Ports.size(), 255));
        std::memcpy(outBuffer, &info, sizeof info);
        bytesReturned = hub.NodeInfoTooLong ? 257 : sizeof info;
        return true;
    }

    // The remaining requests name a port in their first four bytes.
    if (!inBuffer || inSize < 4) return false;
    const std::uint32_t port = ReadU32(inBuffer);
    if (port < 1 || port > hub.Ports.size()) return false;
    const ScriptedDevice& d = hub.Ports[port - 1];

    switch (code) {
    case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION: {
        if (d.ConnectionInfoFails || outSize < sizeof(USB_NODE_CONNECTION_INFORMATION)) return false;
        USB_NODE_CONNECTION_INFORMATION info{};
        info.ConnectionIndex = port;
        info.ConnectionStatus = d.ConnectionStatus;
        if (d.ConnectionStatus == DeviceConnected) {
            auto& dd = info.DeviceDescriptor;
            dd.bLength = 18;
            dd.bDescriptorType = 1;
            dd.bcdUSB = 0x0200;
            dd.bDeviceClass = d.IsHub ? 9 : 0;
            dd.idVendor = d.VendorId;
            dd.idProduct = d.ProductId;
            dd.iManufacturer = d.Manufacturer ? 1 : 0;
            dd.iProduct = d.Product ? 2 : 0;
            dd.iSerialNumber = d.Serial ? 3 : 0;
            dd.bNumConfigurations = 1;
            info.DeviceIsHub = d.IsHub ? 1 : 0;
            info.DeviceAddress = static_cast<std::uint16_t>(port + 1);
        }
        std::memcpy(outBuffer, &info, sizeof info);
        bytesReturned = d.ConnectionInfoTooLong ? 257 : sizeof info;
        return true;
    }
    case IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION: {
        if (d.DescriptorFails || d.ConnectionStatus != DeviceConnected ||
            inSize < sizeof(USB_DESCRIPTOR_REQUEST) || outSize < sizeof(USB_DESCRIPTOR_REQUEST))
            return false;
        USB_DESCRIPTOR_REQUEST req;
        std::memcpy(&req, inBuffer, sizeof req);
        if ((req.SetupPacket.wValue >> 8) != USB_STRING_DESCRIPTOR_TYPE) return false;
        const int index = req.SetupPacket.wValue & 0xFF;
        // A device has its strings in US English only; index 0 (the language list) takes no language.
        if (req.SetupPacket.wIndex != (index == 0 ? 0 : 0x0409) || req.SetupPacket.bmRequest != 0 ||
            req.SetupPacket.bRequest != 0)
            return false;
        std::vector<std::uint8_t> descriptor;
        if (index == 0) {
            descriptor = {4, USB_STRING_DESCRIPTOR_TYPE, 0x09, 0x04}; // supported languages
        } else {
            const std::optional<std::u16string>* s = index == 1   ? &d.Manufacturer
                                                     : index == 2 ? &d.Product
                                                     : index == 3 ? &d.Serial
                                                                  : nullptr;
            if (!s || !*s) return false;
            descriptor = {0, USB_STRING_DESCRIPTOR_TYPE};
            AppendUtf16(descriptor, **s);
        }
        // A device answers at most wLength bytes, and a descriptor's length fits in one byte.
        const std::size_t limit =
            std::min<std::size_t>({req.SetupPacket.wLength, 254u, outSize - sizeof(USB_DESCRIPTOR_REQUEST)});
        if (descriptor.size() > limit) descriptor.resize(limit & ~std::size_t(1));
        if (!descriptor.empty()) descriptor[0] = static_cast<std::uint8_t>(descriptor.size());
        std::vector<std::uint8_t> answer(sizeof req);
        std::memcpy(answer.data(), &req, sizeof req);
        answer.insert(answer.end(), descriptor.begin(), descriptor.end());
        bytesReturned = CopyOut(outBuffer, outSize, answer);
        return true;
    }
    case IOCTL_USB_GET_NODE_CONNECTION_NAME:
    case IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME:
        if (d.ConnectionStatus != DeviceConnected) return false;
        return AnswerName(handle, &d, code, sizeof(USB_NODE_CONNECTION_NAME), d.Name, d.NameActualLength,
                          d.NameLengthFails, d.NameTextFails, outBuffer, outSize, bytesReturned);
    default:
        return false;
    }
}

RegistryString ScriptedUSBPlatform::ReadRegistryString(const std::u16string& key,
                                                       const std::u16string& valueName) {
    auto it = Registry.find(key);
    if (it == Registry.end()) return {};
    if (valueName != u"PortName") return {true, std::nullopt};
    return {true, it->second};
}

} // namespace mirota
