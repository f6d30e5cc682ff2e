#include "terminal/TerminalSession.h"

namespace mirota {

TerminalSession::TerminalSession() {
    link_.OnRxBuf = [this](TCustomComPort*, const char* buffer, int count) { Received(buffer, count); };
    link_.OnPortDestroyed = [this](TCustomComPort*) {
        paste_.Cancel();
        port_ = nullptr;
    };
}

TerminalSession::~TerminalSession() {
    SetComPort(nullptr);
}

void TerminalSession::SetComPort(TCustomComPort* port) {
    if (port == port_) return;
    paste_.Cancel();
    if (port_ && port_->HasLink(&link_)) port_->UnRegisterLink(&link_);
    port_ = port;
    if (port_) port_->RegisterLink(&link_);
}

void TerminalSession::Received(const char* data, int count) {
    if (count <= 0) return;
    bytesReceived_ += static_cast<std::uint64_t>(count);
    log_.Add(SessionLog::Direction::Received, data, static_cast<std::size_t>(count));
    emulator_.Feed(data, static_cast<std::size_t>(count));
    // Answers to the device's queries (device attributes, cursor position) go back as a terminal's do.
    SendOutput();
    if (OnChanged && emulator_.Changed()) OnChanged();
}

void TerminalSession::SendOutput(bool typed) {
    if (!emulator_.HasOutput()) return;
    const std::string bytes = emulator_.TakeOutput();
    if (!port_) return; // unbound: typed keys and answers go nowhere
    if (typed) log_.Add(SessionLog::Direction::Typed, bytes);
    port_->WriteStr(bytes);
}

void TerminalSession::Paste(const std::u32string& text) {
    if (port_) paste_.Paste(port_->Loop(), text);
}

void TerminalSession::KeyChar(char32_t ch) {
    if (emulator_.TypeChar(ch)) SendOutput(true);
}

void TerminalSession::KeyPress(TermKey key, unsigned modifiers) {
    emulator_.PressKey(key, modifiers);
    SendOutput(true);
}

} // namespace mirota
