#pragma once
// The terminal view's link to the serial port: while bound it is one more receiver on the port, feeds
// every received chunk to the emulation and writes the emulation's answers back; typed characters go
// to the port at once, one byte each, through WriteStr. Nothing typed is shown locally.
#include "link/ComPort.h"
#include "terminal/SessionLog.h"
#include "terminal/TerminalEmulator.h"
#include "terminal/TerminalPaste.h"

#include <functional>

namespace mirota {

class TerminalSession {
public:
    TerminalSession();
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    TCustomComPort* ComPort() const { return port_; }
    // Registers as a receiver on the port; null unregisters.
    void SetComPort(TCustomComPort* port);

    // A typed character (Enter as CR, Ctrl+letter as its control character): one byte to the port.
    void KeyChar(char32_t ch);
    // A cursor, editing or function key: the emulation's sequence to the port.
    void KeyPress(TermKey key, unsigned modifiers = tmNone);

    // Sends a pasted text as typed characters, paced (TerminalPaste.h); nothing without a port.
    // Unbinding the port drops what was not sent yet.
    void Paste(const std::u32string& text);
    bool Pasting() const { return paste_.Busy(); }

    // Everything received and typed while bound (typed: the bytes the keys sent).
    SessionLog& Log() { return log_; }
    const SessionLog& Log() const { return log_; }

    TerminalEmulator& Emulator() { return emulator_; }
    const TerminalEmulator& Emulator() const { return emulator_; }

    // After received data changed the screen (the view schedules a repaint).
    std::function<void()> OnChanged;
    // Bytes received since construction.
    std::uint64_t BytesReceived() const { return bytesReceived_; }

private:
    void Received(const char* data, int count);
    void SendOutput(bool typed = false);

    TerminalEmulator emulator_;
    TComLink link_;
    TCustomComPort* port_ = nullptr;
    std::uint64_t bytesReceived_ = 0;
    SessionLog log_;
    PacedTyping paste_{[this](char32_t ch) { KeyChar(ch); }};
};

} // namespace mirota
