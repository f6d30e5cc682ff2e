#pragma once
// What the serial port needs from the operating system. The port keeps all the rules (failure codes,
// receivers, hand-over); a backend only performs the operations. Implementations: termios
// (platform/posix), Win32 (platform/win32) and the simulated line of the device simulator.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mirota {

class MessageLoop;

enum class TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum class TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum class TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum class TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum class TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };

struct TComFlowControl {
    bool OutCTSFlow = false;
    bool OutDSRFlow = false;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    TRTSFlowControl ControlRTS = TRTSFlowControl::rtsDisable;
    TDTRFlowControl ControlDTR = TDTRFlowControl::dtrDisable;
};

struct TComParity {
    TParityBits Bits = TParityBits::prNone;
    bool Check = false;
    bool Replace = false;
};

struct TComBuffer {
    int InputSize = 1024;
    int OutputSize = 1024;
};

struct TComTimeouts {
    int ReadInterval = -1;
    int ReadTotalMultiplier = 0;
    int ReadTotalConstant = 0;
    int WriteTotalMultiplier = 100;
    int WriteTotalConstant = 1000;
};

// Line settings as applied on open.
struct LineSettings {
    int BaudRate = 9600; // bits per second, already resolved from the enumeration
    TDataBits DataBits = TDataBits::dbEight;
    TComParity Parity;
    TStopBits StopBits = TStopBits::sbOneStopBit;
    TComFlowControl FlowControl;
};

// Line error flags as the driver reports them.
enum TComError : unsigned {
    ceFrame = 1u << 0,
    ceRxParity = 1u << 1,
    ceOverrun = 1u << 2,
    ceBreak = 1u << 3,
    ceIO = 1u << 4,
    ceMode = 1u << 5,
    ceRxOver = 1u << 6,
    ceTxFull = 1u << 7,
};
using TComErrors = unsigned; // set of TComError

// Line events a backend reports to the port.
enum LineEvent : unsigned {
    evRxChar = 1u << 0, // bytes are queued
    evError = 1u << 1,  // line error flags are pending
    evHangup = 1u << 2, // the line is gone (other end closed, adapter unplugged); the reader has ended
    evModem = 1u << 3,  // a modem line changed (unused by this program)
};

// Receives the backend's events in the loop's thread.
class LineEventSink {
public:
    virtual ~LineEventSink() = default;
    // `error` carries the operating system's error number for evHangup.
    virtual void HandleLineEvents(unsigned events, int error) = 0;
};

// What the system tells about a failed open, so that the user can be told what to do.
enum class OpenFailureKind {
    Other,
    PermissionDenied, // the user may not open the device file
    Busy,             // another program holds the port
    NotFound,         // the device file does not exist (the adapter is gone)
};

// A process that has the port open.
struct PortHolder {
    int ProcessId = 0;
    std::string Program; // its command name; empty when unknown
};

struct OpenFailureFacts {
    OpenFailureKind Kind = OpenFailureKind::Other;
    std::string Device;              // the device file's path
    std::string Group;               // PermissionDenied: the name of the device file's group, if it has one
    std::vector<PortHolder> Holders; // Busy: the processes that have the port open, where they can be found
};

// Every operation returns 0 on success or the operating system's error number (> 0).
class SerialBackend {
public:
    virtual ~SerialBackend() = default;
    virtual int OpenDevice(const std::string& port) = 0;
    virtual int SetupQueues(const TComBuffer& buffer) = 0;
    virtual int ApplySettings(const LineSettings& settings) = 0;
    virtual int ApplyTimeouts(const TComTimeouts& timeouts) = 0;
    // Starts watching the line; events are handed to `sink` in the loop's thread, one batch at a time,
    // and the watcher waits until each batch has been handled.
    virtual void StartEvents(MessageLoop& loop, LineEventSink& sink) = 0;
    // Stops watching and waits for the watcher to end; never blocks on a pending hand-over. No event
    // reaches the sink afterwards, even one that was already queued.
    virtual void StopEvents() = 0;
    virtual int Purge() = 0;
    virtual void CloseDevice() = 0;
    virtual int TakeErrors(TComErrors& errors) = 0;
    virtual int BytesQueued(std::size_t& count) = 0;
    virtual int Read(char* buffer, std::size_t count, std::size_t& got) = 0;
    virtual int Write(const char* buffer, std::size_t count, std::size_t& written) = 0;
    // The operating system's description of an error number.
    virtual std::string ErrorText(int error) const = 0;
    // Looks into why OpenDevice(port) failed with `error`; backends that cannot tell say Other.
    virtual OpenFailureFacts ExamineOpenFailure(const std::string& port, int error) const {
        (void)error;
        OpenFailureFacts facts;
        facts.Device = port;
        return facts;
    }
};

// The platform's real serial backend (termios on POSIX, Win32 serial API on Windows).
std::unique_ptr<SerialBackend> CreatePlatformSerialBackend();

} // namespace mirota
