#include "control/ScreenRegistry.h"

namespace mirota {

namespace {
std::map<ScreenKind, ScreenCreator>& Registry() {
    static std::map<ScreenKind, ScreenCreator> registry;
    return registry;
}
} // namespace

void RegisterScreen(ScreenKind kind, ScreenCreator creator) {
    Registry()[kind] = std::move(creator);
}

std::unique_ptr<HostedScreen> RegisteredScreens::Create(ScreenKind kind, const ScreenArgs& args) {
    const auto it = Registry().find(kind);
    if (it == Registry().end() || !it->second) return nullptr;
    return it->second(args);
}

} // namespace mirota
