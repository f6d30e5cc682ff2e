#pragma once
// Fakes around the settings screen's logic: the host (control screen), the dialogs and the window.
#include "../../support/ScreenFakes.h"
#include "link/Dialogs.h"
#include "screen/Screens.h"
#include "settings/FrmSettings.h"
#include "settings/SettingsView.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace mirota::testing {

using test::FakeHost;
using test::ShownBox;
// The settings tests answer Yes/No questions and input boxes through answers and inputs.
using FakeDialogs = test::RecordingDialogs;

struct FakeView : SettingsView {
    TfrmSettingsFrame* frame = nullptr;
    bool busy = false;
    std::vector<std::string> busyTexts;
    bool applyEnabled = true, cancelEnabled = true, saveLoadVisible = true;
    int rebuilds = 0;
    int selected = -1;
    int closeRequests = 0;
    bool closed = false;
    std::deque<std::string> selections; // SelectBox results; "-" (cancelled) when empty
    std::vector<std::string> selectPrompts;
    std::vector<std::pair<std::string, std::string>> boxes; // (caption, text)
    std::optional<std::string> saveName, openName;
    std::string proposedSaveName;

    void ShowBusy(bool visible) override { busy = visible; }
    void SetBusyText(const std::string& text) override { busyTexts.push_back(text); }
    void SetApplyEnabled(bool e) override { applyEnabled = e; }
    void SetCancelEnabled(bool e) override { cancelEnabled = e; }
    void ShowSaveLoad(bool v) override { saveLoadVisible = v; }
    void ListRebuilt() override { ++rebuilds; }
    void RowChanged(int) override {}
    int SelectedRow() const override { return selected; }
    void CloseWindow() override {
        ++closeRequests;
        if (frame && frame->FormClose()) closed = true;
    }
    std::string SelectBox(const std::string&, const std::string& prompt,
                          const std::vector<std::string>&) override {
        selectPrompts.push_back(prompt);
        if (selections.empty()) return kSettingsNoValue;
        std::string r = selections.front();
        selections.pop_front();
        return r;
    }
    void MessageBox(const std::string& text, const std::string& caption, DialogKind) override {
        boxes.emplace_back(caption, text);
    }
    std::optional<std::string> SaveFileName(const std::string& proposed) override {
        proposedSaveName = proposed;
        return saveName;
    }
    std::optional<std::string> OpenFileName() override { return openName; }

    int comparisonChanges = 0;
    std::optional<std::string> exportName;
    std::string proposedExportName;
    void ComparisonChanged() override { ++comparisonChanges; }
    std::optional<std::string> ExportFileName(const std::string& proposed) override {
        proposedExportName = proposed;
        return exportName;
    }
};

} // namespace mirota::testing
