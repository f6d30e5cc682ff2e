#pragma once
// Reading the value text of a measurement packet.
#include <optional>
#include <string_view>

namespace mirota {

// A decimal number as the device sends it: optional blanks, an optional sign, digits with at most one
// "." (at least one digit), an optional exponent ("E" or "e", optional sign, digits), optional
// blanks, nothing else; within the range of a double. "," is never a decimal separator, and the
// locale is never consulted.
std::optional<double> ReadDecimalNumber(std::string_view text);

} // namespace mirota
