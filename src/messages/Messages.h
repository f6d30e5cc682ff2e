#pragma once
// The messages between Pravik's main window and each Ostrel window, and the messenger that carries
// them. Both programs use the same API: each window that takes part owns one MessageEndpoint, known to
// the other program by its 32-bit handle.
//
//   Ostrel -> Pravik   Post WM_CONTROL_OPENED (wParam port number, lParam Ostrel's main window handle)
//                      Post WM_CONTROL_CLOSE  (wParam 0, lParam port number)
//                      Send WM_CONTROL_DEACTIVATED (0, 0), WM_SCREEN_OPENED / WM_SCREEN_CLOSED (0, screen
//                      handle)
//   Pravik -> Ostrel   Post WM_CONTROL_CLOSE  (0, 0): the device is gone or Pravik ends; Ostrel closes
//                      Send WM_CONTROL_TO_FRONT (0, 0): Ostrel raises its current window and answers 1
//
// Delivery rules (the same on every platform):
// - A target handle that has no endpoint (0, a program that is not running, a stale handle) is not an
//   error: Post returns false and Send returns no result, and nothing else happens.
// - Post returns at once. The receiver's OnMessage runs later from its message loop, never nested in a
//   Send of the receiver.
// - Send blocks until the receiver's OnMessage has returned and hands back its result. While it waits,
//   messages sent to the waiting endpoint are served (so two windows may send to each other); posted
//   ones wait until the loop runs again. A receiver that does not answer within the messenger's send
//   time-out, or that goes away, gives no result.
// - Messages only come from the same user; anything else is refused before it is read.
#include "loop/DescriptorWatch.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace mirota {

class MessageLoop;

using WindowHandle = std::uint32_t;
using MessageResult = std::int64_t;

inline constexpr std::uint32_t WM_USER = 1024;
inline constexpr std::uint32_t WM_CONTROL_OPENED = WM_USER + 1;
inline constexpr std::uint32_t WM_CONTROL_CLOSE = WM_USER + 2;
inline constexpr std::uint32_t WM_CONTROL_TO_FRONT = WM_USER + 3;
inline constexpr std::uint32_t WM_CONTROL_DEACTIVATED = WM_USER + 4;
inline constexpr std::uint32_t WM_SCREEN_OPENED = WM_USER + 5;
inline constexpr std::uint32_t WM_SCREEN_CLOSED = WM_USER + 6;
// System command that minimizes a window.
inline constexpr std::uint32_t SC_MINIMIZE = 0xF020;

struct WindowMessage {
    std::uint32_t Msg = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
    bool Sent = false; // true for Send (a result is expected), false for Post
};

using MessageHandler = std::function<MessageResult(const WindowMessage&)>;

class MessageEndpoint {
public:
    virtual ~MessageEndpoint() = default;
    // The handle other programs address this window by; never 0.
    virtual WindowHandle Handle() const = 0;
    virtual bool Post(WindowHandle target, std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam) = 0;
    virtual std::optional<MessageResult> Send(WindowHandle target, std::uint32_t msg, std::uint64_t wParam,
                                              std::int64_t lParam) = 0;
    // Runs in the loop's thread for every message that reaches this window.
    MessageHandler OnMessage;
};

class Messenger {
public:
    virtual ~Messenger() = default;
    // A new endpoint. `preferred` is the window's own handle where the platform has one (an X11 window
    // id, a window of this thread on Windows); 0, or a handle already taken, makes the messenger choose one.
    // Null when endpoints cannot be created at all (the platform's message directory is unusable).
    virtual std::unique_ptr<MessageEndpoint> CreateEndpoint(WindowHandle preferred = 0) = 0;
};

struct MessengerOptions {
    // Where the endpoints live; empty: the per-user default of the platform.
    std::string Directory;
    // Lets the owner's event loop tell the messenger when a descriptor becomes readable. The messenger
    // reads nothing outside these calls and its own Send. (Where messages are window messages, the
    // window's own message loop delivers them and the watch is not used.)
    DescriptorWatch Watch;
    std::uint32_t SendTimeoutMs = 5000;
};

// The platform's messenger: Unix domain sockets on Linux, window messages on Windows (the endpoint of a
// window of this program's GUI thread receives on that window itself). Implemented in
// platform/<os>/messages.
std::unique_ptr<Messenger> CreatePlatformMessenger(MessageLoop& loop, MessengerOptions options = {});

// A window as BringToForeground handles it.
class ForegroundWindow {
public:
    virtual ~ForegroundWindow() = default;
    virtual bool IsMinimized() const = 0;
    virtual void Restore() = 0;            // out of the minimized state
    virtual bool IsForeground() const = 0; // the active window of the desktop
    virtual void RaiseAndActivate() = 0;   // on top and active, as far as the desktop allows
};

// Restores a minimized window and forces it to the foreground; returns whether it ended up there.
// Neither program acts on a false result.
bool BringToForeground(ForegroundWindow& window);

// A native top-level window as the platform itself restores and forces it to the foreground, where the
// platform has its own way to do so (Windows: the thread-input and foreground-lock steps); null
// elsewhere, where the window toolkit's raise and activate are all there is.
std::unique_ptr<ForegroundWindow> CreatePlatformForegroundWindow(WindowHandle window);

// The desktop's foreground window as the platform reports it; nullopt where the platform cannot tell
// without the window system's own connection (X11 is asked by the launcher's window code).
std::optional<WindowHandle> PlatformForegroundWindow();

} // namespace mirota
