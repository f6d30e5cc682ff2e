#pragma once
// The SETTINGS screen's logic (TfrmSettingsFrame): the catalogue, the read and write sequencer, the
// settings list's rows, Apply / Cancel, closing, and saving / loading configuration files. The Qt window
// (settings/ui) shows it through SettingsView and forwards the user's actions to the handlers.
#include "link/DeviceLink.h"
#include "screen/Screens.h"
#include "settings/ConfigurationCompare.h"
#include "settings/ConfigurationFile.h"
#include "settings/SettingsCatalogue.h"
#include "settings/SettingsView.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirota {

// Texts of the screen.
inline constexpr const char* kSettingsNoValue = "-";
inline constexpr const char* kSettingsCancelRead =
    "You are about to cancel the read process.\r\nDo you really want to cancel?\r\n";
inline constexpr const char* kSettingsCancelWrite =
    "You are about to cancel the write process.\r\nDo you really want to cancel?\r\n\r\n"
    "NOTICE: All settings that were already set can not be reversed!";
inline constexpr const char* kSettingsAllSet = "All values are set correctly";
inline constexpr const char* kSettingsAllSetCaption = "Configuration complete...";
inline constexpr const char* kSettingsNotAllSet = "Not all values have been set correctly";
inline constexpr const char* kSettingsNotAllSetCaption = "Configuration failed...";
inline constexpr const char* kSettingsNothingChecked =
    "There is no value selected to be set. \r\nPlease select one first.";
inline constexpr const char* kSettingsWrongType =
    "The Mirota version of the configuration file does not match the version of the connected "
    "device.Please load a valid configuration file.";
inline constexpr const char* kApplicationTitle = "Ostrel";

// One row of lvDeviceSettings: row i is catalogue entry i.
struct SettingsRow {
    int Group = 0;
    std::string Description;                 // column 0
    std::string CurrentValue;                // column 1
    std::string NewValue = kSettingsNoValue; // column 2
    std::string Info;                        // column 3
    bool Checked = false;
};

// Numbers as the sequencer compares them: "." as decimal separator whatever the locale.
std::optional<double> ParseSettingsNumber(const std::string& text);
// True when a written value counts as set by its echo: equal, or equal once both are rounded to the
// nearest hundred with halves going to the even hundred. Texts that are not numbers count as not set.
bool EchoMatches(const std::string& written, const std::string& echoed);

class TfrmSettingsFrame : private LinkHooks {
public:
    // 60 ms per character; OnException only; the sequencer's liveness; 300 ms between a port failure
    // and its message.
    static LinkPolicy Policy() {
        LinkPolicy p;
        p.PauseMs = 60;
        p.LivenessMs = 5000;
        p.Liveness = LivenessPolicy::Sequencer;
        p.WithErrorHandler = false;
        p.FailureMessagePauseMs = 300;
        return p;
    }

    // Creation: port handler, packet filter, catalogue; no traffic yet. The window exists already.
    // cfgDir is the _cfg directory beside the program.
    TfrmSettingsFrame(const ScreenArgs& args, SettingsView& view, std::filesystem::path cfgDir);
    ~TfrmSettingsFrame() override;

    // Once the window is shown: the liveness timer, then the first read pass; its first command is
    // sent before this returns. Runs once.
    void Start();

    // Sequencer.
    void InitCommandFilter();
    void StartReadPass();
    void ReadNextValue();
    void CDP_ReadCommandFilterPacket(TComDataPacket* sender, const std::string& str);
    void StartWritePass();
    void WriteNextValue();
    void CDP_WriteCommandFilterPacket(TComDataPacket* sender, const std::string& str);

    // Screen.
    void FillSettingsList();
    void lvDeviceSettingsDblClick();
    // Sets a row's check state (user or program); the check rule then applies.
    void SetRowChecked(int row, bool checked);
    void lvDeviceSettingsItemChecked(int row);
    void btnApplyClick();
    void btnCancelClick();
    void btnSaveClick();
    void btnLoadClick();
    // True when the window may close.
    bool FormClose();

