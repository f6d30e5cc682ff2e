#include "settings/FrmSettings.h"

#include "settings/ConfigurationFile.h"

#include <charconv>
#include <chrono>
#include <cmath>

namespace mirota {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

} // namespace

std::optional<double> ParseSettingsNumber(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    if (b < e && text[b] == '+') ++b;
    if (b == e) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data() + b, text.data() + e, value);
    if (ec != std::errc() || end != text.data() + e || !std::isfinite(value)) return std::nullopt;
    return value;
}

bool EchoMatches(const std::string& written, const std::string& echoed) {
    auto w = ParseSettingsNumber(written);
    auto r = ParseSettingsNumber(echoed);
    if (!w || !r) return false;
    if (*w == *r) return true;
    // Nearest hundred, halves to the even hundred (the default rounding mode rounds halves to even).
    return std::nearbyint(*w / 100.0) == std::nearbyint(*r / 100.0);
}

TfrmSettingsFrame::TfrmSettingsFrame(const ScreenArgs& args, SettingsView& aView,
                                     std::filesystem::path cfgDir)
    : frmHost(args.aOwner), view(aView), strCfgDir(std::move(cfgDir)),
      link(args.loop, args.dialogs, args.aComPort, &args.aOwner, Policy(), *this) {
    // The port's failures come to this screen while it is open.
    link.AttachPortHandlers();
    InitCommandFilter();
    iVersion = args.aVersion;
    strCaption += "(" + args.aSerialNumber + ")";
    strVersion = DeviceTypeOf(args.aDescription);
    strDeviceDescription = args.aDescription;
    strSerialNumber = args.aSerialNumber;

    ReadSettingsCatalogue(strCfgDir, strVersion, iVersion, catalogue_);

    iRetryCount = 0;
    bIsRetry = false;
    bClosingNow = false;
    iCurrentState = 0;
    iLastState = 0;
    view.SetApplyEnabled(false);
    view.SetCancelEnabled(false);
    view.ShowSaveLoad(false);
}

TfrmSettingsFrame::~TfrmSettingsFrame() {
    cmdtpcktCommandFilter.OnPacket = nullptr;
    cmdtpcktCommandFilter.SetComPort(nullptr);
}

void TfrmSettingsFrame::Detach() {
    link.Detach();
    packetHandler_ = PacketHandler::None;
    cmdtpcktCommandFilter.SetComPort(nullptr);
}

void TfrmSettingsFrame::Start() {
    link.StartOnce([&] {
        link.StartLiveness();
        StartReadPass();
        ReadNextValue();
    });
}

std::string TfrmSettingsFrame::ReplyStart(const std::string& command) {
    std::string start = command;
    for (char& c : start)
        if (c == '$') c = '&';
    return start;
}

bool TfrmSettingsFrame::SendStep(const std::string& text, int pauseAfter) {
    // The reply usually arrives within the pause after the last character. Its handler then only
    // advances the position, and the step that sent continues with the next one here: a long pass runs
    // as a loop instead of nesting one level deeper per command.
    // Nothing is outstanding before the text is out: no liveness tick may interleave another step.
    link.PauseLiveness();
    bSending = true;
    bNextStepDue = false;
    link.SendCommand(text);
    if (pauseAfter > 0 && !bNextStepDue) link.Delay(pauseAfter);
    bSending = false;
    const bool due = bNextStepDue;
    bNextStepDue = false;
    return due && !Closed() && !link.bErrorOccures();
}

int TfrmSettingsFrame::PendingHiddenCount() const {
    // A pending value without a hidden setting to go to is not sent anywhere.
    return static_cast<int>(std::min(slHiddenNValues.size(), catalogue_.slHiddenCommands.size()));
}

// ---------------------------------------------------------------------------------------------------
// Sequencer

