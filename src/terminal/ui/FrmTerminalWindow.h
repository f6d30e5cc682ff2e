#pragma once
// The terminal screen's Qt window: logo strip, coloured strip and the terminal view; fixed client
// size 644 x 455. It forwards closing to the logic (TfrmTerminalFrame).
#include "screen/ui/ScreenWindow.h"
#include "terminal/FrmTerminal.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QToolButton;

namespace mirota {

class TComTerminal;

class TfrmTerminalFrameView : public ScreenWindow<TfrmTerminalFrame>, public TerminalFrameView {
    Q_OBJECT

public:
    // Builds the window and then the logic; Show() starts the device traffic once the window is up.
    explicit TfrmTerminalFrameView(const ScreenArgs& args);
    ~TfrmTerminalFrameView() override;

    TComTerminal* TerminalView() const { return ctTerminal; }
    QToolButton* SaveLogButton() const { return btnSaveLog; }
    QCheckBox* IncludeTypedSwitch() const { return chkLogTyped; }

    // Asks for a file and writes the session log to it (complete or not at all).
    void SaveLog();
    // Test hooks: the chosen file name instead of the dialog (unset: shown).
    std::function<std::optional<std::string>(const std::string& proposed)> logNameHook;

    // TerminalFrameView
    void SetCaption(const std::string& caption) override;
    TerminalSession& Terminal() override;
    void CloseWindow() override;

protected:
    void Shown() override;

private:
    // "Save log..." and "Include typed text" on the coloured strip, and the view's menu entry.
    void AddSessionTools(QWidget* bar, Dialogs& dialogs);

    TComTerminal* ctTerminal = nullptr;
    QToolButton* btnSaveLog = nullptr;
    QCheckBox* chkLogTyped = nullptr;
    Dialogs* dialogs_ = nullptr;
};

// The screen as the control screen holds it: destroying it lets the screen go at once and deletes
// the window once none of its handlers runs.
std::unique_ptr<HostedScreen> CreateTerminalScreen(const ScreenArgs& args);
// The window behind a screen made by CreateTerminalScreen (tests, tools); null for anything else.
TfrmTerminalFrameView* TerminalWindowOf(HostedScreen* screen);

} // namespace mirota
