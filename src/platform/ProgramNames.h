#pragma once
// The file names of the two programs on this platform, as they lie side by side in one directory.
namespace mirota {

#ifdef _WIN32
inline constexpr const char* kLauncherProgramFile = "Pravik.exe";
inline constexpr const char* kControlProgramFile = "Ostrel.exe";
#else
inline constexpr const char* kLauncherProgramFile = "pravik";
inline constexpr const char* kControlProgramFile = "ostrel";
#endif

} // namespace mirota