void TfrmSettingsFrame::InitCommandFilter() {
    cmdtpcktCommandFilter.SetComPort(link.cpComController());
    cmdtpcktCommandFilter.SetStopString(std::string(1, ESC));
    // One permanent handler that dispatches to the pass's handler: "installing" and "removing" a
    // handler never replaces the function the filter may be running.
    cmdtpcktCommandFilter.OnPacket = link.Bind([this](TComDataPacket* sender, const std::string& str) {
        if (Closed() || link.bErrorOccures()) return;
        switch (packetHandler_) {
        case PacketHandler::Read:
            CDP_ReadCommandFilterPacket(sender, str);
            break;
        case PacketHandler::Write:
            CDP_WriteCommandFilterPacket(sender, str);
            break;
        case PacketHandler::None:
            break;
        }
    });
}

void TfrmSettingsFrame::StartReadPass() {
    iCurrentState = 2;
    packetHandler_ = PacketHandler::None;
    cmdtpcktCommandFilter.SetStartString("");
    iCurrentPosition = 0;
    view.ShowBusy(true);
    packetHandler_ = PacketHandler::Read;
    slCurrentValue.clear();
    slHiddenValues.clear();
}

void TfrmSettingsFrame::ReadNextValue() {
    const int entries = catalogue_.EntryCount();
    const int total = entries + catalogue_.HiddenCount();
    for (;;) {
        if (Closed() || link.bErrorOccures()) return;
        if (iCurrentPosition >= total) {
            // The read pass is complete.
            packetHandler_ = PacketHandler::None;
            view.ShowBusy(false);
            FillSettingsList();
            if (iVersion >= kHiddenSettingsFirmware) view.ShowSaveLoad(true);
            if (iLastState == 1) {
                iLastState = iCurrentState;
                iCurrentState = 0;
                if (bWritingUncomplete)
                    link.dialogs().ShowSystemBox(kSettingsNotAllSet, kSettingsNotAllSetCaption,
                                                 DialogKind::Warning, DialogButtons::Ok);
                else
                    link.dialogs().ShowSystemBox(kSettingsAllSet, kSettingsAllSetCaption,
                                                 DialogKind::Information, DialogButtons::Ok);
                bWritingUncomplete = false;
            } else {
                iLastState = iCurrentState;
                iCurrentState = 0;
            }
            link.ResumeLiveness();
            return;
        }
        if (bClosingNow || iCurrentState == 3) {
            if (link.dialogs().ShowDialog(DialogKind::Warning, kSettingsCancelRead, DialogButtons::YesNo) ==
                DialogResult::Yes) {
                iCurrentState = 3;
                view.CloseWindow();
                return;
            }
            bClosingNow = false;
            iCurrentState = 2;
            continue;
        }
        const bool hidden = iCurrentPosition >= entries;
        const std::string& command = hidden ? catalogue_.slHiddenCommands[iCurrentPosition - entries]
                                            : catalogue_.slCurrentCommand[iCurrentPosition];
        cmdtpcktCommandFilter.SetStartString(ReplyStart(command));
        if (bIsRetry) {
            // A late reply to the missed command that arrives meanwhile still counts as its reply.
            if (SendStep("*", 50)) {
                bIsRetry = false;
                continue;
            }
            if (Closed() || link.bErrorOccures()) return;
            view.SetBusyText(hidden ? std::string("Retrying to read configuration value...")
                                    : "Retrying to read current value of: " +
                                          catalogue_.slCurrentDescription[iCurrentPosition]);
            bIsRetry = false;
        } else {
            view.SetBusyText(hidden ? std::string("Read configuration value...")
                                    : "Read current value of: " +
                                          catalogue_.slCurrentDescription[iCurrentPosition]);
        }
        link.AwaitReply();
        if (SendStep(command + std::string(1, ESC))) continue;
        link.ResumeLiveness();
        return;
    }
}

void TfrmSettingsFrame::CDP_ReadCommandFilterPacket(TComDataPacket*, const std::string& str) {
    link.PauseLiveness();
    link.SignOfLife();
    if (iCurrentPosition < catalogue_.EntryCount())
        slCurrentValue.push_back(str);
    else
        slHiddenValues.push_back(str);
    ++iCurrentPosition;
    if (bSending)
        bNextStepDue = true; // the step that is still sending goes on with it
    else
        ReadNextValue();
}

