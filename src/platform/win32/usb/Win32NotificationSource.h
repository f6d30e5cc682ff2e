#pragma once
// Device notifications on Windows: a hidden top-level window of the creating (GUI) thread, registered
// with RegisterDeviceNotificationW for the COM port device interface class. Its messages arrive through
// the thread's message loop and go to the component's window procedure; the registration lasts as
// long as the window.
#include "launcher/USBDeviceRec.h"

namespace mirota {

class Win32NotificationSource : public DeviceNotificationSource {
public:
    // Creates the hidden window.
    Win32NotificationSource();
    // Destroys the hidden window.
    ~Win32NotificationSource() override;

    Win32NotificationSource(const Win32NotificationSource&) = delete;
    Win32NotificationSource& operator=(const Win32NotificationSource&) = delete;

    bool Register(TWndMethod windowProc) override;
    std::intptr_t DefaultProc(const TMessage& message) override;

    // Called by the window class's procedure with the window the message is for (HWND).
    std::intptr_t Dispatch(void* window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

    // The hidden window (HWND); null when it could not be created.
    void* WindowHandle() const { return FWindowHandle; }

private:
    void* FWindowHandle = nullptr; // HWND
    TWndMethod FWindowProc;
};

} // namespace mirota
