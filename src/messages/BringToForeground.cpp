#include "messages/Messages.h"

namespace mirota {

bool BringToForeground(ForegroundWindow& window) {
    if (window.IsMinimized()) window.Restore();
    if (window.IsForeground()) return true;
    window.RaiseAndActivate();
    return window.IsForeground();
}

} // namespace mirota