    // Configuration files.
    void SaveConfiguration(const std::string& fileName);
    void LoadConfiguration(const std::string& fileName);

    // Comparison with a configuration file and the CSV export (SettingsTools.cpp). Comparing reads the
    // file and marks the rows whose current value differs; it changes no new value, check or pending
    // value and sends nothing. The marks follow every later read pass until another file is compared.
    void btnCompareClick();
    void CompareConfiguration(const std::string& fileName);
    const ConfigurationComparison& Comparison() const { return comparison_; }
    void btnExportClick();
    // Writes the list (and the hidden values read) as CSV; false when it could not be written.
    bool ExportList(const std::string& fileName);

    // The host let go of the screen: no further traffic, ticks or handlers (see DeviceLink::Detach).
    void Detach();
    bool Detached() const { return link.Detached(); }
    void WhenIdle(std::function<void()> job) { link.WhenIdle(std::move(job)); }
    bool Busy() const { return link.Busy(); }
    // The link to the device and its state.
    const DeviceLink& Link() const { return link; }

    // What the window shows.
    const std::vector<SettingsRow>& Rows() const { return rows_; }
    const TSettingsCatalogue& Catalogue() const { return catalogue_; }
    const std::string& Caption() const { return strCaption; }
    // The close handling has begun (the window may close).
    bool Closed() const { return link.bAlreadyClosing(); }

    // Screen fields.
    ScreenHost& frmHost;
    SettingsView& view;
    std::filesystem::path strCfgDir;
    int iVersion = 0;
    std::string strSerialNumber;
    std::string strDeviceDescription;
    std::string strVersion;
    std::string strCaption = "Settings";

    // Sequencer state.
    int iCurrentState = 0;
    int iLastState = 0;
    int iCurrentPosition = 0;
    bool bWritingUncomplete = false;
    bool bClosingNow = false;
    int iRetryCount = 0;
    bool bIsRetry = false;
    // The sequencer's own: the value text sent in the current write step (not the link's expected answer).
    std::string strValueToCheck;
    TComDataPacket cmdtpcktCommandFilter;

    // Values of the passes.
    std::vector<std::string> slCurrentValue;
    std::vector<std::string> slHiddenValues;
    std::vector<std::string> slCurrentChangedValues;
    std::vector<int> olCurrentChecked;
    std::vector<std::string> slHiddenNValues;

private:
    // LinkHooks
    void CloseOnFailure() override;
    bool RetryMissedReply() override;
    void LinkAlive() override;
    bool PassRunning() const override { return iCurrentState == 1 || iCurrentState == 2; }

    // Asks for a file to open and hands its name to `use` (nothing when the user cancels).
    void WithOpenedFileName(const std::function<void(const std::string&)>& use);
    // The configuration file for this device type, or nothing after telling the user why not (a file
    // without a device type is told with noTypeMessage, or passed over silently without one).
    std::optional<LoadedConfiguration> ReadOwnConfiguration(const std::string& fileName,
                                                            const char* noTypeMessage);
    // The display text shown for entry i's value read.
    std::string CurrentValueText(int entry) const;
    // Recomputes the difference marks from the compared file's values and the rows.
    void UpdateComparison();
    // Starts comparing the rows with these file values.
    void SetComparisonFile(std::vector<std::string> fileValues);
    // Pending hidden values that have a hidden setting to go to.
    int PendingHiddenCount() const;
    // Sends one step's text (then waits pauseAfter ms); true when the step's reply arrived meanwhile,
    // so that the caller goes on with the next step.
    bool SendStep(const std::string& text, int pauseAfter = 0);
    static std::string ReplyStart(const std::string& command);

    enum class PacketHandler { None, Read, Write };

    TSettingsCatalogue catalogue_;
    PacketHandler packetHandler_ = PacketHandler::None;
    std::vector<SettingsRow> rows_;
    std::optional<std::vector<std::string>> comparedValues_; // row values of the compared file
    ConfigurationComparison comparison_;
    bool bSending = false;
    bool bNextStepDue = false;
    DeviceLink link;
};

} // namespace mirota
