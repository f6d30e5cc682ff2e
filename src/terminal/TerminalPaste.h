#pragma once
// Pasting into the terminal: the text goes to the device as if it were typed, one character per
// interval (the terminal screen's pace of 100 ms), each through the typed-key path. Line ends become
// Enter (CR; a CR LF, a lone LF or a lone CR each one CR) and TAB stays; other control characters are
// dropped, so a pasted text cannot carry escape sequences or control codes the user did not see.
#include "loop/MessageLoop.h"

#include <cstddef>
#include <functional>
#include <string>

namespace mirota {

inline constexpr int kPasteIntervalMs = 100;

// The characters a pasted text is sent as.
std::u32string PasteCharacters(const std::u32string& text);

class PacedTyping {
public:
    // type: sends one character as a typed key.
    explicit PacedTyping(std::function<void(char32_t)> type, int intervalMs = kPasteIntervalMs);
    ~PacedTyping();
    PacedTyping(const PacedTyping&) = delete;
    PacedTyping& operator=(const PacedTyping&) = delete;

    // Sends the first character at once and each further one an interval after the previous; text
    // pasted while a paste runs follows it.
    void Paste(MessageLoop& loop, const std::u32string& text);
    // Drops what was not sent yet.
    void Cancel();
    bool Busy() const { return timer_ != 0; }
    std::size_t Pending() const { return queue_.size() - next_; }

private:
    void Tick();

    std::function<void(char32_t)> type_;
    int intervalMs_;
    MessageLoop* loop_ = nullptr;
    TimerId timer_ = 0;
    std::u32string queue_;
    std::size_t next_ = 0;
};

} // namespace mirota
