#pragma once
// Linux messenger: one Unix domain socket (SOCK_SEQPACKET) per endpoint, named after its handle, in a
// per-user directory of mode 0700. Every connection carries one message; a sent message gets its
// result back on the same connection. Peers of another user are refused (SO_PEERCRED), both ways.
#include "messages/Messages.h"

#include <memory>
#include <string>

namespace mirota {

// The directory of the endpoints: $MIROTA_MESSAGE_DIR, else $XDG_RUNTIME_DIR/mirota-messages, else
// /tmp/mirota-messages-<uid>.
std::string DefaultMessageDirectory();

// Creates the directory (mode 0700) or checks an existing one: it must be a real directory owned by
// this user; group and other permissions are taken away. Returns false when it cannot be used.
bool PrepareMessageDirectory(const std::string& directory);

class SocketMessageEndpoint : public MessageEndpoint {
public:
    ~SocketMessageEndpoint() override;
    WindowHandle Handle() const override { return handle_; }
    bool Post(WindowHandle target, std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam) override;
    std::optional<MessageResult> Send(WindowHandle target, std::uint32_t msg, std::uint64_t wParam,
                                      std::int64_t lParam) override;

    // The listening socket; readable when a message waits.
    int Descriptor() const { return listenFd_; }
    // Serves every message waiting now (sent ones are answered, posted ones queued on the loop).
    void ProcessIncoming();
    // Connections refused because the peer belongs to another user or sent garbage.
    int RefusedCount() const { return refused_; }
    std::string SocketPath() const { return path_; }

private:
    friend class SocketMessenger;
    SocketMessageEndpoint(MessageLoop& loop, std::string directory, std::uint32_t sendTimeoutMs);
    bool Listen(WindowHandle handle);
    bool ServeOne();
    int Connect(WindowHandle target) const;

    MessageLoop& loop_;
    std::string directory_;
    std::uint32_t sendTimeoutMs_;
    WindowHandle handle_ = 0;
    int listenFd_ = -1;
    std::string path_;
    int refused_ = 0;
    std::function<void()> unwatch_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class SocketMessenger : public Messenger {
public:
    SocketMessenger(MessageLoop& loop, MessengerOptions options);
    std::unique_ptr<MessageEndpoint> CreateEndpoint(WindowHandle preferred = 0) override;
    // The concrete endpoint, for programs and tests that watch its descriptor themselves.
    std::unique_ptr<SocketMessageEndpoint> CreateSocketEndpoint(WindowHandle preferred = 0);
    const std::string& Directory() const { return directory_; }

private:
    MessageLoop& loop_;
    MessengerOptions options_;
    std::string directory_;
    bool usable_ = false;
};

} // namespace mirota
