// The settings screen's comparison with a configuration file and its CSV export of the list.
#include "settings/FrmSettings.h"

#include "settings/ConfigurationFile.h"
#include "settings/SettingsExport.h"

namespace mirota {

void TfrmSettingsFrame::btnCompareClick() {
    link.Guard([&] {
        std::optional<std::string> name = view.OpenFileName();
        if (!name || name->empty()) return;
        CompareConfiguration(*name);
    });
}

void TfrmSettingsFrame::CompareConfiguration(const std::string& fileName) {
    LoadedConfiguration file = ReadConfigurationFile(fileName);
    switch (file.Status) {
    case LoadedConfiguration::Result::Failed:
        link.dialogs().ShowDialog(DialogKind::Error, file.Error, DialogButtons::Ok);
        return;
    case LoadedConfiguration::Result::NoType:
        view.MessageBox("The file is not a configuration file: it names no device type.", kApplicationTitle,
                        DialogKind::Information);
        return;
    case LoadedConfiguration::Result::Loaded:
        break;
    }
    if (file.VType != strVersion) {
        view.MessageBox(kSettingsWrongType, kApplicationTitle, DialogKind::Information);
        return;
    }
    SetComparisonFile(std::move(file.RowValues));
}

void TfrmSettingsFrame::SetComparisonFile(std::vector<std::string> fileValues) {
    comparedValues_ = std::move(fileValues);
    UpdateComparison();
    view.ComparisonChanged();
}

void TfrmSettingsFrame::UpdateComparison() {
    if (!comparedValues_) {
        comparison_ = {};
        return;
    }
    std::vector<std::string> current;
    std::vector<bool> displayValued;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        current.push_back(rows_[i].CurrentValue);
        displayValued.push_back(i < catalogue_.olCurrentDisplay.size() && !catalogue_.olCurrentDisplay[i].empty());
    }
    comparison_ = CompareRows(current, *comparedValues_, displayValued);
}

void TfrmSettingsFrame::btnExportClick() {
    link.Guard([&] {
        std::optional<std::string> name =
            view.ExportFileName(strDeviceDescription + "_" + strSerialNumber + "_settings.csv");
        if (!name || name->empty()) return;
        ExportList(*name);
    });
}

bool TfrmSettingsFrame::ExportList(const std::string& fileName) {
    const std::string text = BuildSettingsCsv(rows_, catalogue_.slCurrentSections, slHiddenValues);
    std::string error;
    if (WriteFileAtomically(SettingsExportFileName(fileName), text, error)) return true;
    link.dialogs().ShowDialog(DialogKind::Error, error, DialogButtons::Ok);
    return false;
}

} // namespace mirota
