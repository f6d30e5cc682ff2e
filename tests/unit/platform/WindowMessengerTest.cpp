// The Windows messenger on real window messages: posting and sending between endpoints, handles that
// reach no endpoint, the window an endpoint is given, sending to a thread that answers late or not at all.
#include "platform/win32/messages/WindowMessenger.h"

#include "platform/win32/WideText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace mirota::test {
namespace {

WindowHandle ToHandle(HWND window) {
    return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(window));
}

// Dispatches what is queued for this thread's windows.
void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// A window of this thread that is not an endpoint; it counts the messages of WM_APP that reach its own
// procedure.
int gForeignMessages = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_APP || (msg >= WM_USER + 1 && msg <= WM_USER + 6)) ++gForeignMessages;
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

HWND CreatePlainWindow() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &CountingProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MirotaTestPlainWindow";
        return ::RegisterClassExW(&wc) != 0;
    }();
    if (!registered) return nullptr;
    // Message-only, so that the test needs no display.
    return ::CreateWindowExW(0, L"MirotaTestPlainWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

struct Recorder {
    std::vector<WindowMessage> messages;
    MessageHandler Handler(MessageResult result = 1) {
        return [this, result](const WindowMessage& m) {
            messages.push_back(m);
            return result;
        };
    }
};

TEST(WindowMessengerTest, PostedMessagesArriveFromTheLoopSentOnesAtOnceWithTheirResult) {
    WindowMessenger messenger({});
    auto pravik = messenger.CreateEndpoint();
    auto ostrel = messenger.CreateEndpoint();
    ASSERT_TRUE(pravik && ostrel);
    EXPECT_NE(pravik->Handle(), 0u);
    EXPECT_NE(pravik->Handle(), ostrel->Handle());
    Recorder received;
    pravik->OnMessage = received.Handler(7);

    EXPECT_TRUE(ostrel->Post(pravik->Handle(), WM_CONTROL_OPENED, 12, ostrel->Handle()));
    EXPECT_TRUE(received.messages.empty()); // not before the loop runs
    Pump();
    ASSERT_EQ(received.messages.size(), 1u);
    EXPECT_EQ(received.messages[0].Msg, WM_CONTROL_OPENED);
    EXPECT_EQ(received.messages[0].wParam, 12u);
    EXPECT_EQ(received.messages[0].lParam, static_cast<std::int64_t>(ostrel->Handle()));
    EXPECT_FALSE(received.messages[0].Sent);

    EXPECT_EQ(ostrel->Send(pravik->Handle(), WM_SCREEN_OPENED, 0, 4711), std::optional<MessageResult>(7));
    ASSERT_EQ(received.messages.size(), 2u);
    EXPECT_EQ(received.messages[1].Msg, WM_SCREEN_OPENED);
    EXPECT_EQ(received.messages[1].lParam, 4711);
    EXPECT_TRUE(received.messages[1].Sent);
    // To itself: handled at once.
    EXPECT_EQ(pravik->Send(pravik->Handle(), WM_CONTROL_DEACTIVATED, 0, 0), std::optional<MessageResult>(7));
    EXPECT_EQ(received.messages.size(), 3u);
}

TEST(WindowMessengerTest, HandlesWithoutAnEndpointGetNothing) {
    WindowMessenger messenger({});
    auto sender = messenger.CreateEndpoint();
    ASSERT_TRUE(sender);
    auto gone = messenger.CreateEndpoint();
    ASSERT_TRUE(gone);
    const WindowHandle stale = gone->Handle();
    gone.reset();
    const HWND foreign = CreatePlainWindow();
    ASSERT_TRUE(foreign);
    gForeignMessages = 0;

    for (const WindowHandle target : {WindowHandle{0}, stale, ToHandle(foreign)}) {
        SCOPED_TRACE(target);
        EXPECT_FALSE(sender->Post(target, WM_CONTROL_CLOSE, 0, 0));
        EXPECT_EQ(sender->Send(target, WM_CONTROL_TO_FRONT, 0, 0), std::nullopt);
    }
    Pump();
    EXPECT_EQ(gForeignMessages, 0);
    ::DestroyWindow(foreign);
}

TEST(WindowMessengerTest, AnEndpointReceivesOnTheWindowItIsGivenAndLeavesItsOtherMessagesAlone) {
    const HWND window = CreatePlainWindow();
    ASSERT_TRUE(window);
    WindowMessenger messenger({});
    auto endpoint = messenger.CreateEndpoint(ToHandle(window));
    ASSERT_TRUE(endpoint);
    EXPECT_EQ(endpoint->Handle(), ToHandle(window));
    EXPECT_FALSE(static_cast<WindowMessageEndpoint&>(*endpoint).OwnsWindow());
    // The same window once more is taken: the second endpoint gets a window of its own.
    auto second = messenger.CreateEndpoint(ToHandle(window));
    ASSERT_TRUE(second);
    EXPECT_NE(second->Handle(), ToHandle(window));

    Recorder received;
    endpoint->OnMessage = received.Handler();
    gForeignMessages = 0;
    EXPECT_EQ(second->Send(endpoint->Handle(), WM_CONTROL_TO_FRONT, 0, 0), std::optional<MessageResult>(1));
    ::SendMessageW(window, WM_APP, 0, 0);
    EXPECT_EQ(received.messages.size(), 1u);
    EXPECT_EQ(gForeignMessages, 1); // only WM_APP reached the window's own procedure

    endpoint.reset();
    EXPECT_FALSE(second->Post(ToHandle(window), WM_CONTROL_CLOSE, 0, 0));
    ::SendMessageW(window, WM_APP, 0, 0);
    EXPECT_EQ(gForeignMessages, 2); // the window works on as before
    ::DestroyWindow(window);
}

TEST(WindowMessengerTest, SendingToAnotherThreadWaitsForItsAnswerOrTheTimeOut) {
    std::atomic<WindowHandle> handle{0};
    std::atomic<bool> pumping{false};
    std::atomic<bool> stop{false};
    std::thread other([&] {
        WindowMessenger messenger({});
        auto endpoint = messenger.CreateEndpoint();
        endpoint->OnMessage = [](const WindowMessage& m) -> MessageResult { return m.Sent ? 1 : 2; };
        handle = endpoint->Handle();
        while (!stop) {
            if (pumping) Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    while (handle == 0)
        std::this_thread::yield();

    MessengerOptions options;
    options.SendTimeoutMs = 200;
    WindowMessenger messenger(options);
    auto sender = messenger.CreateEndpoint();
    ASSERT_TRUE(sender);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sender->Send(handle, WM_CONTROL_TO_FRONT, 0, 0), std::nullopt); // nobody serves the thread
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    pumping = true;
    EXPECT_EQ(sender->Send(handle, WM_CONTROL_TO_FRONT, 0, 0), std::optional<MessageResult>(1));
    stop = true;
    other.join();
}

} // namespace
} // namespace mirota::test
