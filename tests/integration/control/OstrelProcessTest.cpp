// The ostrel program as a process: on a pseudo-terminal with a device answering at the other end, and
// talking to this test, which stands in for Pravik, through the Linux messenger.
#include "loop/RealTimeLoop.h"
#include "platform/posix/messages/SocketMessenger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

using namespace mirota;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A device on the master side of a pty: answers the version and name queries, logs what it got.
class PtyDevice {
public:
    PtyDevice() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master_);
        ::unlockpt(master_);
        slave_ = ::ptsname(master_);
        termios t{};
        ::tcgetattr(master_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyDevice() {
        stop_ = true;
        thread_.join();
        ::close(master_);
    }
    const std::string& SlavePath() const { return slave_; }
    std::string Received() {
        std::lock_guard lock(m_);
        return received_;
    }

private:
    void Run() {
        std::string pending;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
            char buf[64];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) continue;
            std::lock_guard lock(m_);
            for (ssize_t i = 0; i < n; ++i) {
                received_ += buf[i];
                pending += buf[i];
                std::string reply;
                if (pending.ends_with("$357\x1b"))
                    reply = "&3572.31\x1b";
                else if (pending.ends_with("$112"))
                    reply = "&112DMS 2000\x1b";
                if (!reply.empty()) {
                    pending.clear();
                    [[maybe_unused]] auto w = ::write(master_, reply.data(), reply.size());
                }
            }
        }
    }
    int master_ = -1;
    std::string slave_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::string received_;
};

// The stand-in for Pravik: an endpoint served by a thread, collecting what arrives.
class FakePravik {
public:
    explicit FakePravik(const fs::path& dir)
        : messenger_(loop_, MessengerOptions{dir.string(), {}, 5000}),
          endpoint(messenger_.CreateSocketEndpoint()) {
        endpoint->OnMessage = [this](const WindowMessage& m) {
            std::lock_guard lock(m_);
            got_.push_back(m);
            return MessageResult{0};
        };
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{endpoint->Descriptor(), POLLIN, 0};
                if (::poll(&p, 1, 10) > 0) endpoint->ProcessIncoming();
                loop_.ProcessMessages();
            }
        });
    }
    ~FakePravik() {
        stop_ = true;
        thread_.join();
    }
    std::vector<WindowMessage> Got() {
        std::lock_guard lock(m_);
        return got_;
    }
    bool WaitFor(std::uint32_t msg, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            for (const auto& m : Got())
                if (m.Msg == msg) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

private:
    RealTimeLoop loop_;
    SocketMessenger messenger_;

public:
    std::unique_ptr<SocketMessageEndpoint> endpoint;

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::vector<WindowMessage> got_;
};

struct Ostrel {
    pid_t pid = -1;
    int out = -1;
    std::string output;

    Ostrel(const std::vector<std::string>& args, const fs::path& messageDir) {
        int pipeFds[2];
        EXPECT_EQ(::pipe(pipeFds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen", "MIROTA_OSTREL_TRACE=1",
                                     "MIROTA_MESSAGE_DIR=" + messageDir.string()};
        for (char** e = environ; *e; ++e)
            if (!std::string(*e).starts_with("MIROTA_") && !std::string(*e).starts_with("QT_QPA_PLATFORM="))
                env.emplace_back(*e);
        std::vector<char*> envp, argv{const_cast<char*>(OSTREL_BINARY)};
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> copy = args;
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&pid, OSTREL_BINARY, &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out = pipeFds[0];
    }
    ~Ostrel() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::close(out);
    }
    // Reads standard output until `text` appeared or the time is up.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (output.find(text) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) > 0) {
                char buf[256];
                const ssize_t n = ::read(out, buf, sizeof buf);
                if (n <= 0) return false;
                output.append(buf, static_cast<std::size_t>(n));
            }
        }
        return true;
    }
    // Waits for the process to end; its exit code, or -1 when it is still running.
    int WaitForExit(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }
};

