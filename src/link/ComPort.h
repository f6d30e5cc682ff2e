#pragma once
// The serial port: fixed line settings, byte writes, a watcher that hands received bytes and line
// errors to the loop's thread, failures reported through OnException (or thrown as EComPort when no
// handler is attached), and a list of receivers that each see every received chunk.
#include "link/SerialBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace mirota {

class MessageLoop;
class TCustomComPort;

// Failure codes of port operations.
enum TComException : int {
    CE_OpenFailed = 1,
    CE_WriteFailed = 2,
    CE_ReadFailed = 3,
    CE_InvalidAsync = 4,
    CE_PurgeFailed = 5,
    CE_AsyncCheck = 6,
    CE_SetStateFailed = 7,
    CE_TimeoutsFailed = 8,
    CE_SetupComFailed = 9,
    CE_ClearComFailed = 10,
    CE_ModemStatFailed = 11,
    CE_EscapeComFailed = 12,
    CE_TransmitFailed = 13,
    CE_ConnChangeProp = 14,
    CE_EnumPortsFailed = 15,
    CE_StoreFailed = 16,
    CE_LoadFailed = 17,
    CE_RegFailed = 18,
    CE_LedStateFailed = 19,
    CE_ThreadCreated = 20,
    CE_WaitFailed = 21,
    CE_HasLink = 22,
    CE_RegError = 23,
    CEPortNotOpen = 24,
};

// One line that tells the user what to do about a failed open (join the device's group, end the
// program that holds the port, plug the adapter in again); empty when there is nothing to add.
std::string OpenFailureAdvice(const OpenFailureFacts& facts);

// The text of a failure code ("Unable to open com port" for 1, ...); empty for unknown codes.
std::string ComportMessage(int code);

class EComPort : public std::runtime_error {
public:
    EComPort(int code, std::int64_t winCode, const std::string& message)
        : std::runtime_error(message), Code(code), WinCode(winCode) {}
    int Code;
    std::int64_t WinCode; // -1 when there is none
};

using TComErrorEvent = std::function<void(TCustomComPort* sender, TComErrors errors)>;
using TComExceptionEvent =
    std::function<void(TCustomComPort* sender, int code, const std::string& comportMessage,
                       std::int64_t winError, const std::string& winMessage)>;
using TRxBufEvent = std::function<void(TCustomComPort* sender, const char* buffer, int count)>;

// A receiver of the port's data.
class TComLink {
public:
    TComLink() = default;
    // A receiver that goes away leaves its port's list.
    ~TComLink();
    TComLink(const TComLink&) = delete;
    TComLink& operator=(const TComLink&) = delete;

    TRxBufEvent OnRxBuf;
    // Called when the port this receiver is registered with is destroyed.
    std::function<void(TCustomComPort* port)> OnPortDestroyed;

private:
    friend class TCustomComPort;
    TCustomComPort* port_ = nullptr;
};

class TCustomComPort : private LineEventSink {
public:
    // `backend` defaults to the platform's serial backend.
    explicit TCustomComPort(MessageLoop& loop, std::unique_ptr<SerialBackend> backend = nullptr);
    ~TCustomComPort() override;
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    // Properties; changed only while the port is closed (code 14 otherwise).
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& port);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate rate);
    int CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(int rate);
    TDataBits DataBits() const { return settings_.DataBits; }
    void SetDataBits(TDataBits bits);
    TComParity& Parity() { return settings_.Parity; }
    TStopBits StopBits() const { return settings_.StopBits; }
    void SetStopBits(TStopBits bits);
    TComFlowControl& FlowControl() { return settings_.FlowControl; }
    // fcNone: no CTS/DSR flow, no XON/XOFF, RTS and DTR held inactive.
    void SetFlowControlNone();
    TComBuffer& Buffer() { return buffer_; }
    TComTimeouts& Timeouts() { return timeouts_; }
    bool Connected() const { return connected_; }

    TComErrorEvent OnError;
    TComExceptionEvent OnException;

    void Open();
    void Close();
    // OpenFailureAdvice for an open of this port that failed with the system error `error`.
    std::string OpenFailureHint(std::int64_t error) const;
    // Writes count bytes; returns the number written (0 on failure, which is reported).
    int Write(const void* buffer, int count);
    // One byte per character: the low 8 bits of each.
    int WriteStr(const std::string& str);

    void RegisterLink(TComLink* link);
    void UnRegisterLink(TComLink* link);
    bool HasLink(const TComLink* link) const;

    // The line settings that Open applies (the baud rate resolved).
    LineSettings EffectiveSettings() const;
    MessageLoop& Loop() { return loop_; }
    SerialBackend& Backend() { return *backend_; }

private:
    friend class TComLink;
    void HandleLineEvents(unsigned events, int error) override;
    // Reports a failure once: to OnException, or thrown as EComPort when none is attached.
    void Fail(int code, std::int64_t winError);
    void CheckClosedForChange();

    MessageLoop& loop_;
    std::unique_ptr<SerialBackend> backend_;
    std::string port_ = "COM1";
    TBaudRate baudRate_ = TBaudRate::br9600;
    int customBaudRate_ = 9600;
    LineSettings settings_;
    TComBuffer buffer_;
    TComTimeouts timeouts_;
    bool connected_ = false;
    bool hungUp_ = false;
    std::vector<TComLink*> links_;
    std::vector<char> rx_;
};

class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

} // namespace mirota
