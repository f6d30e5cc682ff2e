// The local calendar time on Windows: localtime_s, which is safe in any thread.
#include "platform/LocalTime.h"

namespace mirota {

std::tm LocalCalendarTime(std::time_t t) {
    std::tm tm{};
    if (localtime_s(&tm, &t) != 0) return std::tm{};
    return tm;
}

} // namespace mirota
