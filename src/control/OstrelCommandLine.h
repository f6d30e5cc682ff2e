#pragma once
// Ostrel's answers on the terminal: `ostrel --version` and `ostrel --help` print their text and end
// before any window or display is needed. Every other command line is the four-parameter start.
#include <optional>
#include <string>

namespace mirota {

// The text to print for argv, or nothing when Ostrel is to start its window.
std::optional<std::string> OstrelCommandLineAnswer(int argc, const char* const* argv);

} // namespace mirota
