#include "platform/posix/messages/SocketMessenger.h"

#include "loop/RealTimeLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mirota;
namespace fs = std::filesystem;

namespace {

fs::path FreshDirectory() {
    static int n = 0;
    const fs::path dir =
        fs::temp_directory_path() / ("mirota-msg-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
    fs::remove_all(dir);
    return dir;
}

// One program's side: its loop and a thread that serves its endpoint while the test runs.
struct Program {
    explicit Program(const fs::path& dir, std::uint32_t sendTimeoutMs = 5000)
        : messenger(loop, MessengerOptions{dir.string(), {}, sendTimeoutMs}),
          endpoint(messenger.CreateSocketEndpoint()) {}
    ~Program() { StopServing(); }

    void Serve() {
        serving = std::thread([this] {
            while (!stop) {
                pollfd p{endpoint->Descriptor(), POLLIN, 0};
                if (::poll(&p, 1, 5) > 0) endpoint->ProcessIncoming();
                loop.ProcessMessages();
            }
        });
    }
    void StopServing() {
        stop = true;
        if (serving.joinable()) serving.join();
    }

    RealTimeLoop loop;
    SocketMessenger messenger;
    std::unique_ptr<SocketMessageEndpoint> endpoint;
    std::thread serving;
    std::atomic<bool> stop{false};
};

TEST(SocketMessenger, PostArrivesThroughTheReceiversLoop) {
    const auto dir = FreshDirectory();
    Program pravik(dir), ostrel(dir);
    ASSERT_TRUE(pravik.endpoint && ostrel.endpoint);
    std::vector<WindowMessage> got;
    pravik.endpoint->OnMessage = [&](const WindowMessage& m) {
        got.push_back(m);
        return 0;
    };
    EXPECT_TRUE(
        ostrel.endpoint->Post(pravik.endpoint->Handle(), WM_CONTROL_OPENED, 12, ostrel.endpoint->Handle()));
    EXPECT_TRUE(ostrel.endpoint->Post(pravik.endpoint->Handle(), WM_CONTROL_CLOSE, 0, 12));
    pravik.endpoint->ProcessIncoming();
    EXPECT_TRUE(got.empty()); // posted messages wait for the loop
    pravik.loop.ProcessMessages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].Msg, WM_CONTROL_OPENED);
    EXPECT_EQ(got[0].wParam, 12u);
    EXPECT_EQ(got[0].lParam, static_cast<std::int64_t>(ostrel.endpoint->Handle()));
    EXPECT_FALSE(got[0].Sent);
    EXPECT_EQ(got[1].Msg, WM_CONTROL_CLOSE);
    EXPECT_EQ(got[1].lParam, 12);
    fs::remove_all(dir);
}

TEST(SocketMessenger, SendReturnsTheHandlersResult) {
    const auto dir = FreshDirectory();
    Program pravik(dir), ostrel(dir);
    ostrel.endpoint->OnMessage = [](const WindowMessage& m) -> MessageResult {
        return m.Msg == WM_CONTROL_TO_FRONT && m.Sent ? 1 : -1;
    };
    ostrel.Serve();
    EXPECT_EQ(pravik.endpoint->Send(ostrel.endpoint->Handle(), WM_CONTROL_TO_FRONT, 0, 0), MessageResult{1});
    EXPECT_EQ(pravik.endpoint->Send(ostrel.endpoint->Handle(), WM_SCREEN_OPENED, 0, 77), MessageResult{-1});
    ostrel.StopServing();
    fs::remove_all(dir);
}

TEST(SocketMessenger, MissingTargetIsANoOp) {
    const auto dir = FreshDirectory();
    Program ostrel(dir);
    const WindowHandle gone = [&] {
        Program other(dir);
        return other.endpoint->Handle();
    }();
    for (WindowHandle target : {WindowHandle{0}, gone}) {
        EXPECT_FALSE(ostrel.endpoint->Post(target, WM_CONTROL_CLOSE, 0, 3));
        EXPECT_FALSE(ostrel.endpoint->Send(target, WM_CONTROL_DEACTIVATED, 0, 0).has_value());
    }
    fs::remove_all(dir);
}

