#include "link/ComPort.h"

#include "loop/MessageLoop.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace mirota {

std::string ComportMessage(int code) {
    static const char* const texts[] = {
        "",
        "Unable to open com port",
        "WriteFile function failed",
        "ReadFile function failed",
        "Invalid Async parameter",
        "PurgeComm function failed",
        "Unable to get async status",
        "SetCommState function failed",
        "SetCommTimeouts failed",
        "SetupComm function failed",
        "ClearCommError function failed",
        "GetCommModemStatus function failed",
        "EscapeCommFunction function failed",
        "TransmitCommChar function failed",
        "Cannot set property while connected",
        "EnumPorts function failed",
        "Failed to store settings",
        "Failed to load settings",
        "Link (un)registration failed",
        "Cannot change led state if ComPort is selected",
        "Cannot wait for event if event thread is created",
        "WaitForEvent method failed",
        "A component is linked to OnRxBuf event",
        "Registry error",
        "Port Not Open",
    };
    if (code < 1 || code > 24) return {};
    return texts[code];
}

namespace {

int BaudOf(TBaudRate rate, int custom) {
    switch (rate) {
    case TBaudRate::brCustom:
        return custom;
    case TBaudRate::br110:
        return 110;
    case TBaudRate::br300:
        return 300;
    case TBaudRate::br600:
        return 600;
    case TBaudRate::br1200:
        return 1200;
    case TBaudRate::br2400:
        return 2400;
    case TBaudRate::br4800:
        return 4800;
    case TBaudRate::br9600:
        return 9600;
    case TBaudRate::br14400:
        return 14400;
    case TBaudRate::br19200:
        return 19200;
    case TBaudRate::br38400:
        return 38400;
    case TBaudRate::br56000:
        return 56000;
    case TBaudRate::br57600:
        return 57600;
    case TBaudRate::br115200:
        return 115200;
    case TBaudRate::br128000:
        return 128000;
    case TBaudRate::br256000:
        return 256000;
    }
    return custom;
}

} // namespace

TCustomComPort::TCustomComPort(MessageLoop& loop, std::unique_ptr<SerialBackend> backend)
    : loop_(loop), backend_(backend ? std::move(backend) : CreatePlatformSerialBackend()) {}

TCustomComPort::~TCustomComPort() {
    try {
        Close();
    } catch (...) {
        // A port that is being destroyed has nobody left to tell.
    }
    // Unbind the receivers (packet filters, the terminal view) that still point at this port.
    auto links = links_;
    links_.clear();
    for (TComLink* link : links) {
        link->port_ = nullptr;
        if (link->OnPortDestroyed) link->OnPortDestroyed(this);
    }
}

TComLink::~TComLink() {
    if (port_) {
        auto& links = port_->links_;
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
    }
}

void TCustomComPort::CheckClosedForChange() {
    if (connected_) Fail(CE_ConnChangeProp, -1);
}

void TCustomComPort::SetPort(const std::string& port) {
    if (port == port_) return;
    CheckClosedForChange();
    if (!connected_) port_ = port;
}

void TCustomComPort::SetBaudRate(TBaudRate rate) {
    CheckClosedForChange();
    if (!connected_) baudRate_ = rate;
}

void TCustomComPort::SetCustomBaudRate(int rate) {
    CheckClosedForChange();
    if (!connected_) customBaudRate_ = rate;
}

void TCustomComPort::SetDataBits(TDataBits bits) {
    CheckClosedForChange();
    if (!connected_) settings_.DataBits = bits;
}

void TCustomComPort::SetStopBits(TStopBits bits) {
    CheckClosedForChange();
    if (!connected_) settings_.StopBits = bits;
}

void TCustomComPort::SetFlowControlNone() {
    CheckClosedForChange();
    if (!connected_) settings_.FlowControl = TComFlowControl{};
}

LineSettings TCustomComPort::EffectiveSettings() const {
    LineSettings s = settings_;
    s.BaudRate = BaudOf(baudRate_, customBaudRate_);
    return s;
}

void TCustomComPort::Fail(int code, std::int64_t winError) {
    const std::string message = ComportMessage(code);
    if (OnException) {
        // WinError is 0 when the system gave none; code 24 carries -24.
        std::int64_t reported = winError < 0 ? 0 : winError;
        if (code == CEPortNotOpen) reported = -CEPortNotOpen;
        const std::string winMessage =
            reported > 0 ? backend_->ErrorText(static_cast<int>(reported)) : std::string();
        // Copy: the handler may detach itself.
        TComExceptionEvent handler = OnException;
        handler(this, code, message, reported, winMessage);
        return;
    }
    const std::int64_t winCode = winError > 0 ? winError : -1;
    std::string text = message;
    if (winCode != -1) {
        char buf[32];
        std::snprintf(buf, sizeof buf, " (Error: %lld)", static_cast<long long>(winCode));
        text += buf;
    }
    throw EComPort(code, winCode, text);
}

