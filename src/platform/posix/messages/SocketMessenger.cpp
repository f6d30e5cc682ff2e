// Linux messenger on Unix domain sockets (see SocketMessenger.h): the per-user directory, the endpoints'
// listening sockets, one packet per connection, and serving sent messages while a Send waits.
#include "platform/posix/messages/SocketMessenger.h"

#include "loop/MessageLoop.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace mirota {

namespace {

constexpr std::uint32_t kMagic = 0x4D52544D; // "MRTM"
enum PacketKind : std::uint32_t { kPost = 1, kSend = 2, kReply = 3 };

struct Packet {
    std::uint32_t Magic;
    std::uint32_t Kind;
    std::uint32_t Msg;
    std::uint32_t Reserved;
    std::uint64_t WParam;
    std::int64_t LParam;
    std::int64_t Result;
};

// How long a connected peer may take to deliver its one packet before it is dropped.
constexpr int kReadTimeoutMs = 500;

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool PeerIsSameUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    return cred.uid == ::getuid();
}

bool ReadPacket(int fd, Packet& packet, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    int r;
    do
        r = ::poll(&p, 1, timeoutMs);
    while (r < 0 && errno == EINTR);
    if (r <= 0) return false;
    ssize_t n;
    do
        n = ::recv(fd, &packet, sizeof packet, 0);
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof packet) && packet.Magic == kMagic;
}

bool WritePacket(int fd, const Packet& packet) {
    ssize_t n;
    do
        n = ::send(fd, &packet, sizeof packet, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof packet);
}

WindowHandle NextCandidate() {
    static std::atomic<std::uint32_t> counter{0};
    const auto now = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint32_t h =
        static_cast<std::uint32_t>(::getpid()) * 2654435761u ^ (counter++ * 40503u) ^ (now & 0xFFFF);
    return h == 0 ? 1 : h;
}

} // namespace

std::string DefaultMessageDirectory() {
    if (const char* dir = std::getenv("MIROTA_MESSAGE_DIR"); dir && *dir) return dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/mirota-messages";
    return "/tmp/mirota-messages-" + std::to_string(::getuid());
}

bool PrepareMessageDirectory(const std::string& directory) {
    if (directory.empty()) return false;
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 0077) != 0 && ::chmod(directory.c_str(), 0700) != 0) return false;
    return true;
}

SocketMessageEndpoint::SocketMessageEndpoint(MessageLoop& loop, std::string directory,
                                             std::uint32_t sendTimeoutMs)
    : loop_(loop), directory_(std::move(directory)), sendTimeoutMs_(sendTimeoutMs) {}

SocketMessageEndpoint::~SocketMessageEndpoint() {
    *alive_ = false;
    if (unwatch_) unwatch_();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
}

