#pragma once
// A simulated measuring device on the serial line. It runs on a MessageLoop: under SimulatedLoop its
// answers and streamed packets come at exact virtual times; under a real loop (mirota-devsim) it serves
// a pseudo-terminal.
#include "link/SerialBackend.h"
#include "loop/MessageLoop.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace mirota::devsim {

// What 19200 baud with 8N1 framing carries: ten bits per byte.
inline constexpr unsigned kLineBytesPerSecond = 1920;

struct Faults {
    bool Silent = false;       // answers nothing and streams nothing
    bool WrongAnswers = false; // answers every command with a wrong answer text
    std::uint32_t LateMs = 0;  // extra delay before every answer
    bool Garbage = false;      // sends noise between packets
    int DropReplies = 0;       // the next N answers are not sent (counts down)
    bool HangUp = false;       // the line is gone (pty closed / backend reports a hang-up)
};

struct DeviceOptions {
    std::string Name = "DMS 2000"; // answer to "$112"
    std::string Firmware = "2.31"; // answer to "$357" ESC
    std::string Type = " DMS";     // device type text (catalogue of settings it holds)
    // Rounds of "%" packets per second while streaming. One round is "%001" to "%006" (the six measured
    // values) and "%007" (the output frequency), sent together; the rounds are spaced so that the
    // line's 19200 baud (1920 bytes/s) can carry them, whatever the rate asked for.
    double PacketRate = 10;
    std::uint32_t AnswerDelayMs = 20; // time from a command's last byte to its answer
    std::string CfgDir;               // _cfg directory whose catalogue files seed the settings
    Faults Fault;
    bool PortBusy = false; // the simulated backend's OpenDevice fails with EBUSY
};

struct LoggedByte {
    std::uint64_t At; // loop tick when the byte reached the device
    char Byte;
};

class DeviceSimulator {
public:
    DeviceSimulator(MessageLoop& loop, DeviceOptions options = {});
    ~DeviceSimulator();

    // Bytes from the host, as they arrive on the line.
    void Receive(const char* data, std::size_t count);
    // Bytes to the host; called in the loop's thread.
    std::function<void(const std::string& bytes)> OnTransmit;
    // The line was hung up by the device side (Faults::HangUp set through SetHangUp).
    std::function<void()> OnHangUp;
    // The value a catalogue setting holds after a write, given the command and the value written (a
    // device that rounds or limits); unset: the value as written. Writes echo the value held.
    std::function<std::string(const std::string& command, const std::string& written)> OnSettingWritten;

    DeviceOptions& Options();
    // Hangs the line up: from now on the device hears and says nothing; OnHangUp runs once.
    void SetHangUp();

    // Everything received, with arrival times.
    const std::vector<LoggedByte>& Received() const;
    std::string ReceivedText() const;
    void ClearReceived();

    // Device state.
    bool Streaming() const;                         // "%" packets on
    bool TextMode() const;                          // after "#" until "*"
    std::map<std::string, std::string>& Settings(); // catalogue command (e.g. "$105") -> value held
    double Voltage() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A serial backend that connects a TComPort to the simulator through the same loop.
std::unique_ptr<SerialBackend> MakeSimulatedBackend(DeviceSimulator& device);

} // namespace mirota::devsim
