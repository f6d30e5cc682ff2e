#pragma once
// Pravik's answers on the terminal: `pravik --version` and `pravik --help` print their text and end
// before any window or display is needed. Other arguments are left to the toolkit (-platform, ...).
#include <optional>
#include <string>

namespace mirota {

// The text to print for argv, or nothing when Pravik is to start its window.
std::optional<std::string> PravikCommandLineAnswer(int argc, const char* const* argv);

} // namespace mirota
