#pragma once
// Fakes around the settings screen's logic: the host (control screen), the dialogs and the window.
#include "screen/Screens.h"
#include "link/Dialogs.h"
#include "settings/FrmSettings.h"
#include "settings/SettingsView.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace mirota::testing {

struct FakeHost : ScreenHost {
    bool unplugged = false;
    std::vector<bool> closings; // aErrorOccures of each ClosingCurrentFrame
    std::function<void()> onClosing;
    bool Unplugged() const override { return unplugged; }
    void ClosingCurrentFrame(bool aErrorOccures) override {
        closings.push_back(aErrorOccures);
        if (onClosing) onClosing();
    }
};

struct ShownBox {
    std::string caption; // ShowSystemBox's caption, or "dialog" for the application's dialogs
    std::string text;
    DialogKind kind;
    std::uint64_t at;
};

struct FakeDialogs : Dialogs {
    explicit FakeDialogs(MessageLoop& l) : loop(l) {}
    MessageLoop& loop;
    std::vector<ShownBox> shown;
    std::deque<DialogResult> answers;            // for YesNo questions; Yes when empty
    std::deque<std::optional<std::string>> inputs; // InputBox results; the value unchanged when empty
    std::function<void()> whileShown;            // runs while a box is open (the loop keeps running)
    std::vector<std::string> inputPrompts;

    DialogResult ShowDialog(DialogKind kind, const std::string& text, DialogButtons buttons) override {
        shown.push_back({"dialog", text, kind, loop.TickCount()});
        if (whileShown) whileShown();
        if (buttons == DialogButtons::Ok) return DialogResult::Ok;
        if (answers.empty()) return DialogResult::Yes;
        DialogResult r = answers.front();
        answers.pop_front();
        return r;
    }
    DialogResult ShowSystemBox(const std::string& text, const std::string& caption, DialogKind icon,
                               DialogButtons) override {
        shown.push_back({caption, text, icon, loop.TickCount()});
        if (whileShown) whileShown();
        return DialogResult::Ok;
    }
    std::optional<std::string> InputBox(const std::string&, const std::string& prompt,
                                        const std::string& value) override {
        inputPrompts.push_back(prompt);
        if (inputs.empty()) return value;
        auto r = inputs.front();
        inputs.pop_front();
        return r;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& b : shown) t.push_back(b.text);
        return t;
    }
};

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
    std::string SelectBox(const std::string&, const std::string& prompt, const std::vector<std::string>&) override {
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