fs::path FreshDirectory(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("mirota-it-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    return dir;
}

int PtyNumber(const std::string& path) {
    return std::stoi(path.substr(path.find_last_not_of("0123456789") + 1));
}

TEST(OstrelProcess, FillsTheListAndTalksToPravik) {
    const fs::path dir = FreshDirectory("talk");
    FakePravik pravik(dir);
    PtyDevice device;
    Ostrel ostrel(
        {device.SlavePath(), "Mirota DMS 2000", "FT5X2KQ9", std::to_string(pravik.endpoint->Handle())}, dir);

    ASSERT_TRUE(pravik.WaitFor(WM_CONTROL_OPENED, 10s));
    const WindowMessage opened = pravik.Got().front();
    EXPECT_EQ(opened.wParam, static_cast<std::uint64_t>(PtyNumber(device.SlavePath())));
    const auto ostrelHandle = static_cast<WindowHandle>(opened.lParam);
    EXPECT_NE(ostrelHandle, 0u);

    EXPECT_TRUE(ostrel.WaitForOutput("item 0: DMS 2000\n", 10s)) << ostrel.output;
    EXPECT_TRUE(ostrel.WaitForOutput("item 2: 2.31\n", 5s)) << ostrel.output;
    EXPECT_NE(ostrel.output.find("caption: Control-Screen(FT5X2KQ9)"), std::string::npos);

    // A blocking send across the processes gets Ostrel's answer.
    EXPECT_EQ(pravik.endpoint->Send(ostrelHandle, WM_CONTROL_TO_FRONT, 0, 0), MessageResult{1});

    // Asked to end, Ostrel closes its window as the user would and tells Pravik.
    ::kill(ostrel.pid, SIGTERM);
    EXPECT_EQ(ostrel.WaitForExit(10s), 0);
    ASSERT_TRUE(pravik.WaitFor(WM_CONTROL_CLOSE, 5s));
    for (const auto& m : pravik.Got())
        if (m.Msg == WM_CONTROL_CLOSE) {
            EXPECT_EQ(m.wParam, 0u);
            EXPECT_EQ(m.lParam, PtyNumber(device.SlavePath()));
        }
    EXPECT_EQ(device.Received(), std::string("*$6660\r$357\x1b$112"));
    fs::remove_all(dir);
}

TEST(OstrelProcess, PraviksCloseEndsOstrelWithoutAnAnswer) {
    const fs::path dir = FreshDirectory("close");
    FakePravik pravik(dir);
    PtyDevice device;
    Ostrel ostrel({device.SlavePath(), "DMS 2000", "FT1", std::to_string(pravik.endpoint->Handle())}, dir);
    ASSERT_TRUE(pravik.WaitFor(WM_CONTROL_OPENED, 10s));
    const auto ostrelHandle = static_cast<WindowHandle>(pravik.Got().front().lParam);
    ASSERT_TRUE(ostrel.WaitForOutput("item 0: DMS 2000\n", 10s)) << ostrel.output;
    EXPECT_TRUE(pravik.endpoint->Post(ostrelHandle, WM_CONTROL_CLOSE, 0, 0));
    EXPECT_EQ(ostrel.WaitForExit(10s), 0);
    std::this_thread::sleep_for(100ms);
    for (const auto& m : pravik.Got())
        EXPECT_NE(m.Msg, WM_CONTROL_CLOSE);
    fs::remove_all(dir);
}

#ifdef DEVSIM_BINARY
// The simulator program on its own pty, as in the demo.
TEST(OstrelProcess, AgainstTheSimulatorProgram) {
    const fs::path dir = FreshDirectory("devsim");
    FakePravik pravik(dir);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string name = "--name", nameValue = "TMS 40", firmware = "--firmware", firmwareValue = "1.05";
    char* argv[] = {const_cast<char*>(DEVSIM_BINARY),
                    name.data(),
                    nameValue.data(),
                    firmware.data(),
                    firmwareValue.data(),
                    nullptr};
    pid_t devsim = -1;
    ASSERT_EQ(::posix_spawn(&devsim, DEVSIM_BINARY, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string line;
    char c;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n')
        line += c;
    ASSERT_FALSE(line.empty());
    {
        Ostrel ostrel({line, "Mirota TMS 40", "FT40", std::to_string(pravik.endpoint->Handle())}, dir);
        EXPECT_TRUE(ostrel.WaitForOutput("item 0: TMS 40\n", 10s)) << ostrel.output;
        EXPECT_TRUE(ostrel.WaitForOutput("item 2: 1.05\n", 5s)) << ostrel.output;
        ASSERT_TRUE(pravik.WaitFor(WM_CONTROL_OPENED, 5s));
        ::kill(ostrel.pid, SIGTERM);
        EXPECT_EQ(ostrel.WaitForExit(10s), 0);
        EXPECT_TRUE(pravik.WaitFor(WM_CONTROL_CLOSE, 5s));
    }
    ::kill(devsim, SIGTERM);
    ::waitpid(devsim, nullptr, 0);
    ::close(pipeFds[0]);
    fs::remove_all(dir);
}
#endif

TEST(Messenger, ForeignUsersMessageIsRefused) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const fs::path dir = FreshDirectory("foreign");
    RealTimeLoop loop;
    SocketMessenger messenger(loop, MessengerOptions{dir.string(), {}, 1000});
    auto endpoint = messenger.CreateSocketEndpoint();
    ASSERT_TRUE(endpoint);
    int handled = 0;
    endpoint->OnMessage = [&](const WindowMessage&) {
        ++handled;
        return MessageResult{0};
    };
    // Open the door on purpose, so that only the peer check stands between the other user and us.
    ::chmod(dir.c_str(), 0755);
    ::chmod(endpoint->SocketPath().c_str(), 0777);

    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        RealTimeLoop childLoop;
        // The other user's messenger has its own directory; it addresses ours through the open door.
        SocketMessenger other(
            childLoop, MessengerOptions{"/tmp/mirota-it-other-" + std::to_string(::getpid()), {}, 500});
        auto sender = other.CreateSocketEndpoint();
        // Aim at the handle in our directory by linking its socket name into the other's directory.
        const std::string path = other.Directory() + "/1234";
        if (::symlink(endpoint->SocketPath().c_str(), path.c_str()) != 0) ::_exit(3);
        const bool posted = sender && sender->Post(1234, WM_CONTROL_CLOSE, 0, 0);
        // A hostile peer that skips the messenger and writes a well-formed post itself.
        const int raw = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", endpoint->SocketPath().c_str());
        if (::connect(raw, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) ::_exit(4);
        const std::uint32_t head[4] = {0x4D52544D, 1, WM_CONTROL_CLOSE, 0};
        const std::int64_t body[3] = {0, 0, 0};
        char packet[40];
        std::memcpy(packet, head, sizeof head);
        std::memcpy(packet + sizeof head, body, sizeof body);
        // The receiver may already have dropped the connection; then the send fails, which is fine.
        [[maybe_unused]] const auto sent = ::send(raw, packet, sizeof packet, MSG_NOSIGNAL);
        ::close(raw);
        // Our own messenger refuses to talk to another user's endpoint.
        ::_exit(posted ? 1 : 0);
    }
    int status = 0;
    // Serve while the child tries.
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (::waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < end) {
        pollfd p{endpoint->Descriptor(), POLLIN, 0};
        if (::poll(&p, 1, 10) > 0) endpoint->ProcessIncoming();
    }
    endpoint->ProcessIncoming();
    loop.ProcessMessages();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(handled, 0);
    EXPECT_GE(endpoint->RefusedCount(), 1);
    fs::remove_all(dir);
}

} // namespace
