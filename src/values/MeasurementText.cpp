#include "values/MeasurementText.h"

#include <charconv>
#include <cmath>
#include <string>

namespace mirota {

std::optional<double> ReadDecimalNumber(std::string_view s) {
    std::size_t i = 0, n = s.size();
    while (i < n && s[i] == ' ')
        ++i;
    while (n > i && s[n - 1] == ' ')
        --n;
    s = s.substr(i, n - i);
    if (s.empty()) return std::nullopt;

    std::size_t p = 0;
    bool negative = false;
    if (s[p] == '+' || s[p] == '-') negative = s[p++] == '-';
    const std::size_t numberStart = p;
    int digits = 0, points = 0;
    for (; p < s.size(); ++p) {
        if (s[p] >= '0' && s[p] <= '9')
            ++digits;
        else if (s[p] == '.' && points == 0)
            ++points;
        else
            break;
    }
    if (digits == 0) return std::nullopt;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        ++p;
        if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
        int expDigits = 0;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9')
            ++p, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (p != s.size()) return std::nullopt;

    // from_chars takes no leading "+"; the sign is applied afterwards.
    const std::string_view body = s.substr(numberStart);
    double value = 0;
    const auto res =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != body.data() + body.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace mirota
