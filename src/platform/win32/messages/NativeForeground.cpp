// Forcing a window to the foreground on Windows: restore from the task bar (IsIconic, ShowWindow),
// then bring it to the top with the foreground thread's input attached, and when the system still
// refuses, with the foreground lock time-out set to 0 for the moment of the call.
#include "messages/Messages.h"

#include "platform/win32/WideText.h"

#include <cstdint>

namespace mirota {

namespace {

class NativeForegroundWindow : public ForegroundWindow {
public:
    explicit NativeForegroundWindow(HWND window) : window_(window) {}

    bool IsMinimized() const override { return ::IsIconic(window_) != FALSE; }
    void Restore() override { ::ShowWindow(window_, SW_RESTORE); }
    bool IsForeground() const override { return ::GetForegroundWindow() == window_; }

    // Every system this program runs on is an NT of version 5 or later, where SetForegroundWindow from
    // a background process is refused unless the input of the foreground thread is attached or the
    // foreground lock time-out is 0; the plain BringWindowToTop and SetForegroundWindow of older systems
    // are the calls inside both steps.
    void RaiseAndActivate() override {
        const DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
        const DWORD ownThread = ::GetWindowThreadProcessId(window_, nullptr);
        bool ok = false;
        if (::AttachThreadInput(ownThread, foregroundThread, TRUE)) {
            ::BringWindowToTop(window_);
            ::SetForegroundWindow(window_);
            ::AttachThreadInput(ownThread, foregroundThread, FALSE);
            ok = ::GetForegroundWindow() == window_;
        }
        if (!ok) {
            DWORD lockTimeout = 0;
            ::SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lockTimeout, 0);
            ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE);
            ::BringWindowToTop(window_);
            ::SetForegroundWindow(window_);
            // The value itself goes in the pointer argument.
            ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                                    reinterpret_cast<PVOID>(static_cast<std::uintptr_t>(lockTimeout)),
                                    SPIF_SENDCHANGE);
        }
    }

private:
    HWND window_;
};

} // namespace

std::unique_ptr<ForegroundWindow> CreatePlatformForegroundWindow(WindowHandle handle) {
    const HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
    if (handle == 0 || !::IsWindow(window)) return nullptr;
    return std::make_unique<NativeForegroundWindow>(window);
}

std::optional<WindowHandle> PlatformForegroundWindow() {
    // 0 while no window is in the foreground (for example while one is being minimized).
    return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(::GetForegroundWindow()));
}

} // namespace mirota
