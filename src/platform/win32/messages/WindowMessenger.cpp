// Windows messenger on window messages (see WindowMessenger.h): subclassing the receiving window,
// the endpoint mark, posting and sending with a time-out.
#include "platform/win32/messages/WindowMessenger.h"

#include "platform/win32/WideText.h"

#include <commctrl.h>

#include <cstdint>

namespace mirota {

namespace {

constexpr wchar_t kEndpointProperty[] = L"MirotaMessageEndpoint";
constexpr wchar_t kHiddenClass[] = L"MirotaMessageWindow";
constexpr UINT_PTR kSubclassId = 0x4D52544D; // "MRTM"

// Set while this thread sends to a window of its own: such a message reaches the procedure directly,
// where InSendMessageEx cannot tell it from a posted one.
thread_local int tSendingToOwnThread = 0;

HWND ToWindow(WindowHandle handle) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
}

WindowHandle ToHandle(HWND window) {
    return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(window));
}

bool IsMessageNumber(UINT msg) {
    return msg >= WM_CONTROL_OPENED && msg <= WM_SCREEN_CLOSED;
}

// A window that takes part: it exists and carries the endpoint mark.
bool IsEndpointWindow(HWND window) {
    return window && ::IsWindow(window) && ::GetPropW(window, kEndpointProperty) != nullptr;
}

LRESULT CALLBACK EndpointProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    if (IsMessageNumber(msg) && data) {
        const bool sent = tSendingToOwnThread > 0 || (::InSendMessageEx(nullptr) & ISMEX_SEND) != 0;
        auto* endpoint = reinterpret_cast<WindowMessageEndpoint*>(data);
        return static_cast<LRESULT>(endpoint->Receive(msg, static_cast<std::uint64_t>(wParam),
                                                      static_cast<std::int64_t>(lParam), sent));
    }
    if (msg == WM_NCDESTROY) {
        // The window goes before its endpoint: it no longer takes part.
        ::RemovePropW(window, kEndpointProperty);
        ::RemoveWindowSubclass(window, &EndpointProc, kSubclassId);
    }
    return ::DefSubclassProc(window, msg, wParam, lParam);
}

bool RegisterHiddenClass(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, kHiddenClass, &existing)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &::DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = kHiddenClass;
    return ::RegisterClassExW(&wc) != 0;
}

} // namespace

WindowMessageEndpoint::~WindowMessageEndpoint() {
    const HWND window = ToWindow(handle_);
    if (attached_ && ::IsWindow(window)) {
        ::RemovePropW(window, kEndpointProperty);
        ::RemoveWindowSubclass(window, &EndpointProc, kSubclassId);
    }
    if (ownWindow_ && ::IsWindow(window)) ::DestroyWindow(window);
}

bool WindowMessageEndpoint::Attach(WindowHandle handle) {
    const HWND window = ToWindow(handle);
    // Only a window of this thread can be subclassed, and a window that is already an endpoint is taken.
    if (handle == 0 || !::IsWindow(window) ||
        ::GetWindowThreadProcessId(window, nullptr) != ::GetCurrentThreadId() ||
        ::GetPropW(window, kEndpointProperty) != nullptr)
        return false;
    if (ToHandle(window) != handle) return false;
    if (!::SetWindowSubclass(window, &EndpointProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    if (!::SetPropW(window, kEndpointProperty, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(1)))) {
        ::RemoveWindowSubclass(window, &EndpointProc, kSubclassId);
        return false;
    }
    handle_ = handle;
    attached_ = true;
    return true;
}

bool WindowMessageEndpoint::CreateOwnWindow() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!RegisterHiddenClass(instance)) return false;
    // A message-only window: it can be addressed by its handle, is never shown and gets no broadcasts.
    const HWND window =
        ::CreateWindowExW(0, kHiddenClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (!window) return false;
    ownWindow_ = true;
    if (!Attach(ToHandle(window))) {
        ::DestroyWindow(window);
        ownWindow_ = false;
        return false;
    }
    return true;
}

MessageResult WindowMessageEndpoint::Receive(std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam,
                                             bool sent) {
    // A copy: the handler may end this endpoint's life.
    const MessageHandler handler = OnMessage;
    return handler ? handler(WindowMessage{msg, wParam, lParam, sent}) : 0;
}

bool WindowMessageEndpoint::Post(WindowHandle target, std::uint32_t msg, std::uint64_t wParam,
                                 std::int64_t lParam) {
    const HWND window = ToWindow(target);
    if (target == 0 || !IsEndpointWindow(window)) return false;
    return ::PostMessageW(window, msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != FALSE;
}

std::optional<MessageResult> WindowMessageEndpoint::Send(WindowHandle target, std::uint32_t msg,
                                                         std::uint64_t wParam, std::int64_t lParam) {
    if (target == handle_ && handle_ != 0) {
        // To itself: handled at once, as a window's own SendMessage is.
        return Receive(msg, wParam, lParam, true);
    }
    const HWND window = ToWindow(target);
    if (target == 0 || !IsEndpointWindow(window)) return std::nullopt;
    const bool ownThread = ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId();
    if (ownThread) ++tSendingToOwnThread;
    // While waiting, messages sent to this thread's windows are served; posted ones wait.
    DWORD_PTR result = 0;
    const LRESULT done =
        ::SendMessageTimeoutW(window, msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam),
                              SMTO_NORMAL, sendTimeoutMs_, &result);
    if (ownThread) --tSendingToOwnThread;
    if (done == 0) return std::nullopt; // timed out, or the receiver went away
    return static_cast<MessageResult>(static_cast<LRESULT>(result));
}

std::unique_ptr<MessageEndpoint> WindowMessenger::CreateEndpoint(WindowHandle preferred) {
    std::unique_ptr<WindowMessageEndpoint> endpoint(new WindowMessageEndpoint(options_.SendTimeoutMs));
    if (!endpoint->Attach(preferred) && !endpoint->CreateOwnWindow()) return nullptr;
    return endpoint;
}

std::unique_ptr<Messenger> CreatePlatformMessenger(MessageLoop&, MessengerOptions options) {
    return std::make_unique<WindowMessenger>(std::move(options));
}

} // namespace mirota
