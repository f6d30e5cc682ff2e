// Two processes exchange the six messages through real window messages: the test starts the peer
// program (MessagePeer.cpp) with the launcher's starter, as Pravik starts Ostrel, and plays Pravik's
// part. Covers the parameter line across the start, posting and sending in both directions, a send
// answered while the receiver itself sends back, and a handle of an ended program that gets nothing.
#include "launcher/FrmMainStart.h"
#include "platform/win32/messages/WindowMessenger.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace mirota::test {
namespace {

// Dispatches this thread's messages until `done` holds or `timeoutMs` has passed.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

TEST(MessageExchange, TwoProcessesExchangeTheSixMessages) {
    WindowMessenger messenger{MessengerOptions{}};
    auto endpoint = messenger.CreateEndpoint();
    ASSERT_TRUE(endpoint);

    std::vector<WindowMessage> seen;
    endpoint->OnMessage = [&](const WindowMessage& m) -> MessageResult {
        seen.push_back(m);
        switch (m.Msg) {
        case WM_CONTROL_DEACTIVATED:
            return 44;
        case WM_SCREEN_OPENED:
            return 55;
        case WM_SCREEN_CLOSED:
            return 66;
        default:
            return 0;
        }
    };
    auto count = [&](std::uint32_t msg) {
        return std::count_if(seen.begin(), seen.end(),
                             [msg](const WindowMessage& m) { return m.Msg == msg; });
    };

    PlatformControlStarter starter(ProgramDirectory() + "mirota_message_peer.exe");
    ASSERT_TRUE(
        starter.StartControlProgram({u"COM7", u"Mirota message peer", u"PEER \"01\"", endpoint->Handle()}));
    ASSERT_EQ(starter.Children().size(), 1u);

    // Posted by the peer once it runs (a cold wine start takes seconds).
    ASSERT_TRUE(PumpUntil([&] { return count(WM_CONTROL_OPENED) > 0; }, 60000));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].Sent);
    EXPECT_EQ(seen[0].wParam, 7u) << "0: a parameter did not reach the peer as it was given";
    const auto peer = static_cast<WindowHandle>(seen[0].lParam);
    ASSERT_NE(peer, 0u);
    EXPECT_NE(peer, endpoint->Handle());

    // The peer answers 1 only if its three sends, made while this send waits, got our answers.
    EXPECT_EQ(endpoint->Send(peer, WM_CONTROL_TO_FRONT, 0, 0), 1);
    ASSERT_EQ(seen.size(), 4u);
    const std::uint32_t nested[] = {WM_CONTROL_DEACTIVATED, WM_SCREEN_OPENED, WM_SCREEN_CLOSED};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[1 + i].Msg, nested[i]);
        EXPECT_TRUE(seen[1 + i].Sent);
        EXPECT_EQ(seen[1 + i].lParam, i == 0 ? 0 : 0x5C001);
    }

    EXPECT_TRUE(endpoint->Post(peer, WM_CONTROL_CLOSE, 0, 0));
    ASSERT_TRUE(PumpUntil([&] { return count(WM_CONTROL_CLOSE) > 0; }, 20000));
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_FALSE(seen[4].Sent);
    EXPECT_EQ(seen[4].wParam, 0u);
    EXPECT_EQ(seen[4].lParam, 7);

    // The peer ends; its handle then reaches nobody.
    ASSERT_TRUE(PumpUntil(
        [&] {
            starter.ReapFinished();
            return starter.Children().empty();
        },
        20000));
    EXPECT_FALSE(endpoint->Post(peer, WM_CONTROL_CLOSE, 0, 0));
    EXPECT_FALSE(endpoint->Send(peer, WM_CONTROL_TO_FRONT, 0, 0).has_value());
}

} // namespace
} // namespace mirota::test
