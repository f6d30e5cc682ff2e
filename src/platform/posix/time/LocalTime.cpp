// The local calendar time on Linux: localtime_r, which is safe in any thread.
#include "platform/LocalTime.h"

namespace mirota {

std::tm LocalCalendarTime(std::time_t t) {
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return std::tm{};
    return tm;
}

} // namespace mirota
