#pragma once
// Comparing the settings list with a configuration file: which rows hold a current value other than
// the file's. For a setting with display texts the texts are compared regardless of letter case (the
// write pass maps them to the device value that way); otherwise two texts are equal when identical or
// when both read as the same number the way the write pass reads echoes (ParseSettingsNumber: "."
// decimal separator, so "1.50" equals "1.5"). The echo check's tolerance of the same hundred is not
// applied: it would count 10 and 12 as equal and hide a real difference. A file value "-" stands for
// no value and is not compared, as loading would not write it; rows beyond the file's values are not
// compared either.
#include <optional>
#include <string>
#include <vector>

namespace mirota {

struct ConfigurationComparison {
    // Per row of the list: the file's value when it differs from the row's current value.
    std::vector<std::optional<std::string>> Differences;
    int Compared = 0; // rows the file holds a value for
    int Differing = 0;

    bool Active() const { return !Differences.empty(); }
    bool RowDiffers(int row) const {
        return row >= 0 && row < static_cast<int>(Differences.size()) && Differences[row].has_value();
    }
};

// True when `current` (the row's "Current Value" text) and `fileValue` stand for the same setting.
bool SettingValuesEqual(const std::string& current, const std::string& fileValue, bool displayValued);

// Compares the rows' current values with the file's row values (both in row order). displayValued[i]
// tells whether row i's entry has display texts; missing elements count as free-text entries.
ConfigurationComparison CompareRows(const std::vector<std::string>& currentValues,
                                    const std::vector<std::string>& fileValues,
                                    const std::vector<bool>& displayValued);

// "n of m settings differ"; empty while nothing was compared.
std::string ComparisonSummary(const ConfigurationComparison& comparison);
// The accessible description of a differing row: "differs from file: <value>".
std::string DifferenceDescription(const std::string& fileValue);

} // namespace mirota
