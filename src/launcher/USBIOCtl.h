#pragma once
// The USB host controller and hub requests the device walk sends, with their buffer layouts, and the
// platform operations it sends them through. The layouts are the byte layouts the Windows USB stack
// uses (packed, little-endian), so the Win32 source hands the buffers to the system unchanged and the
// other sources (sysfs, the scripted substitute) answer in the same form.
//
// The names avoid the macros of <windows.h> (CreateFile, DeviceIoControl) so that this header can be
// included next to it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mirota {

// CTL_CODE(FILE_DEVICE_USB, function, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr std::uint32_t UsbCtlCode(std::uint32_t function) {
    constexpr std::uint32_t FileDeviceUsb = 0x22;
    return (FileDeviceUsb << 16) | (function << 2);
}

inline constexpr std::uint32_t IOCTL_USB_GET_ROOT_HUB_NAME = UsbCtlCode(258);    // 0x220408, to a controller
inline constexpr std::uint32_t IOCTL_USB_GET_NODE_INFORMATION = UsbCtlCode(258); // 0x220408, to a hub
inline constexpr std::uint32_t IOCTL_USB_GET_NODE_CONNECTION_INFORMATION = UsbCtlCode(259);     // 0x22040C
inline constexpr std::uint32_t IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION = UsbCtlCode(260); // 0x220410
inline constexpr std::uint32_t IOCTL_USB_GET_NODE_CONNECTION_NAME = UsbCtlCode(261);            // 0x220414
inline constexpr std::uint32_t IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME = UsbCtlCode(264);  // 0x220420

inline constexpr std::uint8_t USB_STRING_DESCRIPTOR_TYPE = 3;

// USB_CONNECTION_STATUS
enum : std::uint32_t {
    NoDeviceConnected = 0,
    DeviceConnected = 1,
    DeviceFailedEnumeration = 2,
    DeviceGeneralFailure = 3,
    DeviceCausedOvercurrent = 4,
    DeviceNotEnoughPower = 5,
    DeviceNotEnoughBandwidth = 6,
};

// USB_HUB_NODE
enum : std::uint32_t { UsbHub = 0, UsbMIParent = 1 };

#pragma pack(push, 1)

struct USB_HUB_DESCRIPTOR {
    std::uint8_t bDescriptorLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bNumberOfPorts;
    std::uint16_t wHubCharacteristics;
    std::uint8_t bPowerOnToPowerGood;
    std::uint8_t bHubControlCurrent;
    std::uint8_t bRemoveAndPowerMask[64];
};

struct USB_HUB_INFORMATION {
    USB_HUB_DESCRIPTOR HubDescriptor;
    std::uint8_t HubIsBusPowered;
};

struct USB_NODE_INFORMATION {
    std::uint32_t NodeType;
    union {
        USB_HUB_INFORMATION HubInformation;
        std::uint32_t MiParentNumberOfInterfaces;
    } u;
};

struct USB_DEVICE_DESCRIPTOR {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint16_t bcdUSB;
    std::uint8_t bDeviceClass;
    std::uint8_t bDeviceSubClass;
    std::uint8_t bDeviceProtocol;
    std::uint8_t bMaxPacketSize0;
    std::uint16_t idVendor;
    std::uint16_t idProduct;
    std::uint16_t bcdDevice;
    std::uint8_t iManufacturer;
    std::uint8_t iProduct;
    std::uint8_t iSerialNumber;
    std::uint8_t bNumConfigurations;
};

struct USB_NODE_CONNECTION_INFORMATION {
    std::uint32_t ConnectionIndex;
    USB_DEVICE_DESCRIPTOR DeviceDescriptor;
    std::uint8_t CurrentConfigurationValue;
    std::uint8_t LowSpeed;
    std::uint8_t DeviceIsHub;
    std::uint16_t DeviceAddress;
    std::uint32_t NumberOfOpenPipes;
    std::uint32_t ConnectionStatus;
    // followed by USB_PIPE_INFO PipeList[NumberOfOpenPipes]
};

struct USB_SETUP_PACKET {
    std::uint8_t bmRequest;
    std::uint8_t bRequest;
    std::uint16_t wValue;
    std::uint16_t wIndex;
    std::uint16_t wLength;
};

struct USB_DESCRIPTOR_REQUEST {
    std::uint32_t ConnectionIndex;
    USB_SETUP_PACKET SetupPacket;
    // followed by the descriptor data
};

struct USB_ROOT_HUB_NAME {
    std::uint32_t ActualLength; // bytes of the whole structure, name and its terminating 0 included
    // followed by the UTF-16 name
};

// Also the layout of USB_NODE_CONNECTION_DRIVERKEY_NAME.
struct USB_NODE_CONNECTION_NAME {
    std::uint32_t ConnectionIndex;
    std::uint32_t ActualLength; // bytes of the whole structure, name and its terminating 0 included
    // followed by the UTF-16 name
};

#pragma pack(pop)

static_assert(sizeof(USB_HUB_DESCRIPTOR) == 71);
static_assert(sizeof(USB_NODE_INFORMATION) == 76);
static_assert(sizeof(USB_DEVICE_DESCRIPTOR) == 18);
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION) == 35);
static_assert(sizeof(USB_DESCRIPTOR_REQUEST) == 12);
static_assert(sizeof(USB_ROOT_HUB_NAME) == 4);
static_assert(sizeof(USB_NODE_CONNECTION_NAME) == 8);

// An open controller or hub. 0 is never a valid handle.
using USBHandle = std::uintptr_t;
inline constexpr USBHandle InvalidUSBHandle = 0;

// What the registry answers for one string value of a key of HKEY_LOCAL_MACHINE.
struct RegistryString {
    bool KeyOpened = false;              // false: the key could not be opened
    std::optional<std::u16string> Value; // none: the key exists without the value
};

// The platform operations of the walk. Every operation reports failure by its result; none throws.
class USBPlatform {
public:
    virtual ~USBPlatform() = default;

    // The host controllers the walk visits, in order: "\\.\HCD0" to "\\.\HCD9" unless the platform
    // can list the ones present.
    virtual std::vector<std::u16string> HostControllerPaths() const;

    // Opens a host controller (path "\\.\HCD" + number) or a hub ("\\.\" + its device name) for
    // writing, as CreateFileW with GENERIC_WRITE, FILE_SHARE_WRITE and OPEN_EXISTING does.
    // InvalidUSBHandle when it cannot be opened.
    virtual USBHandle OpenDevice(const std::u16string& path) = 0;

    // A synchronous I/O control request. inBuffer and outBuffer may be the same area. On success
    // bytesReturned holds the number of bytes the answer wrote into outBuffer.
    virtual bool IoControl(USBHandle handle, std::uint32_t code, const void* inBuffer, std::uint32_t inSize,
                           void* outBuffer, std::uint32_t outSize, std::uint32_t& bytesReturned) = 0;

    virtual void CloseDevice(USBHandle handle) = 0;

    // Opens key (below HKEY_LOCAL_MACHINE) read-only, reads the string value valueName, closes the key.
    virtual RegistryString ReadRegistryString(const std::u16string& key, const std::u16string& valueName) = 0;
};

} // namespace mirota
