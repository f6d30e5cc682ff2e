#include "terminal/TerminalPaste.h"

namespace mirota {

std::u32string PasteCharacters(const std::u32string& text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c == U'\r') {
            out += U'\r';
            if (i + 1 < text.size() && text[i + 1] == U'\n') ++i;
        } else if (c == U'\n') {
            out += U'\r';
        } else if (c == U'\t' || (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0))) {
            out += c;
        }
    }
    return out;
}

PacedTyping::PacedTyping(std::function<void(char32_t)> type, int intervalMs)
    : type_(std::move(type)), intervalMs_(intervalMs > 0 ? intervalMs : 1) {}

PacedTyping::~PacedTyping() {
    Cancel();
}

void PacedTyping::Paste(MessageLoop& loop, const std::u32string& text) {
    const std::u32string chars = PasteCharacters(text);
    if (chars.empty()) return;
    if (Busy() && loop_ != &loop) Cancel();
    queue_.erase(0, next_);
    next_ = 0;
    queue_ += chars;
    if (Busy()) return;
    loop_ = &loop;
    timer_ = loop.StartTimer(
        static_cast<std::uint32_t>(intervalMs_), [this] { Tick(); }, true);
    Tick(); // the first character at once
}

void PacedTyping::Cancel() {
    if (timer_ != 0 && loop_) loop_->KillTimer(timer_);
    timer_ = 0;
    queue_.clear();
    next_ = 0;
}

void PacedTyping::Tick() {
    if (next_ >= queue_.size()) {
        Cancel();
        return;
    }
    const char32_t c = queue_[next_++];
    if (type_) type_(c);
    // Stops once the last character is out (the typed key may have cancelled the paste meanwhile).
    if (timer_ != 0 && next_ >= queue_.size()) Cancel();
}

} // namespace mirota
