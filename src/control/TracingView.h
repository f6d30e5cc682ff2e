#pragma once
// The control screen's window with its device information echoed as it changes: every caption as
// "caption: <text>" and every item text as "item <n>: <text>", one line each, flushed at once. The
// integration tests and the demo and CI scripts read these lines from Ostrel's standard output when
// they start it with MIROTA_OSTREL_TRACE set; otherwise nothing is written.
#include "control/MainOstrelView.h"

#include <cstdio>
#include <string>

namespace mirota {

class TracingView : public MainOstrelView {
public:
    // Every call goes on to `window`; the lines go to `out` (null: none).
    TracingView(MainOstrelView& window, std::FILE* out);
    // Standard output when MIROTA_OSTREL_TRACE is set in the environment, else null.
    static std::FILE* RequestedOutput();

    void SetCaption(const std::string& caption) override;
    void SetNavigationButtonVisible(ScreenKind kind, bool visible) override;
    void BeginListUpdate() override;
    void EndListUpdate() override;
    void AddGroup(const std::string& header) override;
    void AddItem(int group, const std::string& text) override;
    void SetItemText(int item, const std::string& text) override;
    void SetInformation(const std::string& caption, const std::string& text) override;
    void ShowWindow() override;
    void HideWindow() override;
    void CloseWindow() override;
    WindowState State() const override;
    void ShowNormal() override;
    void BringToForeground() override;

private:
    void Trace(const std::string& what, const std::string& text);

    MainOstrelView& window_;
    std::FILE* out_;
};

} // namespace mirota
