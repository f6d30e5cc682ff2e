#include "settings/ConfigurationCompare.h"

#include "settings/FrmSettings.h"

#include <algorithm>

namespace mirota {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

} // namespace

bool SettingValuesEqual(const std::string& current, const std::string& fileValue, bool displayValued) {
    if (current == fileValue) return true;
    if (displayValued) return EqualIgnoringCase(current, fileValue);
    const std::optional<double> a = ParseSettingsNumber(current);
    const std::optional<double> b = ParseSettingsNumber(fileValue);
    return a && b && *a == *b;
}

ConfigurationComparison CompareRows(const std::vector<std::string>& currentValues,
                                    const std::vector<std::string>& fileValues,
                                    const std::vector<bool>& displayValued) {
    ConfigurationComparison result;
    result.Differences.resize(currentValues.size());
    const std::size_t n = std::min(currentValues.size(), fileValues.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& value = fileValues[i];
        if (value == kSettingsNoValue) continue;
        ++result.Compared;
        const bool display = i < displayValued.size() && displayValued[i];
        if (SettingValuesEqual(currentValues[i], value, display)) continue;
        result.Differences[i] = value;
        ++result.Differing;
    }
    return result;
}

std::string ComparisonSummary(const ConfigurationComparison& comparison) {
    if (!comparison.Active()) return {};
    return std::to_string(comparison.Differing) + " of " + std::to_string(comparison.Compared) +
           " settings differ";
}

std::string DifferenceDescription(const std::string& fileValue) {
    return "differs from file: " + fileValue;
}

} // namespace mirota
