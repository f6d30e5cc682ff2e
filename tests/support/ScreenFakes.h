#pragma once
// Fakes around a device screen under test: the main window as its host, and the dialogs. Given the loop,
// the host also notes the tick of every ClosingCurrentFrame.
#include "RecordingDialogs.h"
#include "link/Dialogs.h"
#include "loop/MessageLoop.h"
#include "screen/Screens.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mirota::test {

class FakeHost : public ScreenHost {
public:
    FakeHost() = default;
    explicit FakeHost(MessageLoop& loop) : loop_(&loop) {}

    bool unplugged = false;
    std::vector<bool> closings;          // aErrorOccures of every ClosingCurrentFrame
    std::vector<std::uint64_t> closedAt; // the loop's tick of every ClosingCurrentFrame (with a loop)
    std::function<void(bool)> onClosing; // what the main window does then (lets the screen go)
    bool Unplugged() const override { return unplugged; }
    void ClosingCurrentFrame(bool aErrorOccures) override {
        closings.push_back(aErrorOccures);
        if (loop_) closedAt.push_back(loop_->TickCount());
        if (onClosing) onClosing(aErrorOccures);
    }

private:
    MessageLoop* loop_ = nullptr;
};

using ShownDialog = ShownBox;
using FakeDialogs = RecordingDialogs;

inline constexpr const char* kCommunicationFailed = "The communication with the device failed.\r\n"
                                                    "Make sure that the device is properly connected.\r\n"
                                                    "Please restart the device.";

} // namespace mirota::test
