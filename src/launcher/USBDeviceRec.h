#pragma once
// TComponentUSB tells its owner (the launcher window) that a COM port device has appeared or gone, so
// that the window walks the USB tree again. The events carry no detail.
//
// Notifications reach the component as WM_DEVICECHANGE messages of its hidden window, whatever the
// platform: on Windows the hidden window registered with RegisterDeviceNotificationW for the COM port
// interface class; on Linux a kernel uevent socket whose tty add and remove events the source turns
// into the same messages. Only an arrival or a remove-complete whose header names a device interface
// raises an event. Everything runs in the thread that owns the component (the GUI thread): a source
// with a descriptor is watched by that thread's event loop (Handle(), then ProcessPending() when it is
// readable), and the Windows source receives its messages through the thread's message loop.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mirota {

// The window message and the parts of the device broadcast the component looks at (Windows values; the
// names differ from those of <windows.h> and <dbt.h> so that both can be included together).
namespace devchange {
inline constexpr std::uint32_t WmDeviceChange = 0x0219;     // WM_DEVICECHANGE
inline constexpr std::uintptr_t DeviceArrival = 0x8000;     // DBT_DEVICEARRIVAL
inline constexpr std::uintptr_t DeviceQueryRemove = 0x8001; // DBT_DEVICEQUERYREMOVE
inline constexpr std::uintptr_t DeviceQueryRemoveFailed = 0x8002;
inline constexpr std::uintptr_t DeviceRemovePending = 0x8003;  // DBT_DEVICEREMOVEPENDING
inline constexpr std::uintptr_t DeviceRemoveComplete = 0x8004; // DBT_DEVICEREMOVECOMPLETE
inline constexpr std::uintptr_t DevNodesChanged = 0x0007;      // DBT_DEVNODES_CHANGED
inline constexpr std::uint32_t DevTypVolume = 2;               // DBT_DEVTYP_VOLUME
inline constexpr std::uint32_t DevTypPort = 3;                 // DBT_DEVTYP_PORT
inline constexpr std::uint32_t DevTypDeviceInterface = 5;      // DBT_DEVTYP_DEVICEINTERFACE

// DEV_BROADCAST_HDR
struct BroadcastHeader {
    std::uint32_t dbch_size;
    std::uint32_t dbch_devicetype;
    std::uint32_t dbch_reserved;
};

// GUID_DEVINTERFACE_COMPORT {86E0D1E0-8089-11D0-9CE4-08003E301F73}
struct Guid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
inline constexpr Guid ComPortInterfaceClass = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// DEV_BROADCAST_DEVICEINTERFACE_W, 32 bytes with its padding when the name is empty.
struct BroadcastDeviceInterface {
    std::uint32_t dbcc_size;
    std::uint32_t dbcc_devicetype;
    std::uint32_t dbcc_reserved;
    Guid dbcc_classguid;
    char16_t dbcc_name[1];
};
static_assert(sizeof(BroadcastDeviceInterface) == 32);
} // namespace devchange

// One window message as the hidden window's procedure receives it.
struct TMessage {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::intptr_t Result = 0;
};

using TWndMethod = std::function<void(TMessage&)>;

// Where the notifications come from: the hidden window with its registration on Windows, the uevent
// socket on Linux, a socket pair or a scripted source in tests.
class DeviceNotificationSource {
public:
    virtual ~DeviceNotificationSource() = default;

    // Registers for COM port interface notifications; every message then goes to windowProc, in the
    // owning thread. True when the system accepted the registration.
    virtual bool Register(TWndMethod windowProc) = 0;

    // A descriptor that becomes readable when notifications are pending, or -1 when messages arrive
    // through the thread's message loop by themselves.
    virtual int Handle() const { return -1; }

    // Delivers every pending notification to the window procedure, without blocking.
    virtual void ProcessPending() {}

    // Looks for devices that came or went since the last look and delivers the notifications a system
    // without hotplug events would have sent. False when the source has no way to look.
    virtual bool Rescan() { return false; }

    // Default window processing of messages the component does not handle (DefWindowProcW on Windows).
    virtual std::intptr_t DefaultProc(const TMessage&) { return 0; }
};

class TComponentUSB {
public:
    using TNotifyEvent = std::function<void(TComponentUSB* Sender)>;

    // Takes the source over, creates the hidden window and registers it (RegisterNotification).
    explicit TComponentUSB(std::unique_ptr<DeviceNotificationSource> source);
    virtual ~TComponentUSB();

    TComponentUSB(const TComponentUSB&) = delete;
    TComponentUSB& operator=(const TComponentUSB&) = delete;

    // Published events; none assigned after construction. Both pass the component as sender.
    TNotifyEvent OnUSBArrival;
    TNotifyEvent OnUSBRemove;

    // The application's standard display of an error raised inside a notification (a message box with
    // the error's text in the launcher). Without one the text goes to standard error.
    std::function<void(const std::string& text)> OnShowException;

    // Registers the hidden window for COM port interface notifications; true when accepted.
    bool RegisterNotification();

    // For the owner's event loop: the descriptor to watch (-1: nothing to watch) and what to call when it
    // is readable.
    int Handle() const;
    void ProcessPending();
    // Fallback where the system sends no hotplug events (containers): look for changes now.
    bool Rescan();

    // The hidden window's procedure.
    void WndProc(TMessage& Message);

protected:
    // Handler of WM_DEVICECHANGE.
    virtual void WMDeviceChange(TMessage& Message);

private:
    std::unique_ptr<DeviceNotificationSource> FSource;
};

} // namespace mirota