TEST(SocketMessenger, WaitingSenderServesMessagesSentToIt) {
    // Pravik asks Ostrel to come forward; Ostrel, while answering, sends 1028 back to Pravik.
    const auto dir = FreshDirectory();
    Program pravik(dir), ostrel(dir);
    std::vector<std::uint32_t> pravikGot;
    pravik.endpoint->OnMessage = [&](const WindowMessage& m) {
        pravikGot.push_back(m.Msg);
        return 0;
    };
    const WindowHandle pravikHandle = pravik.endpoint->Handle();
    std::optional<MessageResult> inner;
    ostrel.endpoint->OnMessage = [&](const WindowMessage& m) -> MessageResult {
        if (m.Msg == WM_CONTROL_TO_FRONT) {
            inner = ostrel.endpoint->Send(pravikHandle, WM_CONTROL_DEACTIVATED, 0, 0);
            ostrel.endpoint->Post(pravikHandle, WM_CONTROL_CLOSE, 0, 5);
        }
        return 1;
    };
    ostrel.Serve();
    EXPECT_EQ(pravik.endpoint->Send(ostrel.endpoint->Handle(), WM_CONTROL_TO_FRONT, 0, 0), MessageResult{1});
    ostrel.StopServing();
    EXPECT_EQ(inner, MessageResult{0});
    // The sent message was served during the wait; the posted one waits for the loop.
    EXPECT_EQ(pravikGot, std::vector<std::uint32_t>{WM_CONTROL_DEACTIVATED});
    pravik.endpoint->ProcessIncoming();
    pravik.loop.ProcessMessages();
    EXPECT_EQ(pravikGot, (std::vector<std::uint32_t>{WM_CONTROL_DEACTIVATED, WM_CONTROL_CLOSE}));
    fs::remove_all(dir);
}

TEST(SocketMessenger, SendToAReceiverThatNeverAnswersTimesOut) {
    const auto dir = FreshDirectory();
    Program pravik(dir, 150), ostrel(dir); // ostrel's endpoint exists but nobody serves it
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(pravik.endpoint->Send(ostrel.endpoint->Handle(), WM_CONTROL_TO_FRONT, 0, 0).has_value());
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(150));
    fs::remove_all(dir);
}

TEST(SocketMessenger, PreferredHandleIsUsedUnlessTaken) {
    const auto dir = FreshDirectory();
    RealTimeLoop loop;
    SocketMessenger messenger(loop, MessengerOptions{dir.string(), {}, 1000});
    auto first = messenger.CreateSocketEndpoint(0x00400007);
    auto second = messenger.CreateSocketEndpoint(0x00400007);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Handle(), 0x00400007u);
    EXPECT_NE(second->Handle(), 0x00400007u);
    EXPECT_NE(second->Handle(), 0u);
    const std::string path = first->SocketPath();
    first.reset();
    EXPECT_FALSE(fs::exists(path));
    fs::remove_all(dir);
}

TEST(SocketMessenger, StaleSocketFileIsTakenOver) {
    const auto dir = FreshDirectory();
    RealTimeLoop loop;
    SocketMessenger messenger(loop, MessengerOptions{dir.string(), {}, 1000});
    auto endpoint = messenger.CreateSocketEndpoint(4242);
    ASSERT_TRUE(endpoint);
    // Simulate a crashed program: the listening socket closes, its file stays.
    const fs::path stale = endpoint->SocketPath();
    const fs::path kept = dir / "kept";
    ::link(stale.c_str(), kept.c_str());
    endpoint.reset();
    ::rename(kept.c_str(), stale.c_str());
    ASSERT_TRUE(fs::exists(stale));
    auto again = messenger.CreateSocketEndpoint(4242);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Handle(), 4242u);
    fs::remove_all(dir);
}

TEST(MessageDirectory, IsPrivateToTheUser) {
    const auto dir = FreshDirectory();
    ASSERT_TRUE(PrepareMessageDirectory(dir.string()));
    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ::chmod(dir.c_str(), 0777); // loosened by someone: taken back
    ASSERT_TRUE(PrepareMessageDirectory(dir.string()));
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const fs::path link = dir.string() + "-link";
    fs::remove(link);
    fs::create_directory_symlink(dir, link); // a symbolic link is not trusted
    EXPECT_FALSE(PrepareMessageDirectory(link.string()));
    const fs::path file = dir / "file";
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        std::fclose(f);
    }
    EXPECT_FALSE(PrepareMessageDirectory(file.string()));

    RealTimeLoop loop;
    SocketMessenger unusable(loop, MessengerOptions{link.string(), {}, 1000});
    EXPECT_EQ(unusable.CreateEndpoint(), nullptr);
    fs::remove(link);
    fs::remove_all(dir);
}

} // namespace