std::string OpenFailureAdvice(const OpenFailureFacts& facts) {
    const std::string device = facts.Device.empty() ? std::string("The port") : facts.Device;
    switch (facts.Kind) {
    case OpenFailureKind::PermissionDenied:
        if (!facts.Group.empty())
            return "Your user may not open " + device + ": join its group " + facts.Group +
                   " with \"sudo usermod -aG " + facts.Group +
                   " $USER\" and log in again, or install the mirota-tools package, whose udev rule "
                   "gives the logged-in user access.";
        return "Your user may not open " + device +
               ": install the mirota-tools package, whose udev rule gives the "
               "logged-in user access, or ask the administrator for access.";
    case OpenFailureKind::Busy: {
        if (facts.Holders.empty()) return device + " is in use by another program: end it and try again.";
        std::string holders;
        for (const PortHolder& h : facts.Holders) {
            if (!holders.empty()) holders += ", ";
            holders += (h.Program.empty() ? std::string("a program") : h.Program) + " (process " +
                       std::to_string(h.ProcessId) + ")";
        }
        return device + " is in use by " + holders + ": end " + (facts.Holders.size() == 1 ? "it" : "them") +
               " and try again.";
    }
    case OpenFailureKind::NotFound:
        return device +
               " does not exist: the adapter is gone. Plug it in again and open the device from Pravik.";
    case OpenFailureKind::Other:
        break;
    }
    return {};
}

std::string TCustomComPort::OpenFailureHint(std::int64_t error) const {
    if (error <= 0 || error > 0x7fffffff) return {};
    return OpenFailureAdvice(backend_->ExamineOpenFailure(port_, static_cast<int>(error)));
}

void TCustomComPort::Open() {
    if (connected_) return;
    if (int err = backend_->OpenDevice(port_)) {
        Fail(CE_OpenFailed, err);
        return;
    }
    connected_ = true;
    hungUp_ = false;
    // Each of the three set-up steps is reported on failure and opening goes on; without a handler
    // the failure is raised after the device has been closed again.
    auto step = [this](int err, int code) {
        if (!err) return;
        if (!OnException) {
            backend_->CloseDevice();
            connected_ = false;
        }
        Fail(code, err);
    };
    step(backend_->SetupQueues(buffer_), CE_SetupComFailed);
    step(backend_->ApplySettings(EffectiveSettings()), CE_SetStateFailed);
    step(backend_->ApplyTimeouts(timeouts_), CE_TimeoutsFailed);
    if (connected_) backend_->StartEvents(loop_, *this);
}

void TCustomComPort::Close() {
    if (!connected_) return;
    const int purgeError = backend_->Purge();
    backend_->StopEvents();
    backend_->CloseDevice();
    connected_ = false;
    if (purgeError && !hungUp_) Fail(CE_PurgeFailed, purgeError);
}

int TCustomComPort::Write(const void* buffer, int count) {
    if (!connected_) {
        Fail(CEPortNotOpen, -1);
        return 0;
    }
    if (count <= 0) return 0;
    std::size_t written = 0;
    if (int err =
            backend_->Write(static_cast<const char*>(buffer), static_cast<std::size_t>(count), written)) {
        Fail(CE_WriteFailed, err);
        return static_cast<int>(written);
    }
    return static_cast<int>(written);
}

int TCustomComPort::WriteStr(const std::string& str) {
    return Write(str.data(), static_cast<int>(str.size()));
}

void TCustomComPort::RegisterLink(TComLink* link) {
    if (!link || HasLink(link)) {
        Fail(CE_RegFailed, -1);
        return;
    }
    links_.push_back(link);
    link->port_ = this;
}

void TCustomComPort::UnRegisterLink(TComLink* link) {
    auto it = std::find(links_.begin(), links_.end(), link);
    if (it == links_.end()) {
        Fail(CE_RegFailed, -1);
        return;
    }
    links_.erase(it);
    link->port_ = nullptr;
}

bool TCustomComPort::HasLink(const TComLink* link) const {
    return std::find(links_.begin(), links_.end(), link) != links_.end();
}

void TCustomComPort::HandleLineEvents(unsigned events, int error) {
    // Runs in the loop's thread. A handler that throws must not end the watcher: report and go on.
    try {
        if (events & evError) {
            TComErrors errors = 0;
            if (int err = backend_->TakeErrors(errors))
                Fail(CE_ClearComFailed, err);
            else if (errors && OnError) {
                TComErrorEvent handler = OnError;
                handler(this, errors);
            }
        }
        if ((events & evRxChar) && connected_) {
            std::size_t queued = 0;
            if (int err = backend_->BytesQueued(queued)) {
                Fail(CE_ClearComFailed, err);
            } else if (queued > 0 && std::any_of(links_.begin(), links_.end(),
                                                 [](TComLink* l) { return bool(l->OnRxBuf); })) {
                rx_.resize(queued);
                std::size_t got = 0;
                if (int err = backend_->Read(rx_.data(), queued, got)) {
                    Fail(CE_ReadFailed, err);
                } else if (got > 0) {
                    // Receivers may unregister (or the port may close) from inside a callback: walk a copy
                    // and skip receivers that are gone.
                    const std::string chunk(rx_.data(), got);
                    auto links = links_;
                    for (TComLink* link : links) {
                        if (!HasLink(link) || !link->OnRxBuf) continue;
                        TRxBufEvent handler = link->OnRxBuf;
                        handler(this, chunk.data(), static_cast<int>(chunk.size()));
                    }
                }
            }
        }
        if ((events & evHangup) && !hungUp_) {
            hungUp_ = true;
            Fail(CE_ReadFailed, error);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "serial port %s: unhandled failure in event handling: %s\n", port_.c_str(),
                     e.what());
    } catch (...) {
        std::fprintf(stderr, "serial port %s: unhandled failure in event handling\n", port_.c_str());
    }
}

} // namespace mirota
