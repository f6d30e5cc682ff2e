#include "link/DataPacket.h"

#include <algorithm>
#include <cctype>

namespace mirota {

namespace {

std::string Upper(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

} // namespace

TComDataPacket::TComDataPacket() {
    link_.OnRxBuf = [this](TCustomComPort*, const char* buffer, int count) {
        AddData(buffer, static_cast<std::size_t>(count));
    };
    link_.OnPortDestroyed = [this](TCustomComPort*) { port_ = nullptr; };
}

TComDataPacket::~TComDataPacket() {
    if (port_ && port_->HasLink(&link_)) port_->UnRegisterLink(&link_);
}

void TComDataPacket::SetComPort(TCustomComPort* port) {
    if (port == port_) return;
    if (port_ && port_->HasLink(&link_)) port_->UnRegisterLink(&link_);
    port_ = port;
    if (port_) port_->RegisterLink(&link_);
}

void TComDataPacket::SetStartString(const std::string& value) {
    if (value == startString_) return;
    startString_ = value;
    ResetBuffer();
}

void TComDataPacket::SetStopString(const std::string& value) {
    if (value == stopString_) return;
    stopString_ = value;
    ResetBuffer();
}

void TComDataPacket::SetSize(int value) {
    if (value == size_) return;
    size_ = value;
    ResetBuffer();
}

void TComDataPacket::SetCaseInsensitive(bool value) {
    if (value == caseInsensitive_) return;
    caseInsensitive_ = value;
    ResetBuffer();
}

void TComDataPacket::Discard(std::string text) {
    if (OnDiscard && !text.empty()) {
        TComStrEvent handler = OnDiscard;
        handler(this, text);
    }
}

void TComDataPacket::ResetBuffer() {
    std::string old;
    old.swap(buffer_);
    inPacket_ = false;
    Discard(std::move(old));
}

void TComDataPacket::AddData(const std::string& str) {
    AddData(str.data(), str.size());
}

void TComDataPacket::AddData(const char* data, std::size_t count) {
    if (size_ <= 0 && stopString_.empty() && !OnCustomStop) {
        // No way to find an end: pass every chunk through as it came.
        if (OnPacket) {
            TComStrEvent handler = OnPacket;
            handler(this, std::string(data, count));
        }
        return;
    }
    buffer_.append(data, count);
    Process();
}

void TComDataPacket::Process() {
    // Every packet the text holds is cut first; the size limit then applies to the text left over,
    // which holds no further packet. A chunk of many packets (a stalled reader catching up) thus loses
    // none. When a callback fails, the limit is applied to what is left at that moment.
    struct LimitGuard {
        TComDataPacket& p;
        ~LimitGuard() {
            if (p.MaxBufferSize > 0 && p.buffer_.size() >= static_cast<std::size_t>(p.MaxBufferSize)) {
                std::string old;
                old.swap(p.buffer_);
                p.inPacket_ = false;
                try {
                    p.Discard(std::move(old));
                } catch (...) {
                }
            }
        }
    } guard{*this};
    while (CutOne()) {
    }
}

bool TComDataPacket::CutOne() {
    if (!inPacket_) {
        int pos = -1;
        if (OnCustomStart) {
            TCustPacketEvent handler = OnCustomStart;
            handler(this, buffer_, pos);
            if (pos != -1 && pos <= 0) return false; // the handler saw no start yet
        }
        if (pos == -1) {
            if (startString_.empty()) {
                pos = 1;
            } else {
                const std::size_t found =
                    caseInsensitive_ ? Upper(buffer_).find(Upper(startString_)) : buffer_.find(startString_);
                if (found == std::string::npos) return false;
                pos = static_cast<int>(found) + 1;
            }
        }
        inPacket_ = true;
        if (pos > 1) {
            std::string before = buffer_.substr(0, static_cast<std::size_t>(pos - 1));
            buffer_.erase(0, static_cast<std::size_t>(pos - 1));
            Discard(std::move(before));
        }
    }

    // Looking for the end of the packet.
    std::size_t length = 0;
    int q = -1;
    if (OnCustomStop) {
        TCustPacketEvent handler = OnCustomStop;
        handler(this, buffer_, q);
        if (q > 0)
            length = std::min(static_cast<std::size_t>(q), buffer_.size());
        else if (q != -1)
            return false; // the handler saw no end yet
    }
    if (length == 0 && q == -1) {
        if (size_ > 0 && buffer_.size() >= static_cast<std::size_t>(size_)) {
            length = static_cast<std::size_t>(size_);
        } else if (!stopString_.empty()) {
            const std::size_t skip = std::min(startString_.size(), buffer_.size());
            const std::size_t found = caseInsensitive_ ? Upper(buffer_).find(Upper(stopString_), skip)
                                                       : buffer_.find(stopString_, skip);
            if (found != std::string::npos) length = found + stopString_.size();
        }
    }
    if (length == 0) return false; // the next chunk continues this packet

    inPacket_ = false;
    std::string packet = buffer_.substr(0, length);
    buffer_.erase(0, length);
    if (!IncludeStrings) {
        auto starts = [&](const std::string& s, const std::string& prefix) {
            return caseInsensitive_ ? Upper(s.substr(0, prefix.size())) == Upper(prefix)
                                    : s.compare(0, prefix.size(), prefix) == 0;
        };
        if (!startString_.empty() && starts(packet, startString_)) packet.erase(0, startString_.size());
        if (!stopString_.empty()) {
            const std::size_t found =
                caseInsensitive_ ? Upper(packet).find(Upper(stopString_)) : packet.find(stopString_);
            if (found != std::string::npos && found + stopString_.size() == packet.size())
                packet.erase(found);
        }
    }
    if (OnPacket) {
        TComStrEvent handler = OnPacket;
        handler(this, packet);
    }
    return true;
}

} // namespace mirota
