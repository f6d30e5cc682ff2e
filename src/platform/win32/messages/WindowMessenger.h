#pragma once
// Windows messenger: the messages are real window messages, posted with PostMessageW and sent with
// SendMessageTimeoutW to the other program's window, whose handle travels as an unsigned 32-bit value
// (window handles fit 32 bits between processes, also in 64-bit programs).
//
// An endpoint receives on a window of this program's GUI thread: the window it is created for (its
// window procedure is subclassed; the six message numbers WM_USER + 1..6 go to OnMessage, everything
// else passes on unchanged), or, when no such window is given, a hidden message-only window of its own.
// Each receiving window carries a window property that marks it as an endpoint: a handle without it (0,
// an ended program, a stale handle now used by a foreign window) gets nothing. Windows keeps the window
// messages of another user's session and desktop apart by itself.
#include "messages/Messages.h"

#include <memory>

namespace mirota {

class WindowMessageEndpoint : public MessageEndpoint {
public:
    ~WindowMessageEndpoint() override;
    WindowHandle Handle() const override { return handle_; }
    bool Post(WindowHandle target, std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam) override;
    std::optional<MessageResult> Send(WindowHandle target, std::uint32_t msg, std::uint64_t wParam,
                                      std::int64_t lParam) override;
    // True when the endpoint receives on a hidden window of its own rather than on a window it was given.
    bool OwnsWindow() const { return ownWindow_; }

    // Called by the receiving window's procedure for the six message numbers.
    MessageResult Receive(std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam, bool sent);

private:
    friend class WindowMessenger;
    explicit WindowMessageEndpoint(std::uint32_t sendTimeoutMs) : sendTimeoutMs_(sendTimeoutMs) {}
    bool Attach(WindowHandle window);
    bool CreateOwnWindow();

    std::uint32_t sendTimeoutMs_;
    WindowHandle handle_ = 0;
    bool ownWindow_ = false;
    bool attached_ = false;
};

class WindowMessenger : public Messenger {
public:
    explicit WindowMessenger(MessengerOptions options) : options_(std::move(options)) {}
    std::unique_ptr<MessageEndpoint> CreateEndpoint(WindowHandle preferred = 0) override;

private:
    MessengerOptions options_;
};

} // namespace mirota
