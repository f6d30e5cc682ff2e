#pragma once
// The calendar time of a moment in the local time zone, as the system's zone rules give it (localtime_r
// on Linux, localtime_s on Windows). Implemented in platform/<os>/time (mirota_platform_time).
#include <ctime>

namespace mirota {

// The local calendar time of t; all fields 0 when the system cannot convert it.
std::tm LocalCalendarTime(std::time_t t);

} // namespace mirota
