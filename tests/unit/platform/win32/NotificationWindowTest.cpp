// The hidden window of the device-notification component: created, its messages reach the component's
// window procedure through the thread's message loop, unhandled ones get the default processing, and
// it is gone with the component.
#include "platform/win32/usb/Win32NotificationSource.h"

#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <dbt.h>

#include <vector>

namespace mirota {
namespace {

void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

TEST(NotificationWindow, IsCreatedAndHandsItsMessagesToTheWindowProcedure) {
    std::vector<TMessage> seen;
    Win32NotificationSource source;
    const HWND hwnd = static_cast<HWND>(source.WindowHandle());
    ASSERT_NE(hwnd, nullptr) << "hidden window not created, error " << ::GetLastError();
    ASSERT_TRUE(::IsWindow(hwnd));
    EXPECT_FALSE(::IsWindowVisible(hwnd));

    source.Register([&](TMessage& m) {
        if (m.Msg == WM_DEVICECHANGE) {
            seen.push_back(m);
            m.Result = TRUE;
        } else {
            m.Result = source.DefaultProc(m);
        }
    });

    // Posted: the node-change notice (messages with a broadcast pointer, wParam >= 0x8000, can only be
    // sent, never posted).
    ASSERT_TRUE(::PostMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
    EXPECT_TRUE(seen.empty());
    PumpMessages();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].WParam, static_cast<std::uintptr_t>(DBT_DEVNODES_CHANGED));

    // Sent, as the system sends an arrival: the broadcast header reaches the procedure unchanged.
    DEV_BROADCAST_DEVICEINTERFACE_W arrival{};
    arrival.dbcc_size = sizeof arrival;
    arrival.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    EXPECT_EQ(::SendMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival)),
              TRUE);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].WParam, static_cast<std::uintptr_t>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(seen[1].LParam, reinterpret_cast<std::intptr_t>(&arrival));

    // Default processing through DefaultProc reaches the real window: its text can be set and read.
    EXPECT_TRUE(::SetWindowTextW(hwnd, L"hidden"));
    wchar_t text[16] = {};
    EXPECT_EQ(::GetWindowTextW(hwnd, text, 16), 6);
    EXPECT_STREQ(text, L"hidden");
}

TEST(NotificationWindow, WindowIsDestroyedWithTheComponentAndEveryComponentHasItsOwn) {
    HWND first = nullptr;
    {
        Win32NotificationSource a;
        Win32NotificationSource b;
        first = static_cast<HWND>(a.WindowHandle());
        ASSERT_NE(first, nullptr);
        ASSERT_NE(b.WindowHandle(), nullptr);
        EXPECT_NE(b.WindowHandle(), a.WindowHandle());
    }
    EXPECT_FALSE(::IsWindow(first));
    PumpMessages();
}

} // namespace
} // namespace mirota
