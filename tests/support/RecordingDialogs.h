#pragma once
// The dialogs as the tests see them: every box shown is recorded (caption, text, kind and the loop's
// tick), and answered as set up. A few options cover what the tests need:
//   answerAfterMs  the time the user takes to press a button (the loop runs meanwhile, as under a modal
//                  box); needs the loop given to the constructor
//   answers        the answers to Yes/No questions in turn; `unanswered` once they are used up
//   inputs         the results of input boxes in turn; then `input` if set, else the value unchanged
//   whileShown     runs while any box is open, onSystemBox while a system box is open
#include "link/Dialogs.h"
#include "loop/MessageLoop.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mirota::test {

struct ShownBox {
    std::string caption; // the system box's caption, or the dialog's kind caption
    std::string text;
    DialogKind kind;  // the dialog's kind or the system box's icon
    std::uint64_t at; // the loop's tick when it was shown (0 without a loop)
};

class RecordingDialogs : public Dialogs {
public:
    RecordingDialogs() = default;
    explicit RecordingDialogs(MessageLoop& loop) : loop_(&loop) {}

    std::vector<ShownBox> shown;
    int answerAfterMs = 0;
    std::deque<DialogResult> answers;
    DialogResult unanswered = DialogResult::Yes;
    std::deque<std::optional<std::string>> inputs;
    std::optional<std::string> input;
    std::vector<std::string> inputPrompts;
    std::function<void()> whileShown;
    std::function<void()> onSystemBox;

    // Forgets the boxes shown and the prompts asked so far (the answers set up stay).
    void Clear() {
        shown.clear();
        inputPrompts.clear();
    }
    // The texts of the boxes shown, in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& b : shown)
            t.push_back(b.text);
        return t;
    }

    DialogResult ShowDialog(DialogKind kind, const std::string& text, DialogButtons buttons) override {
        const char* caption = kind == DialogKind::Error         ? kCaptionError
                              : kind == DialogKind::Information ? kCaptionInformation
                                                                : kCaptionWarning;
        Record(caption, text, kind);
        if (buttons == DialogButtons::Ok) return DialogResult::Ok;
        if (answers.empty()) return unanswered;
        const DialogResult r = answers.front();
        answers.pop_front();
        return r;
    }
    DialogResult ShowSystemBox(const std::string& text, const std::string& caption, DialogKind icon,
                               DialogButtons) override {
        Record(caption, text, icon);
        if (onSystemBox) onSystemBox();
        return DialogResult::Ok;
    }
    std::optional<std::string> InputBox(const std::string&, const std::string& prompt,
                                        const std::string& value) override {
        inputPrompts.push_back(prompt);
        if (!inputs.empty()) {
            auto r = inputs.front();
            inputs.pop_front();
            return r;
        }
        if (input) return input;
        return value;
    }

private:
    void Record(const std::string& caption, const std::string& text, DialogKind kind) {
        shown.push_back({caption, text, kind, loop_ ? loop_->TickCount() : 0});
        if (whileShown) whileShown();
        if (loop_ && answerAfterMs > 0) Delay(*loop_, answerAfterMs);
    }

    MessageLoop* loop_ = nullptr;
};

} // namespace mirota::test
