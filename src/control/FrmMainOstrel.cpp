#include "control/FrmMainOstrel.h"

#include "ini/IniFile.h"
#include "link/DeviceLink.h"
#include "loop/MessageLoop.h"
#include "platform/ProgramNames.h"
#include "screen/ShownText.h"

#include <charconv>
#include <climits>

namespace mirota {

namespace {

constexpr const char* kConnectHint = "Make sure that the device is properly connected ";
constexpr const char* kNotUsedHint = "and not used by another program.";
constexpr const char* kVersionStart = "&357";
constexpr const char* kNameStart = "&112";

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

std::string StartedWithoutPravikText() {
    return std::string("The program can not be launched itself. \r\nPlease start ") + kLauncherProgramFile;
}

std::optional<int> PortNumberOf(const std::string& portName) {
    std::size_t start = portName.size();
    while (start > 0 && portName[start - 1] >= '0' && portName[start - 1] <= '9')
        --start;
    if (start == portName.size()) return std::nullopt;
    int value = 0;
    const char* first = portName.data() + start;
    const char* last = portName.data() + portName.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last) return std::nullopt;
    return value;
}

std::optional<WindowHandle> WindowHandleOf(const std::string& text) {
    if (!AllDigits(text)) return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

int VersionNumberOf(const std::string& versionReply) {
    const std::size_t dot = versionReply.find('.');
    const std::string two =
        dot == std::string::npos ? versionReply.substr(0, 2) : versionReply.substr(dot + 1, 2);
    int value = 0;
    for (char c : two) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
    }
    return value;
}

TfrmMainOstrelScreen::TfrmMainOstrelScreen(MainOstrelServices services) : s_(std::move(services)) {
    if (s_.endpoint)
        s_.endpoint->OnMessage = [this, alive = alive_](const WindowMessage& m) -> MessageResult {
            return *alive ? WndProc(m) : 0;
        };
}

TfrmMainOstrelScreen::~TfrmMainOstrelScreen() {
    *alive_ = false;
    if (s_.endpoint) s_.endpoint->OnMessage = nullptr;
    // Screens first: they use the port.
    frmScreen.reset();
    closedScreens_.clear();
    cmdtpcktDeviceDescription.OnPacket = nullptr;
    cmdtpcktDeviceDescription.SetComPort(nullptr);
    if (cpComController) {
        cpComController->OnException = nullptr;
        cpComController->OnError = nullptr;
    }
    for (auto& port : forgottenPorts_)
        if (port) {
            port->OnException = nullptr;
            port->OnError = nullptr;
        }
}

void TfrmMainOstrelScreen::FormCreate(const std::vector<std::string>& parameters) {
    bErrorOccures = false;
    bUnplugged = false;
    bCloseNow = false;
    bCreated = false;
    std::optional<int> port;
    std::optional<WindowHandle> pravik;
    if (parameters.size() == 4) {
        port = PortNumberOf(parameters[0]);
        pravik = WindowHandleOf(parameters[3]);
    }
    if (!port || !pravik) {
        // Also for a port name without a number or a handle that is no number: nothing would reach
        // Pravik sensibly, so this is a start without valid parameters.
        s_.dialogs.ShowDialog(DialogKind::Information, StartedWithoutPravikText(), DialogButtons::Ok);
        bCloseNow = true;
        return;
    }
    strPortNumber = parameters[0];
    strDevDescription = parameters[1];
    strDevSerialNumber = parameters[2];
    hPravikHandle = *pravik;
    bParametersValid = true;
    s_.view.SetCaption(std::string(kDesignCaption) + "(" + strDevSerialNumber + ")");
    iPort = *port;
    PostToPravik(WM_CONTROL_OPENED, static_cast<std::uint64_t>(iPort),
                 s_.endpoint ? static_cast<std::int64_t>(s_.endpoint->Handle()) : 0);
    if (strDevDescription.find("Mirota") == std::string::npos) {
        s_.view.SetNavigationButtonVisible(ScreenKind::Settings, false);
        s_.view.SetNavigationButtonVisible(ScreenKind::Values, false);
        s_.view.SetNavigationButtonVisible(ScreenKind::Power, false);
    }
}

void TfrmMainOstrelScreen::FormShow() {
    if (bCreated) return;
    if (bCloseNow) {
        s_.view.CloseWindow();
        return;
    }
    bDeactivateAttached = true;
    bCreated = true;
    OpenPort();
    if (!PortUsable()) return;
    LoadInformationTexts();
    FillDeviceInformation();
}

void TfrmMainOstrelScreen::OpenPort() {
    cpComController = std::make_unique<TComPort>(s_.loop, s_.makeBackend ? s_.makeBackend() : nullptr);
    cpComController->SetPort(strPortNumber);
    cpComController->SetCustomBaudRate(19200);
    cpComController->SetDataBits(TDataBits::dbEight);
    cpComController->Parity().Bits = TParityBits::prNone;
    cpComController->SetStopBits(TStopBits::sbOneStopBit);
    cpComController->SetFlowControlNone();
    cpComController->SetBaudRate(TBaudRate::brCustom);
    AttachMainPortHandler();
    cpComController->Open();
}

void TfrmMainOstrelScreen::AttachMainPortHandler() {
    if (!cpComController) return;
    cpComController->OnException = [this](TCustomComPort* sender, int code, const std::string& message,
                                          std::int64_t winError, const std::string& winMessage) {
        ComPortException(sender, code, message, winError, winMessage);
    };
}

void TfrmMainOstrelScreen::LoadInformationTexts() {
    const IniFile ini = IniFile::Load(s_.cfgDirectory / "MainInformation.ini");
    // The panel lays its text out on every hover: an over-long line (megabytes without a blank) is cut
    // short so that the layout stays quick.
    auto read = [&ini](const char* section, const char* key) {
        return ShownText(ini.ReadString(section, key));
    };
    strDefaultCaption = read("DEFAULT", "caption");
    strDefaultInfo = read("DEFAULT", "info1");
    auto info = [&read](const char* section) {
        return read(section, "info1") + "\r\n" + read(section, "info2") + "\r\n" + read(section, "info3");
    };
    strTerminalCaption = read("TERMINAL", "caption");
    strTerminalInfo = info("TERMINAL");
    strValuesCaption = read("VALUES", "caption");
    strValuesInfo = info("VALUES");
    strSettingsCaption = read("SETTINGS", "caption");
    strSettingsInfo = info("SETTINGS");
    strPowerCaption = read("POWER", "caption");
    strPowerInfo = info("POWER");
}

void TfrmMainOstrelScreen::FillDeviceInformation() {
    s_.view.BeginListUpdate();
    for (const char* group : {"Name", "Version", "Serialnumber", "Port"})
        s_.view.AddGroup(group);
    s_.view.AddItem(0, "");
    s_.view.AddItem(0, strDevDescription);
    s_.view.AddItem(1, "");
    s_.view.AddItem(2, strDevSerialNumber);
    s_.view.AddItem(3, strPortNumber);
    ReadDeviceVersion();
    if (PortUsable()) ReadDeviceName();
    if (*alive_) s_.view.EndListUpdate();
}

void TfrmMainOstrelScreen::ReadDeviceVersion() {
    SendCommand("*");
    SendCommand(std::string("$6660") + CR);
    Delay(500);
    if (!PortUsable()) return;
    cmdtpcktDeviceDescription.SetComPort(cpComController.get());
    cmdtpcktDeviceDescription.SetStartString(kVersionStart);
    cmdtpcktDeviceDescription.SetStopString(std::string(1, ESC));
    cmdtpcktDeviceDescription.OnPacket = [this](TComDataPacket* sender, const std::string& value) {
        cmdtpcktDeviceDescriptionPacket(sender, value);
    };
    SendCommand(std::string("$357") + ESC);
}

void TfrmMainOstrelScreen::ReadDeviceName() {
    // Changing the start string throws away an incomplete version reply.
    cmdtpcktDeviceDescription.SetStartString(kNameStart);
    cmdtpcktDeviceDescription.SetStopString(std::string(1, ESC));
    cmdtpcktDeviceDescription.OnPacket = [this](TComDataPacket* sender, const std::string& value) {
        cmdtpcktDeviceDescriptionPacket(sender, value);
    };
    SendCommand("$112");
}

void TfrmMainOstrelScreen::cmdtpcktDeviceDescriptionPacket(TComDataPacket* sender, const std::string& value) {
    // The device's bytes are Windows-1252 text; the view takes UTF-8.
    if (sender->StartString() == kVersionStart) {
        s_.view.SetItemText(2, Cp1252ToUtf8(value));
        iVersion = VersionNumberOf(value);
    } else {
        s_.view.SetItemText(0, Cp1252ToUtf8(value));
    }
    sender->OnPacket = nullptr; // only the first reply of each query counts
}

void TfrmMainOstrelScreen::SendCommand(const std::string& str) {
    for (char c : str) {
        if (!PortUsable()) return;
        cpComController->Write(&c, 1);
        Delay(kMainWindowPauseMs);
    }
}

void TfrmMainOstrelScreen::Delay(int milliseconds) {
    // The window may end during the wait; what follows checks PortUsable or alive_.
    mirota::Delay(s_.loop, milliseconds);
}

void TfrmMainOstrelScreen::ButtonMouseEnter(ScreenKind kind) {
    s_.loop.ProcessMessages();
    switch (kind) {
    case ScreenKind::Terminal:
        s_.view.SetInformation(strTerminalCaption, strTerminalInfo);
        break;
    case ScreenKind::Settings:
        s_.view.SetInformation(strSettingsCaption, strSettingsInfo);
        break;
    case ScreenKind::Values:
        s_.view.SetInformation(strValuesCaption, strValuesInfo);
        break;
    case ScreenKind::Power:
        s_.view.SetInformation(strPowerCaption, strPowerInfo);
        break;
    }
}

void TfrmMainOstrelScreen::ButtonMouseLeave() {
    s_.view.SetInformation(strDefaultCaption, strDefaultInfo);
}

void TfrmMainOstrelScreen::OpenScreen(ScreenKind kind) {
    if (bClicksDetached || frmScreen || bClosingNow || bClosed) return;
    bClicksDetached = true; // DetachButtonClicks
    const auto alive = alive_;
    std::unique_ptr<HostedScreen> screen =
        s_.factory.Create(kind, ScreenArgs{*this, s_.loop, s_.dialogs, cpComController.get(),
                                           strDevDescription, strDevSerialNumber, iVersion});
    if (!*alive) return;
    bClicksDetached = false; // AttachButtonClicks
    if (!screen) return;     // this screen is not part of the build: the button opens nothing
    if (bClosingNow || bClosed) {
        closedScreens_.push_back(std::move(screen));
        return;
    }
    frmScreen = std::move(screen);
    SendToPravik(WM_SCREEN_OPENED, 0, frmScreen ? frmScreen->Handle() : 0);
    if (!*alive || !frmScreen) return;
    frmScreen->Show();
    s_.view.HideWindow();
}

void TfrmMainOstrelScreen::ClosingCurrentFrame(bool aErrorOccures) {
    if (frmScreen) {
        SendToPravik(WM_SCREEN_CLOSED, 0, frmScreen->Handle());
        // Destroyed once its close handling has returned, never inside it.
        closedScreens_.push_back(std::move(frmScreen));
        s_.loop.Post([this, alive = alive_] {
            if (*alive) closedScreens_.clear();
        });
    }
    if (!bClosingNow && !bClosed && !aErrorOccures) s_.view.ShowWindow();
    if (aErrorOccures) {
        bErrorOccures = true;
        if (!bClosingNow && !bClosed) s_.view.CloseWindow();
        return;
    }
    if (cpComController) {
        cpComController->OnError = nullptr;
        AttachMainPortHandler();
    }
}

void TfrmMainOstrelScreen::FormClose() {
    if (bClosingNow || bClosed) return;
    bClosingNow = true;
    bDeactivateAttached = false;
    try {
        if (frmScreen) frmScreen->Close();
        if (cpComController && !bErrorOccures) cpComController->Close();
    } catch (const std::exception&) {
        // Closing goes on whatever failed.
    }
    if (!bUnplugged && bParametersValid) {
        PostToPravik(WM_CONTROL_CLOSE, 0, iPort);
        s_.loop.ProcessMessages();
    }
    bClosed = true;
    s_.loop.SetTerminating(true);
}

void TfrmMainOstrelScreen::ComPortException(TCustomComPort* sender, int code,
                                            const std::string& comportMessage, std::int64_t winError,
                                            const std::string&) {
    if (bErrorOccures) return;
    // A failed open says why: the port's group to join, the program holding it, the adapter gone.
    const std::string advice =
        code == CE_OpenFailed && sender ? sender->OpenFailureHint(winError) : std::string();
    if (cpComController) {
        cpComController->OnException = nullptr;
        // Forgotten, not destroyed: this call comes from inside the port.
        forgottenPorts_.push_back(std::move(cpComController));
    }
    bErrorOccures = true;
    DisplayComPortErrorMsg(comportMessage, advice);
}

void TfrmMainOstrelScreen::DisplayComPortErrorMsg(const std::string& comportMessage,
                                                  const std::string& advice) {
    const auto alive = alive_;
    std::string text = comportMessage + ".\r\n" + kConnectHint + kNotUsedHint;
    if (!advice.empty()) text += "\r\n" + advice;
    s_.dialogs.ShowDialog(DialogKind::Error, text, DialogButtons::Ok);
    if (*alive && !bClosingNow && !bClosed) s_.view.CloseWindow();
}

MessageResult TfrmMainOstrelScreen::WndProc(const WindowMessage& message) {
    switch (message.Msg) {
    case WM_CONTROL_CLOSE:
        bUnplugged = true;
        if (!bClosingNow && !bClosed) s_.view.CloseWindow();
        return 0;
    case WM_CONTROL_TO_FRONT:
        if (frmScreen) {
            switch (frmScreen->State()) {
            case WindowState::Minimized:
                frmScreen->ShowNormal();
                frmScreen->BringToForeground();
                break;
            case WindowState::Normal:
                frmScreen->BringToForeground();
                break;
            case WindowState::Maximized:
                break;
            }
        } else {
            switch (s_.view.State()) {
            case WindowState::Minimized:
                s_.view.ShowNormal();
                s_.view.BringToForeground();
                break;
            case WindowState::Normal:
                s_.view.BringToForeground();
                break;
            case WindowState::Maximized:
                break;
            }
        }
        return 1;
    default:
        return 0;
    }
}

void TfrmMainOstrelScreen::Deactivate() {
    if (bDeactivateAttached) SendToPravik(WM_CONTROL_DEACTIVATED, 0, 0);
}

void TfrmMainOstrelScreen::SystemMinimize() {
    SendToPravik(WM_CONTROL_DEACTIVATED, 0, 0);
}

void TfrmMainOstrelScreen::PostToPravik(std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam) {
    if (s_.endpoint && hPravikHandle != 0) s_.endpoint->Post(hPravikHandle, msg, wParam, lParam);
}

void TfrmMainOstrelScreen::SendToPravik(std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam) {
    if (s_.endpoint && hPravikHandle != 0) s_.endpoint->Send(hPravikHandle, msg, wParam, lParam);
}

} // namespace mirota
