#include "platform/win32/serial/Win32SerialBackend.h"

#include "loop/MessageLoop.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <iterator>
#include <string>

namespace mirota {

namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), n, nullptr, nullptr);
    return narrow;
}

int LastError() {
    return static_cast<int>(::GetLastError());
}

// The events the watcher waits for: received data, line errors and the modem lines.
constexpr DWORD kWatchedEvents = EV_RXCHAR | EV_ERR | EV_BREAK | EV_CTS | EV_DSR | EV_RING | EV_RLSD;

TComErrors ErrorsOf(DWORD flags) {
    TComErrors errors = 0;
    if (flags & CE_FRAME) errors |= ceFrame;
    if (flags & CE_RXPARITY) errors |= ceRxParity;
    if (flags & CE_OVERRUN) errors |= ceOverrun;
    if (flags & CE_BREAK) errors |= ceBreak;
    if (flags & CE_IOE) errors |= ceIO;
    if (flags & CE_MODE) errors |= ceMode;
    if (flags & CE_RXOVER) errors |= ceRxOver;
    if (flags & CE_TXFULL) errors |= ceTxFull;
    return errors;
}

DWORD Timeout(int value) {
    return value < 0 ? MAXDWORD : static_cast<DWORD>(value);
}

// Period of the queue polling used where WaitCommEvent is refused.
constexpr DWORD kPollPeriodMs = 20;

unsigned EventsOfErrors(DWORD flags) {
    return flags & (CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_BREAK | CE_RXOVER) ? evError : 0u;
}

} // namespace

// What the watcher thread shares with the backend and with the jobs it hands to the loop. A job may
// outlive the backend in the loop's queue; it holds this and does nothing once `alive` is false.
struct Win32SerialBackend::Watch {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE stopEvent = nullptr;
    MessageLoop* loop = nullptr;
    LineEventSink* sink = nullptr;
    std::atomic<bool> stop{false};
    std::atomic<bool> alive{true};
    // Error flags that the polling watcher's ClearCommError took from the line, kept for TakeErrors.
    std::atomic<DWORD> clearedErrors{0};
    std::atomic<bool> polling{false};
};

Win32SerialBackend::Win32SerialBackend() = default;

Win32SerialBackend::~Win32SerialBackend() {
    CloseDevice();
}

int Win32SerialBackend::OpenDevice(const std::string& port) {
    if (handle_ != INVALID_HANDLE_VALUE) return ERROR_BUSY;
    if (port.empty()) return ERROR_FILE_NOT_FOUND;
    // "\\.\" reaches every COM device, also those above COM9; a name given as a device path stays.
    const std::wstring path = port.rfind("\\\\", 0) == 0 ? Widen(port) : L"\\\\.\\" + Widen(port);
    // No sharing: nobody else may have the line while it is open here.
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    if (::GetFileType(h) != FILE_TYPE_CHAR) {
        ::CloseHandle(h);
        return ERROR_INVALID_HANDLE;
    }
    handle_ = h;
    pendingErrors_ = 0;
    return 0;
}

