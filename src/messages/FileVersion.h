#pragma once
// The version built into each program file, and reading it back from another program's file.
//
// Every binary that links mirota_messages carries the marker
//     "@(#)MIROTA-FILE-VERSION " major "." minor "." release "." build  NUL
// (the build's project version). ReadFileVersion scans a file for the first marker followed by four
// decimal numbers of at most 65535 each; anything else after the prefix is not a marker.
#include <cstdint>
#include <string>

namespace mirota {

struct FileVersion {
    std::uint16_t Major = 0;
    std::uint16_t Minor = 0;
    std::uint16_t Release = 0;
    std::uint16_t Build = 0;
    bool operator==(const FileVersion&) const = default;
};

// The version of this build.
FileVersion BuiltFileVersion();

// The version carried by the file at path; false when the file cannot be read or carries none.
bool ReadFileVersion(const std::string& path, FileVersion& version);

} // namespace mirota
