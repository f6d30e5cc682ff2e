#pragma once
// What the control screen's logic needs from its window. The Qt window implements it; the unit tests
// use a recording fake.
#include "screen/Screens.h"

#include <string>

namespace mirota {

class MainOstrelView {
public:
    virtual ~MainOstrelView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetNavigationButtonVisible(ScreenKind kind, bool visible) = 0;

    // lvDeviceInformation: groups and items in the order they are added; item texts change later.
    virtual void BeginListUpdate() = 0;
    virtual void EndListUpdate() = 0;
    virtual void AddGroup(const std::string& header) = 0;
    virtual void AddItem(int group, const std::string& text) = 0;
    virtual void SetItemText(int item, const std::string& text) = 0;

    // The "INFORMATION" header and mmoInformation.
    virtual void SetInformation(const std::string& caption, const std::string& text) = 0;

    virtual void ShowWindow() = 0;
    virtual void HideWindow() = 0;
    // Closes the main window; the window calls FormClose as part of its closing (possibly after the
    // caller has returned) and Ostrel ends after it.
    virtual void CloseWindow() = 0;
    virtual WindowState State() const = 0;
    virtual void ShowNormal() = 0;
    virtual void BringToForeground() = 0;
};

} // namespace mirota