int Win32SerialBackend::SetupQueues(const TComBuffer& buffer) {
    if (handle_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    if (buffer.InputSize < 0 || buffer.OutputSize < 0) return ERROR_INVALID_PARAMETER;
    if (!::SetupComm(handle_, static_cast<DWORD>(buffer.InputSize), static_cast<DWORD>(buffer.OutputSize)))
        return LastError();
    return 0;
}

int Win32SerialBackend::ApplySettings(const LineSettings& settings) {
    if (handle_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    if (settings.BaudRate <= 0) return ERROR_INVALID_PARAMETER;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) return LastError();
    dcb.BaudRate = static_cast<DWORD>(settings.BaudRate);
    dcb.fBinary = TRUE;
    dcb.fParity = settings.Parity.Check ? TRUE : FALSE;
    dcb.fErrorChar = settings.Parity.Check && settings.Parity.Replace ? TRUE : FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    switch (settings.DataBits) {
    case TDataBits::dbFive:
        dcb.ByteSize = 5;
        break;
    case TDataBits::dbSix:
        dcb.ByteSize = 6;
        break;
    case TDataBits::dbSeven:
        dcb.ByteSize = 7;
        break;
    case TDataBits::dbEight:
        dcb.ByteSize = 8;
        break;
    }
    switch (settings.Parity.Bits) {
    case TParityBits::prNone:
        dcb.Parity = NOPARITY;
        break;
    case TParityBits::prOdd:
        dcb.Parity = ODDPARITY;
        break;
    case TParityBits::prEven:
        dcb.Parity = EVENPARITY;
        break;
    case TParityBits::prMark:
        dcb.Parity = MARKPARITY;
        break;
    case TParityBits::prSpace:
        dcb.Parity = SPACEPARITY;
        break;
    }
    switch (settings.StopBits) {
    case TStopBits::sbOneStopBit:
        dcb.StopBits = ONESTOPBIT;
        break;
    case TStopBits::sbOne5StopBits:
        dcb.StopBits = ONE5STOPBITS;
        break;
    case TStopBits::sbTwoStopBits:
        dcb.StopBits = TWOSTOPBITS;
        break;
    }
    const TComFlowControl& flow = settings.FlowControl;
    dcb.fOutxCtsFlow = flow.OutCTSFlow ? TRUE : FALSE;
    dcb.fOutxDsrFlow = flow.OutDSRFlow ? TRUE : FALSE;
    dcb.fOutX = flow.XonXoffOut ? TRUE : FALSE;
    dcb.fInX = flow.XonXoffIn ? TRUE : FALSE;
    switch (flow.ControlRTS) {
    case TRTSFlowControl::rtsDisable:
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        break;
    case TRTSFlowControl::rtsEnable:
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        break;
    case TRTSFlowControl::rtsHandshake:
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        break;
    case TRTSFlowControl::rtsToggle:
        dcb.fRtsControl = RTS_CONTROL_TOGGLE;
        break;
    }
    switch (flow.ControlDTR) {
    case TDTRFlowControl::dtrDisable:
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        break;
    case TDTRFlowControl::dtrEnable:
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        break;
    case TDTRFlowControl::dtrHandshake:
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        break;
    }
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (!::SetCommState(handle_, &dcb)) return LastError();
    return 0;
}

int Win32SerialBackend::ApplyTimeouts(const TComTimeouts& timeouts) {
    if (handle_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    COMMTIMEOUTS t{};
    // ReadInterval -1 (MAXDWORD) with both read totals 0: a read returns at once with what is queued.
    t.ReadIntervalTimeout = Timeout(timeouts.ReadInterval);
    t.ReadTotalTimeoutMultiplier = Timeout(timeouts.ReadTotalMultiplier);
    t.ReadTotalTimeoutConstant = Timeout(timeouts.ReadTotalConstant);
    t.WriteTotalTimeoutMultiplier = Timeout(timeouts.WriteTotalMultiplier);
    t.WriteTotalTimeoutConstant = Timeout(timeouts.WriteTotalConstant);
    if (!::SetCommTimeouts(handle_, &t)) return LastError();
    return 0;
}

void Win32SerialBackend::StartEvents(MessageLoop& loop, LineEventSink& sink) {
    if (handle_ == INVALID_HANDLE_VALUE || watch_) return;
    auto watch = std::make_shared<Watch>();
    watch->handle = handle_;
    watch->stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watch->loop = &loop;
    watch->sink = &sink;
    if (!watch->stopEvent) return; // without a stop event the watcher could never be ended
    ::SetCommMask(handle_, kWatchedEvents);
    try {
        watcher_ = std::thread(WatchLine, watch);
    } catch (...) {
        ::CloseHandle(watch->stopEvent);
        throw;
    }
    watch_ = std::move(watch);
}

void Win32SerialBackend::StopEvents() {
    if (!watch_) return;
    // From here on no job reaches the sink, not even one that is already queued in the loop; the
    // watcher gives up a pending hand-over (HandOver's abandon) and ends.
    watch_->alive = false;
    watch_->stop = true;
    ::SetEvent(watch_->stopEvent);
    if (watcher_.joinable()) watcher_.join();
    ::CloseHandle(watch_->stopEvent);
    watch_.reset();
}

// Waits for line events with WaitCommEvent. Some drivers refuse it: wine on a pseudo-terminal fails it
// at once (error 50) when modem events are in the mask and aborts it after ~10 ms (error 995) without
// them, and some USB-serial drivers misbehave alike. A refusal is told from a hang-up by asking the
// line for its state: when ClearCommError still works, the watcher polls the queue instead.
void Win32SerialBackend::WatchLine(std::shared_ptr<Watch> w) {
    auto deliver = [&w](unsigned events, int error) {
        return w->loop->HandOver(
            [w, events, error] {
                if (w->alive) w->sink->HandleLineEvents(events, error);
            },
            [w] { return w->stop.load(); });
    };
    // False (after reporting the hang-up) when the line is gone.
    auto lineStillThere = [&]() {
        DWORD flags = 0;
        COMSTAT stat{};
        if (!::ClearCommError(w->handle, &flags, &stat)) {
            deliver(evHangup, LastError());
            return false;
        }
        w->clearedErrors |= flags;
        return true;
    };
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent) {
        deliver(evHangup, LastError());
        return;
    }
    bool refused = false;
    while (!w->stop) {
        ::ResetEvent(ov.hEvent);
        DWORD mask = 0;
        if (!::WaitCommEvent(w->handle, &mask, &ov)) {
            if (::GetLastError() != ERROR_IO_PENDING) {
                refused = true;
                break;
            }
            const HANDLE waits[2] = {ov.hEvent, w->stopEvent};
            const DWORD r = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            if (r != WAIT_OBJECT_0) {
                ::CancelIoEx(w->handle, &ov);
                DWORD ignored = 0;
                ::GetOverlappedResult(w->handle, &ov, &ignored, TRUE);
                break;
            }
            DWORD ignored = 0;
            if (!::GetOverlappedResult(w->handle, &ov, &ignored, FALSE)) {
                // The adapter was unplugged, the driver gave up on the line, or it aborts every wait.
                refused = true;
                break;
            }
        }
        if (w->stop) break;
        unsigned events = 0;
        if (mask & EV_RXCHAR) events |= evRxChar;
        if (mask & (EV_ERR | EV_BREAK)) events |= evError;
        if (mask & (EV_CTS | EV_DSR | EV_RING | EV_RLSD)) events |= evModem;
        if (!events) {
            // An empty mask comes after the mask was changed, and from some drivers when the device is
            // gone: make sure the line is still there before waiting again.
            if (!lineStillThere()) break;
            continue;
        }
        if (!deliver(events, 0)) break;
    }
    // Stop watching: the line's event mask is cleared.
    ::SetCommMask(w->handle, 0);
    ::CloseHandle(ov.hEvent);
    if (refused && !w->stop && lineStillThere()) PollLine(w, deliver);
}

// Polls the line every kPollPeriodMs: received bytes while any are queued, line errors, modem line
// changes where the driver tells them, and a hang-up once when the line stops answering.
template <typename Deliver>
void Win32SerialBackend::PollLine(const std::shared_ptr<Watch>& w, Deliver& deliver) {
    w->polling = true;
    DWORD modem = 0;
    const bool modemKnown = ::GetCommModemStatus(w->handle, &modem) != FALSE;
    while (::WaitForSingleObject(w->stopEvent, kPollPeriodMs) == WAIT_TIMEOUT && !w->stop) {
        DWORD flags = 0;
        COMSTAT stat{};
        if (!::ClearCommError(w->handle, &flags, &stat)) {
            deliver(evHangup, LastError());
            return;
        }
        w->clearedErrors |= flags;
        unsigned events = EventsOfErrors(flags);
        if (stat.cbInQue > 0) events |= evRxChar;
        DWORD now = 0;
        if (modemKnown && ::GetCommModemStatus(w->handle, &now) && now != modem) {
            modem = now;
            events |= evModem;
        }
        if (events && !deliver(events, 0)) return;
    }
}

bool Win32SerialBackend::PollingLine() const {
    return watch_ && watch_->polling;
}

int Win32SerialBackend::Purge() {
    if (handle_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    if (!::PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return LastError();
    return 0;
}

void Win32SerialBackend::CloseDevice() {
    // The watcher waits on the handle: it must have ended before the handle is closed.
    StopEvents();
    if (handle_ == INVALID_HANDLE_VALUE) return;
    ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

int Win32SerialBackend::TakeErrors(TComErrors& errors) {
    errors = 0;
    if (handle_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    DWORD flags = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handle_, &flags, &stat)) return LastError();
    if (watch_) flags |= watch_->clearedErrors.exchange(0);
    errors = ErrorsOf(flags | pendingErrors_);
    pendingErrors_ = 0;
    return 0;
}

int Win32SerialBackend::BytesQueued(std::size_t& count) {
    count = 0;
    if (handle_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    DWORD flags = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handle_, &flags, &stat)) return LastError();
    // Asking for the queue also clears the error flags: keep them for the next TakeErrors.
    pendingErrors_ |= flags;
    count = stat.cbInQue;
    return 0;
}

int Win32SerialBackend::Transfer(bool write, char* buffer, std::size_t count, std::size_t& done) {
    done = 0;
    if (handle_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    if (count == 0) return 0;
    const DWORD want = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent) return LastError();
    DWORD n = 0;
    BOOL ok =
        write ? ::WriteFile(handle_, buffer, want, &n, &ov) : ::ReadFile(handle_, buffer, want, &n, &ov);
    int error = 0;
    if (!ok) {
        if (::GetLastError() == ERROR_IO_PENDING) ok = ::GetOverlappedResult(handle_, &ov, &n, TRUE);
        if (!ok) error = LastError();
    } else {
        ::GetOverlappedResult(handle_, &ov, &n, FALSE);
    }
    ::CloseHandle(ov.hEvent);
    done = n;
    // A write that the time-outs cut short has not done its job, even though the driver calls it complete.
    if (!error && write && done < count) error = ERROR_TIMEOUT;
    return error;
}

int Win32SerialBackend::Read(char* buffer, std::size_t count, std::size_t& got) {
    return Transfer(false, buffer, count, got);
}

int Win32SerialBackend::Write(const char* buffer, std::size_t count, std::size_t& written) {
    // WriteFile does not change the buffer.
    return Transfer(true, const_cast<char*>(buffer), count, written);
}

std::string Win32SerialBackend::ErrorText(int error) const {
    wchar_t buffer[512] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               static_cast<DWORD>(error), 0, buffer, static_cast<DWORD>(std::size(buffer)),
                               nullptr);
    while (n > 0 && (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L' '))
        --n;
    if (n == 0) return "Error " + std::to_string(error);
    return Narrow(buffer, static_cast<int>(n));
}

std::unique_ptr<SerialBackend> CreatePlatformSerialBackend() {
    return std::make_unique<Win32SerialBackend>();
}

} // namespace mirota
