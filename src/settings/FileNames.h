#pragma once
// The names the settings screen writes its files under: the name the user chose, completed with the
// file type's extension.
#include <string>
#include <string_view>

namespace mirota {

// fileName with `extension` (".xml", ".csv") appended, unless it already ends in it in any letter case
// (ASCII letters).
std::string WithExtension(const std::string& fileName, std::string_view extension);

} // namespace mirota
