#pragma once
// The packet filter: a receiver on a port that cuts the text between a start string and a stop string
// out of the received stream and hands it to OnPacket. Each received byte is one character (0-255).
#include "link/ComPort.h"

#include <string>

namespace mirota {

class TComDataPacket;
using TComStrEvent = std::function<void(TComDataPacket* sender, const std::string& str)>;
// Position is counted from 1; -1 means "not found".
using TCustPacketEvent = std::function<void(TComDataPacket* sender, const std::string& str, int& pos)>;

class TComDataPacket {
public:
    TComDataPacket();
    ~TComDataPacket();
    TComDataPacket(const TComDataPacket&) = delete;
    TComDataPacket& operator=(const TComDataPacket&) = delete;

    TCustomComPort* ComPort() const { return port_; }
    void SetComPort(TCustomComPort* port);
    const std::string& StartString() const { return startString_; }
    void SetStartString(const std::string& value);
    const std::string& StopString() const { return stopString_; }
    void SetStopString(const std::string& value);
    int Size() const { return size_; }
    void SetSize(int value);
    bool CaseInsensitive() const { return caseInsensitive_; }
    void SetCaseInsensitive(bool value);
    bool IncludeStrings = false;
    int MaxBufferSize = 1024;

    TComStrEvent OnPacket;
    TComStrEvent OnDiscard;
    TCustPacketEvent OnCustomStart;
    TCustPacketEvent OnCustomStop;

    void AddData(const std::string& str);
    void AddData(const char* data, std::size_t count);
    void ResetBuffer();

    // Inspection for tests and diagnostics.
    const std::string& Buffered() const { return buffer_; }
    bool InPacket() const { return inPacket_; }

private:
    void Process();
    bool CutOne();
    void Discard(std::string text);

    TCustomComPort* port_ = nullptr;
    TComLink link_;
    std::string startString_;
    std::string stopString_;
    int size_ = 0;
    bool caseInsensitive_ = false;
    std::string buffer_;
    bool inPacket_ = false;
};

} // namespace mirota
