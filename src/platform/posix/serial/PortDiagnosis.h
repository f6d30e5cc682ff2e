#pragma once
// Facts about a serial device file that tell the user why it cannot be opened.
#include "link/SerialBackend.h"

#include <string>
#include <vector>

namespace mirota {

// The name of the group that owns the file at path; empty when it cannot be read or has no name.
std::string DeviceGroupName(const std::string& path);

// The processes other than this one that have the device at path open, found through the file
// descriptors listed under procRoot/<pid>/fd (processes of other users are visible to root only).
// Where some of them hold a lock on it (procRoot/locks), only those.
std::vector<PortHolder> ProcessesHoldingDevice(const std::string& path,
                                               const std::string& procRoot = "/proc");

// The facts for an open of path that failed with errno `error`.
OpenFailureFacts ExamineDeviceOpenFailure(const std::string& path, int error);

} // namespace mirota
