#include "messages/Messages.h"

#include <gtest/gtest.h>

#include <string>

using namespace mirota;

namespace {

// A desktop that lets the window come forward only when `allowed` is set.
struct FakeWindow : ForegroundWindow {
    bool minimized = false, foreground = false, allowed = true;
    std::string calls;
    bool IsMinimized() const override { return minimized; }
    void Restore() override {
        minimized = false;
        calls += "restore ";
    }
    bool IsForeground() const override { return foreground; }
    void RaiseAndActivate() override {
        calls += "raise ";
        foreground = allowed;
    }
};

TEST(BringToForeground, FollowsTheWindowsState) {
    struct Case {
        bool minimized, foreground, allowed;
        const char* calls;
        bool result;
    } cases[] = {
        {false, true, true, "", true}, // already in front: nothing changes
        {false, false, true, "raise ", true},
        {true, false, true, "restore raise ", true},
        {true, true, true, "restore ", true},
        {false, false, false, "raise ", false}, // the desktop refuses: reported, not retried
    };
    for (const Case& c : cases) {
        FakeWindow w;
        w.minimized = c.minimized;
        w.foreground = c.foreground;
        w.allowed = c.allowed;
        EXPECT_EQ(BringToForeground(w), c.result) << c.calls;
        EXPECT_EQ(w.calls, c.calls);
        EXPECT_FALSE(w.minimized);
    }
}

} // namespace
