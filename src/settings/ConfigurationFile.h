#pragma once
// Configuration files: a snapshot of a device's settings in XML, written and read on Qt's DOM.
//
//   <?xml version="1.0" encoding="utf-8"?>
//   <conf vtype="<device type text>">
//     <G0><V0>value of row 0</V0><V1>...</V1></G0>   one group element per run of rows of one group
//     <G1><V2>...</V2></G1>
//     <H><V0>hidden value 0</V0>...</H>
//   </conf>
//
// Loading reads only the "vtype" attribute, which children of "conf" are named "H", and the order and
// texts of the grandchildren; group and value element names are not read back.
#include <cstdint>
#include <string>
#include <vector>

namespace mirota {

// Files larger than this are refused unread.
inline constexpr std::uint64_t kMaxConfigurationFileSize = 16u * 1024u * 1024u;

struct ConfigurationSnapshot {
    std::string VType;
    std::vector<int> RowGroups;         // group number of each row, in row order
    std::vector<std::string> RowValues; // "Current Value" text of each row
    std::vector<std::string> HiddenValues;
};

// The document text (UTF-8, declaration, indented).
std::string BuildConfigurationDocument(const ConfigurationSnapshot& snapshot);

// The name a configuration is written to: fileName with ".xml" appended unless it already ends in
// ".xml" in any letter case.
std::string ConfigurationFileName(const std::string& fileName);

// Writes the document to fileName (already completed by ConfigurationFileName). False with a message
// when the file cannot be written.
bool WriteConfigurationFile(const std::string& fileName, const ConfigurationSnapshot& snapshot,
                            std::string& error);

struct LoadedConfiguration {
    enum class Result {
        Loaded, // RowValues and HiddenValues hold the file's values
        NoType, // the document element has no "vtype": ignored without a message
        Failed, // unreadable, not well-formed, too large, or with a DTD or entities: Error says why
    };
    Result Status = Result::Failed;
    std::string Error;
    std::string VType;
    std::vector<std::string> RowValues;    // grandchildren of "conf" outside "H", in document order
    std::vector<std::string> HiddenValues; // children of "H" elements, in document order
};

// Reads and checks a configuration file. Never reads anything but this file.
LoadedConfiguration ReadConfigurationFile(const std::string& fileName);
// The same from the file's bytes.
LoadedConfiguration ParseConfigurationDocument(const std::string& bytes);

} // namespace mirota
