#include "MessageLoop.h"

namespace mirota {

void Delay(MessageLoop& loop, int milliseconds) {
    const std::uint64_t t0 = loop.TickCount();
    std::int64_t remaining = milliseconds;
    while (remaining > 0) {
        if (!loop.WaitForMessage(static_cast<std::uint32_t>(remaining))) break;
        loop.ProcessMessages();
        if (loop.Terminating()) break;
        remaining =
            static_cast<std::int64_t>(milliseconds) - static_cast<std::int64_t>(loop.TickCount() - t0);
    }
}

} // namespace mirota
