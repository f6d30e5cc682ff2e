#pragma once
// A USB platform that answers the walk's requests from a described tree of controllers, hubs and
// devices, with failures and odd answers where the description asks for them. Used by the tests, the
// benchmarks and anyone who needs a machine with a known set of adapters.
#include "launcher/USBIOCtl.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace mirota {

// One port of a hub and what is plugged into it.
struct ScriptedDevice {
    // What the parent hub reports for the port.
    std::uint32_t ConnectionStatus = DeviceConnected;
    std::uint16_t VendorId = 0x0403;
    std::uint16_t ProductId = 0x6001;
    // String descriptors; none gives the string index 0.
    std::optional<std::u16string> Manufacturer;
    std::optional<std::u16string> Product;
    std::optional<std::u16string> Serial;
    // A hub's device name (opened as "\\.\" + Name), or another device's driver key name.
    std::u16string Name;
    // Reported as ActualLength instead of the true length of Name.
    std::optional<std::uint32_t> NameActualLength;
    bool ConnectionInfoFails = false;   // the node connection request fails
    bool ConnectionInfoTooLong = false; // the node connection request reports 257 bytes
    bool NameLengthFails = false;       // the first name request fails
    bool NameTextFails = false;         // the second name request fails
    bool DescriptorFails = false;       // every string descriptor request fails

    // Hubs.
    bool IsHub = false;
    std::vector<ScriptedDevice> Ports; // port i + 1
    bool OpenFails = false;            // the hub cannot be opened
    bool NodeInfoFails = false;        // the node information request fails
    bool NodeInfoTooLong = false;      // the node information request reports 257 bytes
};

struct ScriptedController {
    std::u16string RootHubName = u"ROOT_HUB";
    std::optional<std::uint32_t> NameActualLength; // reported instead of the true length
    bool NameLengthFails = false;
    bool NameTextFails = false;
    ScriptedDevice RootHub; // always a hub; its Name is RootHubName
};

class ScriptedUSBPlatform : public USBPlatform {
public:
    // Controllers by number ("\\.\HCD" + number); missing numbers cannot be opened.
    std::map<int, ScriptedController> Controllers;
    // Registry keys below HKEY_LOCAL_MACHINE with their "PortName" value (none: key without the value).
    std::map<std::u16string, std::optional<std::u16string>> Registry;

    static ScriptedDevice Device(std::u16string manufacturer, std::u16string product, std::u16string serial);
    static ScriptedDevice Hub(std::u16string name, std::vector<ScriptedDevice> ports);
    static ScriptedDevice EmptyPort();

    // The registry key FTDI's driver writes for an adapter with this serial number.
    static std::u16string FtdiKey(const std::u16string& serial);
    void SetPortName(const std::u16string& serial, std::optional<std::u16string> portName);

    // Handles opened and not yet closed.
    std::size_t OpenHandleCount() const { return FHandles.size(); }
    // Every path OpenDevice was asked for, in order.
    const std::vector<std::u16string>& OpenedPaths() const { return FOpenedPaths; }

    USBHandle OpenDevice(const std::u16string& path) override;
    bool IoControl(USBHandle handle, std::uint32_t code, const void* inBuffer, std::uint32_t inSize,
                   void* outBuffer, std::uint32_t outSize, std::uint32_t& bytesReturned) override;
    void CloseDevice(USBHandle handle) override;
    RegistryString ReadRegistryString(const std::u16string& key, const std::u16string& valueName) override;

private:
    struct Target {
        ScriptedController* Controller = nullptr;
        ScriptedDevice* Hub = nullptr;
    };
    bool AnswerName(USBHandle handle, const void* owner, std::uint32_t request, std::size_t headerSize,
                    const std::u16string& name, const std::optional<std::uint32_t>& actualLength,
                    bool lengthFails, bool textFails, void* outBuffer, std::uint32_t outSize,
                    std::uint32_t& bytesReturned);
    ScriptedDevice* FindHub(const std::u16string& name);
    void IndexHubs();

    std::map<std::u16string, ScriptedDevice*> FHubs; // hubs by name, rebuilt whenever a controller is opened
    std::map<USBHandle, Target> FHandles;
    USBHandle FNextHandle = 1;
    std::vector<std::u16string> FOpenedPaths;
    // Name requests whose length was asked through a handle and whose text is asked next.
    std::set<std::tuple<USBHandle, const void*, std::uint32_t>> FLengthAsked;
};

} // namespace mirota