bool SocketMessageEndpoint::Listen(WindowHandle handle) {
    const std::string path = directory_ + "/" + std::to_string(handle);
    sockaddr_un addr;
    if (!FillAddress(path, addr)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (!bound && errno == EADDRINUSE && Connect(handle) < 0 && errno == ECONNREFUSED) {
        // A socket file left behind by an ended program: take its place.
        ::unlink(path.c_str());
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    if (!bound) {
        ::close(fd);
        return false;
    }
    ::chmod(path.c_str(), 0600);
    if (::listen(fd, 16) != 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    listenFd_ = fd;
    path_ = path;
    handle_ = handle;
    return true;
}

int SocketMessageEndpoint::Connect(WindowHandle target) const {
    if (target == 0) return -1;
    sockaddr_un addr;
    if (!FillAddress(directory_ + "/" + std::to_string(target), addr)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int r;
    do
        r = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    while (r < 0 && errno == EINTR);
    if (r != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    if (!PeerIsSameUser(fd)) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

bool SocketMessageEndpoint::Post(WindowHandle target, std::uint32_t msg, std::uint64_t wParam,
                                 std::int64_t lParam) {
    const int fd = Connect(target);
    if (fd < 0) return false;
    const bool ok = WritePacket(fd, Packet{kMagic, kPost, msg, 0, wParam, lParam, 0});
    ::close(fd);
    return ok;
}

std::optional<MessageResult> SocketMessageEndpoint::Send(WindowHandle target, std::uint32_t msg,
                                                         std::uint64_t wParam, std::int64_t lParam) {
    if (target == handle_ && handle_ != 0) {
        // To itself: handled at once, as a window's own SendMessage is.
        if (!OnMessage) return 0;
        return OnMessage(WindowMessage{msg, wParam, lParam, true});
    }
    const int fd = Connect(target);
    if (fd < 0) return std::nullopt;
    std::optional<MessageResult> result;
    if (WritePacket(fd, Packet{kMagic, kSend, msg, 0, wParam, lParam, 0})) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(sendTimeoutMs_);
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
            if (left <= 0) break;
            pollfd fds[2] = {{fd, POLLIN, 0}, {listenFd_, POLLIN, 0}};
            const int r = ::poll(fds, listenFd_ >= 0 ? 2 : 1, static_cast<int>(left));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) break;
            if (fds[0].revents) {
                Packet reply{};
                if (ReadPacket(fd, reply, 0) && reply.Kind == kReply) result = reply.Result;
                break; // a reply, or the receiver went away
            }
            if (listenFd_ >= 0 && fds[1].revents)
                ProcessIncoming(); // messages sent to us meanwhile are served now
        }
    }
    ::close(fd);
    return result;
}

void SocketMessageEndpoint::ProcessIncoming() {
    while (listenFd_ >= 0 && ServeOne()) {
    }
}

bool SocketMessageEndpoint::ServeOne() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return errno == EINTR || errno == ECONNABORTED;
    Packet packet{};
    if (!PeerIsSameUser(fd) || !ReadPacket(fd, packet, kReadTimeoutMs) ||
        (packet.Kind != kPost && packet.Kind != kSend)) {
        ++refused_;
        ::close(fd);
        return true;
    }
    const WindowMessage message{packet.Msg, packet.WParam, packet.LParam, packet.Kind == kSend};
    if (packet.Kind == kPost) {
        ::close(fd);
        loop_.Post([this, alive = alive_, message] {
            if (*alive && OnMessage) OnMessage(message);
        });
        return true;
    }
    // Keep this endpoint alive for the answer even if the handler ends its owner's life.
    const auto alive = alive_;
    const MessageResult result = OnMessage ? OnMessage(message) : 0;
    (void)alive;
    WritePacket(fd, Packet{kMagic, kReply, packet.Msg, 0, 0, 0, result});
    ::close(fd);
    return *alive; // a handler that destroyed this endpoint ends the serving
}

SocketMessenger::SocketMessenger(MessageLoop& loop, MessengerOptions options)
    : loop_(loop), options_(std::move(options)) {
    directory_ = options_.Directory.empty() ? DefaultMessageDirectory() : options_.Directory;
    usable_ = PrepareMessageDirectory(directory_);
}

std::unique_ptr<MessageEndpoint> SocketMessenger::CreateEndpoint(WindowHandle preferred) {
    return CreateSocketEndpoint(preferred);
}

std::unique_ptr<SocketMessageEndpoint> SocketMessenger::CreateSocketEndpoint(WindowHandle preferred) {
    if (!usable_) return nullptr;
    std::unique_ptr<SocketMessageEndpoint> endpoint(
        new SocketMessageEndpoint(loop_, directory_, options_.SendTimeoutMs));
    bool listening = preferred != 0 && endpoint->Listen(preferred);
    for (int attempt = 0; !listening && attempt < 64; ++attempt)
        listening = endpoint->Listen(NextCandidate());
    if (!listening) return nullptr;
    if (options_.Watch) {
        SocketMessageEndpoint* raw = endpoint.get();
        endpoint->unwatch_ = options_.Watch(endpoint->Descriptor(), [raw] { raw->ProcessIncoming(); });
    }
    return endpoint;
}

std::unique_ptr<Messenger> CreatePlatformMessenger(MessageLoop& loop, MessengerOptions options) {
    return std::make_unique<SocketMessenger>(loop, std::move(options));
}

} // namespace mirota
