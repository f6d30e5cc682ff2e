#pragma once
// Ostrel's main window ("Control-Screen"): the four start parameters, the serial port it owns, the
// version and name queries, the device information panel, the hosting of one screen at a time and
// the messages exchanged with Pravik.
#include "control/MainOstrelView.h"
#include "link/ComPort.h"
#include "link/DataPacket.h"
#include "link/Dialogs.h"
#include "messages/Messages.h"
#include "screen/Screens.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirota {

class MessageLoop;

inline constexpr int kMainWindowPauseMs = 70;
inline constexpr const char* kDesignCaption = "Control-Screen";
inline constexpr const char* kDesignInformationCaption = "INFORMATION";
inline constexpr const char* kDesignInformationText = "For more information, move the cursor on the icon.";
// Shown when Ostrel is started without the four parameters Pravik gives it; names the platform's
// launcher program.
std::string StartedWithoutPravikText();

// The port number of a port name: its trailing decimal digits (COM12 and ttyUSB12 give 12, a pty path
// /dev/pts/4 gives 4). None when the name does not end in digits or the number does not fit.
std::optional<int> PortNumberOf(const std::string& portName);
// Pravik's window handle from the fourth start parameter: decimal digits only, 32 bits.
std::optional<WindowHandle> WindowHandleOf(const std::string& text);
// iVersion from a version reply: the two characters after the first "." (the first two characters
// when there is no "."), of which the leading digits count; 0 when there are none.
int VersionNumberOf(const std::string& versionReply);

struct MainOstrelServices {
    MessageLoop& loop;
    Dialogs& dialogs;
    ScreenFactory& factory;
    MainOstrelView& view;
    // This window's endpoint for Pravik's messages; null when there is none (messages are dropped).
    MessageEndpoint* endpoint = nullptr;
    // The _cfg directory beside the program.
    std::filesystem::path cfgDirectory;
    // The serial backend for the port; empty: the platform's.
    std::function<std::unique_ptr<SerialBackend>()> makeBackend;
};

class TfrmMainOstrelScreen : public ScreenHost {
public:
    explicit TfrmMainOstrelScreen(MainOstrelServices services);
    ~TfrmMainOstrelScreen() override;

    // Window events.
    void FormCreate(const std::vector<std::string>& parameters);
    void FormShow();
    void FormClose();
    void btnTerminalClick() { OpenScreen(ScreenKind::Terminal); }
    void btnSettingsClick() { OpenScreen(ScreenKind::Settings); }
    void btnValuesClick() { OpenScreen(ScreenKind::Values); }
    void btnPowerClick() { OpenScreen(ScreenKind::Power); }
    void OpenScreen(ScreenKind kind);
    void ButtonMouseEnter(ScreenKind kind);
    void ButtonMouseLeave();
    // Ostrel as a whole lost activation.
    void Deactivate();
    // The main window is being minimized (SC_MINIMIZE).
    void SystemMinimize();
    // A message from Pravik; returns the message result.
    MessageResult WndProc(const WindowMessage& message);

    // ScreenHost
    void ClosingCurrentFrame(bool aErrorOccures) override;
    bool Unplugged() const override { return bUnplugged; }

    void ComPortException(TCustomComPort* sender, int code, const std::string& comportMessage,
                          std::int64_t winError, const std::string& winMessage);

    // Inspection.
    HostedScreen* CurrentScreen() const { return frmScreen.get(); }
    bool Ended() const { return bClosed; }

    // Members under their window names.
    std::unique_ptr<TComPort> cpComController;
    std::string strPortNumber;
    std::string strDevDescription;
    std::string strDevSerialNumber;
    WindowHandle hPravikHandle = 0;
    int iPort = 0;
    int iVersion = 0;
    std::string strDefaultCaption, strDefaultInfo;
    std::string strTerminalCaption, strTerminalInfo;
    std::string strSettingsCaption, strSettingsInfo;
    std::string strValuesCaption, strValuesInfo;
    std::string strPowerCaption, strPowerInfo;
    bool bErrorOccures = false;
    bool bUnplugged = false;
    bool bCloseNow = false;
    bool bCreated = false;
    TComDataPacket cmdtpcktDeviceDescription;

private:
    void OpenPort();
    void LoadInformationTexts();
    void FillDeviceInformation();
    void ReadDeviceVersion();
    void ReadDeviceName();
    void cmdtpcktDeviceDescriptionPacket(TComDataPacket* sender, const std::string& value);
    void SendCommand(const std::string& str);
    void Delay(int milliseconds);
    bool PortUsable() const { return cpComController && !bErrorOccures && !bClosingNow; }
    void AttachMainPortHandler();
    // `advice`: one more line after the fixed text, saying what to do (empty: none).
    void DisplayComPortErrorMsg(const std::string& comportMessage, const std::string& advice = {});
    void PostToPravik(std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam);
    void SendToPravik(std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam);

    MainOstrelServices s_;
    std::unique_ptr<HostedScreen> frmScreen; // frmCurrent is this screen, or the main window when null
    std::vector<std::unique_ptr<HostedScreen>> closedScreens_; // destroyed after their close handling
    std::vector<std::unique_ptr<TComPort>> forgottenPorts_;    // given up after a failure
    bool bParametersValid = false;
    bool bDeactivateAttached = false;
    bool bClicksDetached = false;
    bool bClosingNow = false;
    bool bClosed = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace mirota
