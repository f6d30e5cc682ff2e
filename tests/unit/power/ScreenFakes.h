#pragma once
// Fakes around a device screen under test: the main window as its host, and the dialogs.
#include "screen/Screens.h"
#include "link/Dialogs.h"
#include "loop/MessageLoop.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mirota::test {

class FakeHost : public ScreenHost {
public:
    bool unplugged = false;
    std::vector<bool> closings; // aErrorOccures of every ClosingCurrentFrame
    std::function<void(bool)> onClosing; // what the main window does then (lets the screen go)
    bool Unplugged() const override { return unplugged; }
    void ClosingCurrentFrame(bool aErrorOccures) override {
        closings.push_back(aErrorOccures);
        if (onClosing)
            onClosing(aErrorOccures);
    }
};

struct ShownDialog {
    std::string caption; // the system box's caption, or the dialog's kind caption
    std::string text;
    std::uint64_t at;
};

class FakeDialogs : public Dialogs {
public:
    explicit FakeDialogs(MessageLoop& loop) : loop_(loop) {}
    std::vector<ShownDialog> shown;
    // Time the user takes to press OK (the loop runs meanwhile, as under a modal box).
    int answerAfterMs = 0;

    DialogResult ShowDialog(DialogKind kind, const std::string& text, DialogButtons) override {
        const char* caption = kind == DialogKind::Error         ? kCaptionError
                              : kind == DialogKind::Information ? kCaptionInformation
                                                                : kCaptionWarning;
        shown.push_back({caption, text, loop_.TickCount()});
        Delay(loop_, answerAfterMs);
        return DialogResult::Ok;
    }
    DialogResult ShowSystemBox(const std::string& text, const std::string& caption, DialogKind,
                               DialogButtons) override {
        shown.push_back({caption, text, loop_.TickCount()});
        Delay(loop_, answerAfterMs);
        return DialogResult::Ok;
    }

private:
    MessageLoop& loop_;
};

inline constexpr const char* kCommunicationFailed = "The communication with the device failed.\r\n"
                                                    "Make sure that the device is properly connected.\r\n"
                                                    "Please restart the device.";

} // namespace mirota::test
