#pragma once
// The program's identity on the desktop: its window icon (every window of the program carries it) and
// the name of its desktop file, by which Wayland compositors find the icon and group the windows.
namespace mirota {

// desktopId: "org.mirota.Pravik" or "org.mirota.Ostrel", the base name of the .desktop file and of
// the icons built into the program. Call after the QApplication exists.
void ApplyDesktopIdentity(const char* desktopId);

} // namespace mirota
