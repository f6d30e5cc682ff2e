#include "platform/win32/usb/Win32NotificationSource.h"

#include "platform/win32/WinApi.h"
// After windows.h, which it needs.
#include <dbt.h>

#include <cstring>

namespace mirota {

namespace {

constexpr wchar_t ClassName[] = L"MirotaUSBNotificationWindow";

// Messages arrive from inside CreateWindowExW on (WM_NCCREATE, WM_CREATE, ...), before it has
// returned the handle: the window is always the hwnd given here, never a handle kept from the call.
LRESULT CALLBACK HiddenWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* source = reinterpret_cast<Win32NotificationSource*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (!source) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return static_cast<LRESULT>(
        source->Dispatch(hwnd, msg, static_cast<std::uintptr_t>(wParam), static_cast<std::intptr_t>(lParam)));
}

bool RegisterClassOnce(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, ClassName, &existing)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &HiddenWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = ClassName;
    return ::RegisterClassExW(&wc) != 0;
}

} // namespace

Win32NotificationSource::Win32NotificationSource() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!RegisterClassOnce(instance)) return;
    // A top-level window that is never shown, like the hidden utility windows of the runtime; it also
    // receives the broadcasts sent to all top-level windows (ports, volumes), which the component ignores.
    const HWND hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, ClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                        nullptr, instance, this);
    FWindowHandle = hwnd; // null when creation failed, also if the procedure had seen a window
}

Win32NotificationSource::~Win32NotificationSource() {
    if (FWindowHandle) {
        const HWND hwnd = static_cast<HWND>(FWindowHandle);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd);
    }
}

bool Win32NotificationSource::Register(TWndMethod windowProc) {
    FWindowProc = std::move(windowProc);
    if (!FWindowHandle) return false;
    DEV_BROADCAST_DEVICEINTERFACE_W filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dbcc_size = sizeof filter; // 32
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    static_assert(sizeof(GUID) == sizeof(devchange::Guid));
    std::memcpy(&filter.dbcc_classguid, &devchange::ComPortInterfaceClass, sizeof(GUID));
    filter.dbcc_name[0] = 0;
    // The handle is not kept: the registration ends with the window.
    return ::RegisterDeviceNotificationW(static_cast<HWND>(FWindowHandle), &filter,
                                         DEVICE_NOTIFY_WINDOW_HANDLE) != nullptr;
}

std::intptr_t Win32NotificationSource::DefaultProc(const TMessage& message) {
    return static_cast<std::intptr_t>(::DefWindowProcW(static_cast<HWND>(FWindowHandle), message.Msg,
                                                       static_cast<WPARAM>(message.WParam),
                                                       static_cast<LPARAM>(message.LParam)));
}

std::intptr_t Win32NotificationSource::Dispatch(void* window, std::uint32_t msg, std::uintptr_t wParam,
                                                std::intptr_t lParam) {
    // The first message comes before CreateWindowExW returns: DefaultProc needs the window already.
    if (!FWindowHandle) FWindowHandle = window;
    TMessage m{msg, wParam, lParam, 0};
    if (!FWindowProc) return DefaultProc(m);
    FWindowProc(m);
    return m.Result;
}

} // namespace mirota
