// The decimal readers of the measurement text, the power screen and the settings screen, and the
// write pass's echo comparison, on arbitrary text: no exception, only finite values, readers that
// both accept a text agree on its value, a value read back from its shortest text is the same, equal
// number texts compare equal and the comparison is symmetric.
#include "power/FrmPowerSettings.h"
#include "settings/FrmSettings.h"
#include "values/MeasurementText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace mirota;

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckText(const std::string& text) {
    const auto measured = ReadDecimalNumber(text);
    const auto power = ParseDecimal(text);
    const auto setting = ParseSettingsNumber(text);
    for (const auto& v : {measured, power, setting})
        if (v) Check(std::isfinite(*v));
    if (measured && power) Check(*measured == *power);
    if (measured) {
        char buffer[64];
        const auto res = std::to_chars(buffer, buffer + sizeof buffer, *measured);
        const auto again = ReadDecimalNumber(std::string(buffer, res.ptr));
        Check(again && *again == *measured);
    }
    Check(EchoMatches(text, text) == setting.has_value());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string written = in.ConsumeRandomLengthString(64);
    const std::string echoed = in.ConsumeRemainingBytesAsString();
    CheckText(written);
    CheckText(echoed);
    Check(EchoMatches(written, echoed) == EchoMatches(echoed, written));
    return 0;
}
