#pragma once
// The version built into each program file.
//
// Every binary that links mirota_messages carries the marker
//     "@(#)MIROTA-FILE-VERSION " major "." minor "." release "." build  NUL
// (the build's project version); on Linux the other program reads it back from the file
// (platform/posix/fileinfo/MarkerFileVersion.h). On Windows the file's version resource is read instead.
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

// "2.1.0.7": each number in decimal without leading zeros.
std::string VersionText(const FileVersion& version);

} // namespace mirota
