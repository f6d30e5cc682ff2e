#pragma once
// What the settings screen's logic asks of its window. The Qt window implements it; tests use a fake.
#include "link/Dialogs.h"

#include <optional>
#include <string>
#include <vector>

namespace mirota {

class SettingsView {
public:
    virtual ~SettingsView() = default;

    // The busy panel pnlReadWrite with its animation gfanimProcces, and its progress text.
    virtual void ShowBusy(bool visible) = 0;
    virtual void SetBusyText(const std::string& text) = 0;
    virtual void SetApplyEnabled(bool enabled) = 0;
    virtual void SetCancelEnabled(bool enabled) = 0;
    // btnSave and btnLoad.
    virtual void ShowSaveLoad(bool visible) = 0;

    // The whole list (groups and rows) was rebuilt from the logic's rows.
    virtual void ListRebuilt() = 0;
    // Row `row`'s new value or check state changed.
    virtual void RowChanged(int row) = 0;
    // The selected row, -1 when none.
    virtual int SelectedRow() const = 0;

    // Closes the window; its close handling (FormClose) decides.
    virtual void CloseWindow() = 0;

    // The modal selection dialog; "-" unless closed with OK, then the chosen text.
    virtual std::string SelectBox(const std::string& title, const std::string& prompt,
                                  const std::vector<std::string>& choices) = 0;
    // A message box owned by the settings window.
    virtual void MessageBox(const std::string& text, const std::string& caption, DialogKind icon) = 0;
    // File dialogs with the configuration file filter; nothing when cancelled.
    virtual std::optional<std::string> SaveFileName(const std::string& proposed) = 0;
    virtual std::optional<std::string> OpenFileName() = 0;

    // Comparison with a file and the list export (no-ops for views without them).
    // The rows' difference marks or the summary changed without a rebuild of the list.
    virtual void ComparisonChanged() {}
    // The save dialog for the CSV export; nothing when cancelled.
    virtual std::optional<std::string> ExportFileName(const std::string& /*proposed*/) {
        return std::nullopt;
    }
};

} // namespace mirota
