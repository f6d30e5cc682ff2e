#pragma once
// The screen layer's host contract: how the control screen hosts the four device screens. The main
// window creates a screen through a ScreenFactory, shows it, and is called back through
// ScreenHost::ClosingCurrentFrame when the screen closes. Each screen area provides its Qt window
// behind HostedScreen (screen/ui/ScreenWindow.h implements the hosting once for all of them).
#include "link/DeviceLink.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mirota {

class MessageLoop;
class Dialogs;

enum class ScreenKind { Terminal, Settings, Values, Power };

// The main window as its screens see it.
class ScreenHost : public MainWindowLink {
public:
    // Called by the closing screen once its own close handling is done. The host destroys the screen
    // later (never inside this call) and then ends Ostrel when aErrorOccures is set.
    virtual void ClosingCurrentFrame(bool aErrorOccures) = 0;
};

struct ScreenArgs {
    ScreenHost& aOwner;
    MessageLoop& loop;
    Dialogs& dialogs;
    TComPort* aComPort;
    std::string aDescription; // values and settings screens
    std::string aSerialNumber;
    int aVersion = 0; // settings screen: the firmware version number
};

enum class WindowState { Normal, Minimized, Maximized };

// A top-level screen window as the main window handles it.
class HostedScreen {
public:
    virtual ~HostedScreen() = default;
    // The window handle sent to Pravik with 1029 / 1030.
    virtual std::uint32_t Handle() const = 0;
    // Shows the window; once it has painted, the screen starts its device traffic.
    virtual void Show() = 0;
    // Closes the window; its close handling runs and ends in ClosingCurrentFrame (or is refused, as the
    // settings screen does during a pass).
    virtual void Close() = 0;
    virtual WindowState State() const = 0;
    virtual void ShowNormal() = 0;
    virtual void BringToForeground() = 0;
};

class ScreenFactory {
public:
    virtual ~ScreenFactory() = default;
    // Creates the screen, its window not shown yet (ScreenWindow starts the logic's Start() once it has
    // been shown). Null when the kind is not built.
    virtual std::unique_ptr<HostedScreen> Create(ScreenKind kind, const ScreenArgs& args) = 0;
};

} // namespace mirota
