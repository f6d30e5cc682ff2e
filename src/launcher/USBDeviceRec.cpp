#include "launcher/USBDeviceRec.h"

#include <cstring>
#include <exception>
#include <iostream>

namespace mirota {

TComponentUSB::TComponentUSB(std::unique_ptr<DeviceNotificationSource> source) : FSource(std::move(source)) {
    // The result is not acted on: without a registration the component simply raises no events.
    RegisterNotification();
}

TComponentUSB::~TComponentUSB() = default;

bool TComponentUSB::RegisterNotification() {
    if (!FSource) return false;
    return FSource->Register([this](TMessage& m) { WndProc(m); });
}

int TComponentUSB::Handle() const {
    return FSource ? FSource->Handle() : -1;
}

void TComponentUSB::ProcessPending() {
    if (FSource) FSource->ProcessPending();
}

bool TComponentUSB::Rescan() {
    return FSource && FSource->Rescan();
}

void TComponentUSB::WndProc(TMessage& Message) {
    if (Message.Msg != devchange::WmDeviceChange) {
        Message.Result = FSource ? FSource->DefaultProc(Message) : 0;
        return;
    }
    try {
        WMDeviceChange(Message);
    } catch (const std::exception& e) {
        if (OnShowException)
            OnShowException(e.what());
        else
            std::cerr << e.what() << '\n';
    } catch (...) {
        if (OnShowException)
            OnShowException("Unknown exception");
        else
            std::cerr << "Unknown exception\n";
    }
}

void TComponentUSB::WMDeviceChange(TMessage& Message) {
    const bool arrival = Message.WParam == devchange::DeviceArrival;
    const bool removal = Message.WParam == devchange::DeviceRemoveComplete;
    if (!arrival && !removal) return; // other events: lParam is not looked at
    if (Message.LParam == 0) return;
    devchange::BroadcastHeader header;
    std::memcpy(&header, reinterpret_cast<const void*>(Message.LParam), sizeof header);
    if (header.dbch_devicetype != devchange::DevTypDeviceInterface) return;
    if (arrival) {
        if (OnUSBArrival) OnUSBArrival(this);
    } else if (OnUSBRemove) {
        OnUSBRemove(this);
    }
}

} // namespace mirota
