// The terminal emulation on any byte stream, in chunks of any size, with keys and resets in between:
// it never crashes, loops or reads outside the screen.
#include "terminal/TerminalEmulator.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace mirota;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    TerminalEmulator terminal;
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 15)) {
        case 0:
            terminal.PressKey(static_cast<TermKey>(in.ConsumeIntegralInRange<int>(0, 21)),
                              in.ConsumeIntegralInRange<unsigned>(0, 7));
            break;
        case 1:
            terminal.TypeChar(in.ConsumeIntegral<char32_t>());
            break;
        case 2:
            if (in.ConsumeIntegralInRange<int>(0, 7) == 0) terminal.Reset();
            break;
        default: {
            const std::string chunk = in.ConsumeRandomLengthString(512);
            terminal.Feed(chunk);
            break;
        }
        }
        (void)terminal.TakeOutput();
    }
    (void)terminal.ScreenText();
    for (std::size_t i = 0; i < terminal.ScrollbackSize(); ++i)
        (void)terminal.ScrollbackText(i);
    (void)terminal.Cell(terminal.CursorRow(), terminal.CursorCol());
    return 0;
}
