#pragma once
// The terminal screen's Qt window: logo strip, coloured strip and the terminal view; fixed client
// size 644 x 455. It forwards closing to the logic (TfrmTerminalFrame).
#include "screen/ui/ScreenWindow.h"
#include "terminal/FrmTerminal.h"

#include <QWidget>

#include <memory>

namespace mirota {

class TComTerminal;

class TfrmTerminalFrameView : public ScreenWindow<TfrmTerminalFrame>, public TerminalFrameView {
    Q_OBJECT

public:
    // Builds the window and then the logic; Show() starts the device traffic once the window is up.
    explicit TfrmTerminalFrameView(const ScreenArgs& args);
    ~TfrmTerminalFrameView() override;

    TComTerminal* TerminalView() const { return ctTerminal; }

    // TerminalFrameView
    void SetCaption(const std::string& caption) override;
    TerminalSession& Terminal() override;
    void CloseWindow() override;

protected:
    void Shown() override;

private:
    TComTerminal* ctTerminal = nullptr;
};

// The screen as the control screen holds it: destroying it lets the screen go at once and deletes
// the window once none of its handlers runs.
std::unique_ptr<HostedScreen> CreateTerminalScreen(const ScreenArgs& args);
// The window behind a screen made by CreateTerminalScreen (tests, tools); null for anything else.
TfrmTerminalFrameView* TerminalWindowOf(HostedScreen* screen);

} // namespace mirota