void TfrmSettingsFrame::StartWritePass() {
    iCurrentState = 1;
    iCurrentPosition = 0;
    view.ShowBusy(true);
    packetHandler_ = PacketHandler::Write;
    bWritingUncomplete = false;
}

void TfrmSettingsFrame::WriteNextValue() {
    for (;;) {
        if (Closed() || link.bErrorOccures()) return;
        const int checkedRows = static_cast<int>(olCurrentChecked.size());
        const int total = checkedRows + PendingHiddenCount();
        if (iCurrentPosition >= total) {
            // The write pass is complete; its read pass shows what the device now holds. The pending
            // hidden values are used up (cleared first, so that a file loaded during the read pass
            // keeps its own).
            iLastState = iCurrentState;
            slHiddenNValues.clear();
            StartReadPass();
            ReadNextValue();
            return;
        }
        if (bClosingNow || iCurrentState == 3) {
            if (link.dialogs().ShowDialog(DialogKind::Warning, kSettingsCancelWrite, DialogButtons::YesNo) ==
                DialogResult::Yes) {
                if (iCurrentState == 3) {
                    iLastState = 3;
                    StartReadPass();
                    ReadNextValue();
                } else {
                    iCurrentState = 3;
                    view.CloseWindow();
                }
                return;
            }
            bClosingNow = false;
            iCurrentState = 1;
            continue;
        }
        std::string command;
        std::string description;
        if (iCurrentPosition < checkedRows) {
            const int row = olCurrentChecked[iCurrentPosition];
            command = catalogue_.slCurrentCommand[row];
            description = catalogue_.slCurrentDescription[row];
            strValueToCheck = slCurrentChangedValues[iCurrentPosition];
            const std::vector<std::string>& texts = catalogue_.olCurrentDisplay[row];
            if (!texts.empty()) {
                int index = -1;
                for (std::size_t k = 0; k < texts.size(); ++k) {
                    if (EqualNoCase(texts[k], strValueToCheck)) {
                        index = static_cast<int>(k);
                        break;
                    }
                }
                if (index < 0) {
                    // Not one of the setting's texts (a loaded file can hold anything): nothing is sent
                    // for it, and the pass reports that not all values were set.
                    bWritingUncomplete = true;
                    ++iCurrentPosition;
                    continue;
                }
                strValueToCheck = std::to_string(index);
            }
        } else {
            command = catalogue_.slHiddenCommands[iCurrentPosition - checkedRows];
            strValueToCheck = slHiddenNValues[iCurrentPosition - checkedRows];
        }
        cmdtpcktCommandFilter.SetStartString(ReplyStart(command));
        if (bIsRetry) {
            view.SetBusyText("Retrying to set new value: " + description);
            bIsRetry = false;
        } else {
            view.SetBusyText("Set new value: " + description);
        }
        link.AwaitReply();
        if (SendStep(command + strValueToCheck + std::string(1, CR))) continue;
        link.ResumeLiveness();
        return;
    }
}

void TfrmSettingsFrame::CDP_WriteCommandFilterPacket(TComDataPacket*, const std::string& str) {
    link.PauseLiveness();
    link.SignOfLife();
    // An echo (or a value sent) that is not a number counts as not set; the pass goes on.
    if (!EchoMatches(strValueToCheck, str)) bWritingUncomplete = true;
    ++iCurrentPosition;
    if (bSending)
        bNextStepDue = true;
    else
        WriteNextValue();
}

// The liveness tick (in the link): a reply found missing is repeated once, with the step performed as a
// retry; the retry is granted again only by a tick that finds the link alive.
bool TfrmSettingsFrame::RetryMissedReply() {
    if (iRetryCount == 1) return false; // spent: the link reports the silent device
    iRetryCount = 1;
    bIsRetry = true;
    if (iCurrentState == 1)
        WriteNextValue();
    else if (iCurrentState == 2)
        ReadNextValue();
    return true;
}

