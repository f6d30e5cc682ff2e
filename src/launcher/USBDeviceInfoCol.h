#pragma once
// The collector of attached FTDI USB serial adapters. GetDeviceList walks host controllers 0 to 9 and
// every hub below them, depth first, reads the manufacturer, product and serial number strings of each
// connected device, keeps the devices whose manufacturer is exactly "FTDI", and looks up each kept
// device's port name by its serial number.
//
// The walk never reports an error to its caller: a failure ends the walk of one host controller, the
// devices found up to then stay in the list, and the next controller is walked.
#include "launcher/USBIOCtl.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace mirota {

// One listed adapter.
struct USB_Info {
    std::u16string Vendor_Name_Internal;   // manufacturer string; "FTDI" for every listed record
    std::u16string Device_Name_Internal;   // product string ("Device Description")
    std::u16string Serial_Number_Internal; // serial number string ("Serial No"), key of the port look-up
    std::u16string Port_Number;            // port name (COM3, ttyUSB0); "Error" when not found; may be empty

    bool operator==(const USB_Info&) const = default;
};

// A failure inside the walk of one host controller; what() is the failure text.
class USBWalkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TUSBInfoCol {
public:
    // The platform must outlive the collector.
    explicit TUSBInfoCol(USBPlatform& platform);

    // Runs the whole walk and returns a new list in walk order: controller 0 to 9; within a controller
    // the root hub's ports from 1 upwards; the devices behind an external hub right after that hub's
    // own position, in its port order. The caller takes the records over.
    std::vector<USB_Info> GetDeviceList();

    // Text of the failure that ended the walk of each controller in the latest GetDeviceList, in
    // controller order (diagnostics only; the launcher shows nothing).
    const std::vector<std::string>& LastFailures() const { return FLastFailures; }

private:
    class HubHandle;

    void EnumerateHostController(USBHandle controller);
    std::uint32_t EnumerateHubPorts(HubHandle hub, unsigned portCount, std::uint32_t level);
    void AddDevice(const USB_NODE_CONNECTION_INFORMATION& connection, USBHandle hub);
    HubHandle OpenHub(const std::u16string& name);
    std::u16string GetRootHubName(const std::string& kind, USBHandle controller, std::uint32_t request);
    void GetNodeInformation(USBHandle hub, USB_NODE_INFORMATION& info);
    void GetNodeConnectionInformation(USBHandle hub, std::uint32_t port,
                                      USB_NODE_CONNECTION_INFORMATION& info);
    std::u16string GetNodeConnectionName(const std::string& kind, std::uint32_t port, USBHandle hub,
                                         std::uint32_t request);
    std::u16string GetStringDescriptor(USBHandle hub, std::uint32_t connectionIndex,
                                       std::uint8_t descriptorIndex);
    std::u16string ReadPortName(const std::u16string& serialNumber);

    USBPlatform& FPlatform;
    std::uint32_t caLevel = 0; // level of the hub whose ports are walked (1 = a root hub's ports)
    std::vector<USB_Info> olDeviceList;
    std::vector<std::string> FLastFailures;
};

// UTF-8 form of a record's text, for printing.
std::string ToUtf8(std::u16string_view text);
// UTF-16 form of a UTF-8 text; invalid sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

} // namespace mirota
