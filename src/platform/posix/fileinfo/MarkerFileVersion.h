#pragma once
// Reading the version marker back from a program file (Linux): the file is scanned for the first
// "@(#)MIROTA-FILE-VERSION " followed by four decimal numbers of at most 65535 each, joined by "." and
// ended by NUL; anything else after the prefix is not a marker.
#include "messages/FileVersion.h"

#include <string>

namespace mirota {

// The version carried by the file at path; false when the file cannot be read or carries none.
bool ReadFileVersion(const std::string& path, FileVersion& version);

} // namespace mirota
