#pragma once
// Fakes around a device screen under test: the main window as its host, and the dialogs.
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
    bool unplugged = false;
    std::vector<bool> closings;          // aErrorOccures of every ClosingCurrentFrame
    std::function<void(bool)> onClosing; // what the main window does then (lets the screen go)
    bool Unplugged() const override { return unplugged; }
    void ClosingCurrentFrame(bool aErrorOccures) override {
        closings.push_back(aErrorOccures);
        if (onClosing) onClosing(aErrorOccures);
    }
};

using ShownDialog = ShownBox;
using FakeDialogs = RecordingDialogs;

inline constexpr const char* kCommunicationFailed = "The communication with the device failed.\r\n"
                                                    "Make sure that the device is properly connected.\r\n"
                                                    "Please restart the device.";

} // namespace mirota::test
