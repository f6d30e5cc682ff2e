// The settings screen's comparison with a configuration file and its CSV export of the list.
#include "settings/FrmSettings.h"

#include "settings/ConfigurationFile.h"
#include "settings/SettingsExport.h"

namespace mirota {

void TfrmSettingsFrame::btnCompareClick() {
    WithOpenedFileName([this](const std::string& name) { CompareConfiguration(name); });
}

void TfrmSettingsFrame::CompareConfiguration(const std::string& fileName) {
    std::optional<LoadedConfiguration> file =
        ReadOwnConfiguration(fileName, "The file is not a configuration file: it names no device type.");
    if (file) SetComparisonFile(std::move(file->RowValues));
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
        displayValued.push_back(i < catalogue_.olCurrentDisplay.size() &&
                                !catalogue_.olCurrentDisplay[i].empty());
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
