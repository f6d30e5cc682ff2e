#pragma once
// Substitutes for the launcher window's surroundings: a view that keeps its rows as a table, a source
// that returns scripted walks, a starter that records its calls, and an endpoint that records what it
// posts and sends.
#include "launcher/FrmMain.h"
#include "loop/SimulatedLoop.h"

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>

namespace mirota::test {

// The name of port number n on this platform: COM3 on Windows, ttyUSB3 on Linux.
inline std::u16string PortName(int n) {
    std::u16string name = kPortPrefix;
    for (char c : std::to_string(n))
        name.push_back(static_cast<char16_t>(c));
    return name;
}

inline USB_Info Device(std::u16string serial, std::u16string description, std::u16string port) {
    return USB_Info{u"FTDI", std::move(description), std::move(serial), std::move(port)};
}

class FakeView : public FrmMainView, public ForegroundWindow {
public:
    void BeginUpdate() override { ++updateDepth; }
    void EndUpdate() override { --updateDepth; }
    void AddRow(const TDeviceRow& row) override { rows.push_back(row); }
    void DeleteRow(int index) override { rows.erase(rows.begin() + index); }
    void SetRowState(int index, const std::u16string& state) override {
        rows.at(static_cast<std::size_t>(index))[colState] = state;
    }
    int SelectedRow() const override { return selected; }
    void ShowAboutLabel(bool visible) override { aboutLabelVisible = visible; }
    void ShowAboutBox() override { ++aboutBoxes; }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    std::optional<WindowHandle> ForegroundWindowHandle() const override { return foreground; }
    WindowHandle NativeHandle() const override { return native; }
    ForegroundWindow& MainWindow() override { return *this; }

    // ForegroundWindow: the launcher's own main window.
    bool IsMinimized() const override { return false; }
    void Restore() override {}
    bool IsForeground() const override { return foreground && *foreground == native; }
    void RaiseAndActivate() override { ++raises; }

    std::vector<TDeviceRow> rows;
    int updateDepth = 0;
    int selected = -1;
    bool aboutLabelVisible = false;
    int aboutBoxes = 0;
    std::vector<std::string> errors;
    std::optional<WindowHandle> foreground = 0;
    WindowHandle native = 7001;
    int raises = 0;
};

class FakeSource : public DeviceListSource {
public:
    std::vector<USB_Info> GetDeviceList() override {
        ++walks;
        if (failures > 0) {
            --failures;
            throw std::runtime_error("walk failed");
        }
        return devices;
    }
    std::vector<USB_Info> devices;
    int failures = 0;
    int walks = 0;
};

class FakeStarter : public ControlProgramStarter {
public:
    bool StartControlProgram(const ControlStartParameters& parameters) override {
        started.push_back(parameters);
        return succeed;
    }
    std::vector<ControlStartParameters> started;
    bool succeed = true;
};

struct SentMessage {
    WindowHandle target;
    std::uint32_t msg;
    std::uint64_t wParam;
    std::int64_t lParam;
    bool sent;
    bool operator==(const SentMessage&) const = default;
};

class FakeEndpoint : public MessageEndpoint {
public:
    WindowHandle Handle() const override { return 4242; }
    bool Post(WindowHandle target, std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam) override {
        log.push_back({target, msg, wParam, lParam, false});
        if (onOutgoing) onOutgoing(log.back());
        return target != 0;
    }
    std::optional<MessageResult> Send(WindowHandle target, std::uint32_t msg, std::uint64_t wParam,
                                      std::int64_t lParam) override {
        log.push_back({target, msg, wParam, lParam, true});
        if (onOutgoing) onOutgoing(log.back());
        if (target == 0) return std::nullopt;
        return 1;
    }
    std::vector<SentMessage> log;
    std::function<void(const SentMessage&)> onOutgoing;
};

} // namespace mirota::test
