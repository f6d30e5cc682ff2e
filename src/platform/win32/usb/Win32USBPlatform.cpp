#include "platform/win32/usb/Win32USBPlatform.h"

#include "platform/win32/WinApi.h"

#include <vector>

namespace mirota {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows texts are UTF-16");

namespace {

const wchar_t* Wide(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

// USBHandle 0 means "no handle"; INVALID_HANDLE_VALUE never reaches the walk.
USBHandle ToUSBHandle(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return InvalidUSBHandle;
    return reinterpret_cast<USBHandle>(h);
}

HANDLE ToHandle(USBHandle h) {
    return reinterpret_cast<HANDLE>(h);
}

} // namespace

USBHandle Win32USBPlatform::OpenDevice(const std::u16string& path) {
    return ToUSBHandle(
        ::CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool Win32USBPlatform::IoControl(USBHandle handle, std::uint32_t code, const void* inBuffer,
                                 std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                                 std::uint32_t& bytesReturned) {
    DWORD returned = 0;
    const BOOL ok = ::DeviceIoControl(ToHandle(handle), code, const_cast<void*>(inBuffer), inSize, outBuffer,
                                      outSize, &returned, nullptr);
    bytesReturned = returned;
    return ok != FALSE;
}

void Win32USBPlatform::CloseDevice(USBHandle handle) {
    if (handle != InvalidUSBHandle) ::CloseHandle(ToHandle(handle));
}

RegistryString Win32USBPlatform::ReadRegistryString(const std::u16string& key,
                                                    const std::u16string& valueName) {
    RegistryString result;
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return result;
    result.KeyOpened = true;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(hKey, Wide(valueName), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        // The stored text need not end with a 0: read into a buffer one character longer.
        std::vector<char16_t> text(size / sizeof(char16_t) + 1, 0);
        DWORD got = static_cast<DWORD>((text.size() - 1) * sizeof(char16_t));
        if (::RegQueryValueExW(hKey, Wide(valueName), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                               &got) == ERROR_SUCCESS) {
            std::u16string value(text.data(), got / sizeof(char16_t));
            const auto end = value.find(u'\0');
            if (end != std::u16string::npos) value.resize(end);
            result.Value = value;
        }
    }
    ::RegCloseKey(hKey);
    return result;
}

} // namespace mirota