void TfrmSettingsFrame::LinkAlive() {
    bIsRetry = false;
    iRetryCount = 0;
}

void TfrmSettingsFrame::CloseOnFailure() {
    view.CloseWindow();
}

// ---------------------------------------------------------------------------------------------------
// Screen

std::string TfrmSettingsFrame::CurrentValueText(int entry) const {
    const std::string value = entry < static_cast<int>(slCurrentValue.size()) ? slCurrentValue[entry] : "";
    const std::vector<std::string>& texts = catalogue_.olCurrentDisplay[entry];
    if (texts.empty()) return value;
    // A value that is not a whole number or has no display text is shown as read.
    int index = -1;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), index);
    if (ec != std::errc() || end != value.data() + value.size() || index < 0 ||
        index >= static_cast<int>(texts.size()))
        return value;
    return texts[index];
}

void TfrmSettingsFrame::FillSettingsList() {
    rows_.clear();
    rows_.reserve(catalogue_.slCurrentDescription.size());
    for (int i = 0; i < catalogue_.EntryCount(); ++i) {
        SettingsRow row;
        row.Group = catalogue_.SectionOf(i);
        row.Description = catalogue_.slCurrentDescription[i];
        row.CurrentValue = CurrentValueText(i);
        row.Info = catalogue_.slCurrentInfo[i];
        rows_.push_back(std::move(row));
    }
    UpdateComparison();
    view.ListRebuilt();
    view.SetApplyEnabled(true);
    view.SetCancelEnabled(false);
}

void TfrmSettingsFrame::lvDeviceSettingsDblClick() {
    link.Guard([&] {
        const int row = view.SelectedRow();
        if (row < 0 || row >= static_cast<int>(rows_.size())) return;
        const std::string old = rows_[row].NewValue;
        const std::vector<std::string>& texts = catalogue_.olCurrentDisplay[row];
        std::string text;
        if (!texts.empty())
            text = view.SelectBox("New value...", "Please select a new value", texts);
        else
            text = link.dialogs().InputBox("New value...", "Please insert a new value", old).value_or(old);
        if (row >= static_cast<int>(rows_.size())) return; // the list was rebuilt meanwhile
        rows_[row].NewValue = text;
        view.RowChanged(row);
        if (text != old) SetRowChecked(row, true);
    });
}

void TfrmSettingsFrame::SetRowChecked(int row, bool checked) {
    link.Guard([&] {
        if (row < 0 || row >= static_cast<int>(rows_.size())) return;
        rows_[row].Checked = checked;
        lvDeviceSettingsItemChecked(row);
    });
}

void TfrmSettingsFrame::lvDeviceSettingsItemChecked(int row) {
    // A row stays checked only while it holds a new value.
    if (rows_[row].NewValue == kSettingsNoValue) rows_[row].Checked = false;
    view.RowChanged(row);
}

void TfrmSettingsFrame::btnApplyClick() {
    link.Guard([&] {
        slCurrentChangedValues.clear();
        olCurrentChecked.clear();
        for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
            if (!rows_[i].Checked) continue;
            slCurrentChangedValues.push_back(rows_[i].NewValue);
            olCurrentChecked.push_back(i);
        }
        if (olCurrentChecked.empty()) {
            view.MessageBox(kSettingsNothingChecked, "", DialogKind::Information);
            return;
        }
        view.SetApplyEnabled(false);
        view.SetCancelEnabled(true);
        StartWritePass();
        link.Delay(500);
        if (Closed() || link.bErrorOccures() || iCurrentState == 0) return;
        WriteNextValue();
    });
}

void TfrmSettingsFrame::btnCancelClick() {
    iCurrentState = 3;
}

