#pragma once
// The one place where the device screens become known to the control screen. Each screen area
// provides a creator (for example CreateValuesScreen) and Ostrel's main() registers it once with
// RegisterScreen before the main window is created. A kind without a creator opens nothing.
#include "screen/Screens.h"

#include <functional>
#include <map>
#include <memory>

namespace mirota {

using ScreenCreator = std::function<std::unique_ptr<HostedScreen>(const ScreenArgs& args)>;

void RegisterScreen(ScreenKind kind, ScreenCreator creator);

// The factory over the registered creators.
class RegisteredScreens : public ScreenFactory {
public:
    std::unique_ptr<HostedScreen> Create(ScreenKind kind, const ScreenArgs& args) override;
};

} // namespace mirota