bool TfrmSettingsFrame::FormClose() {
    return link.Guard([&] {
        if (Closed()) return true;
        if (frmHost.Unplugged()) {
            link.BeginClosing();
            packetHandler_ = PacketHandler::None;
            return true;
        }
        if (link.bErrorOccures()) {
            link.BeginClosing();
            packetHandler_ = PacketHandler::None;
            frmHost.ClosingCurrentFrame(true);
            return true;
        }
        if (iCurrentState == 1 || iCurrentState == 2) {
            bClosingNow = true;
            return false;
        }
        link.BeginClosing();
        packetHandler_ = PacketHandler::None;
        // The control screen puts its own port handler back.
        link.ReleasePortHandlers();
        frmHost.ClosingCurrentFrame(false);
        return true;
    });
}

// ---------------------------------------------------------------------------------------------------
// Configuration files

void TfrmSettingsFrame::btnSaveClick() {
    link.Guard([&] {
        // Milliseconds since the system started, as a 32-bit tick count.
        const auto uptime = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        const std::string proposed = strDeviceDescription + "_" + strSerialNumber + "_" +
                                     std::to_string(static_cast<std::uint32_t>(uptime.count()));
        std::optional<std::string> name = view.SaveFileName(proposed);
        if (!name || name->empty()) return;
        SaveConfiguration(*name);
    });
}

void TfrmSettingsFrame::btnLoadClick() {
    WithOpenedFileName([this](const std::string& name) { LoadConfiguration(name); });
}

void TfrmSettingsFrame::WithOpenedFileName(const std::function<void(const std::string&)>& use) {
    link.Guard([&] {
        std::optional<std::string> name = view.OpenFileName();
        if (!name || name->empty()) return;
        use(*name);
    });
}

std::optional<LoadedConfiguration> TfrmSettingsFrame::ReadOwnConfiguration(const std::string& fileName,
                                                                           const char* noTypeMessage) {
    LoadedConfiguration file = ReadConfigurationFile(fileName);
    switch (file.Status) {
    case LoadedConfiguration::Result::Failed:
        link.dialogs().ShowDialog(DialogKind::Error, file.Error, DialogButtons::Ok);
        return std::nullopt;
    case LoadedConfiguration::Result::NoType:
        if (noTypeMessage) view.MessageBox(noTypeMessage, kApplicationTitle, DialogKind::Information);
        return std::nullopt;
    case LoadedConfiguration::Result::Loaded:
        break;
    }
    if (file.VType != strVersion) {
        view.MessageBox(kSettingsWrongType, kApplicationTitle, DialogKind::Information);
        return std::nullopt;
    }
    return file;
}

void TfrmSettingsFrame::SaveConfiguration(const std::string& fileName) {
    ConfigurationSnapshot snapshot;
    snapshot.VType = strVersion;
    for (const SettingsRow& row : rows_) {
        snapshot.RowGroups.push_back(row.Group);
        snapshot.RowValues.push_back(row.CurrentValue);
    }
    snapshot.HiddenValues = slHiddenValues;
    std::string error;
    if (!WriteConfigurationFile(ConfigurationFileName(fileName), snapshot, error))
        link.dialogs().ShowDialog(DialogKind::Error, error, DialogButtons::Ok);
}

void TfrmSettingsFrame::LoadConfiguration(const std::string& fileName) {
    // A file that names no device type is passed over without a word.
    std::optional<LoadedConfiguration> loaded = ReadOwnConfiguration(fileName, nullptr);
    if (!loaded) return;
    LoadedConfiguration& file = *loaded;
    slHiddenNValues.insert(slHiddenNValues.end(), file.HiddenValues.begin(), file.HiddenValues.end());
    // Values beyond the last row have no row to go to.
    const std::size_t n = std::min(file.RowValues.size(), rows_.size());
    for (std::size_t i = 0; i < n; ++i) {
        rows_[i].NewValue = file.RowValues[i];
        SetRowChecked(static_cast<int>(i), true);
    }
    SetComparisonFile(std::move(file.RowValues));
}

} // namespace mirota
