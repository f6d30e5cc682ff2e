#include "settings/SettingsExport.h"

#include "settings/FileNames.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace mirota {

std::string CsvField(const std::string& text, char separator) {
    if (text.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string CsvRecord(const std::vector<std::string>& fields, char separator) {
    std::string record;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) record += separator;
        record += CsvField(fields[i], separator);
    }
    record += "\r\n";
    return record;
}

std::string BuildSettingsCsv(const std::vector<SettingsRow>& rows, const std::vector<std::string>& sections,
                             const std::vector<std::string>& hiddenValues, char separator) {
    std::string text = CsvRecord({"Section", "Description", "Current Value", "Info"}, separator);
    for (const SettingsRow& row : rows) {
        const std::string section = row.Group >= 0 && row.Group < static_cast<int>(sections.size())
                                        ? sections[row.Group]
                                        : std::string();
        text += CsvRecord({section, row.Description, row.CurrentValue, row.Info}, separator);
    }
    for (std::size_t j = 0; j < hiddenValues.size(); ++j)
        text +=
            CsvRecord({kHiddenSection, "Hidden value " + std::to_string(j), hiddenValues[j], ""}, separator);
    return text;
}

std::string SettingsExportFileName(const std::string& fileName) {
    return WithExtension(fileName, ".csv");
}

bool WriteFileAtomically(const std::string& fileName, const std::string& bytes, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path target(std::u8string(fileName.begin(), fileName.end()));
    // A name of its own beside the target, so that the rename stays within one file system.
    std::random_device random;
    fs::path temporary = target;
    temporary += "." + std::to_string(random() % 1000000u) + ".part";
    auto fail = [&](const std::string& why) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        error = "The file " + fileName + " could not be written: " + why;
        return false;
    };
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return fail("the folder cannot be written to");
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) return fail("writing failed");
        out.close();
        if (!out) return fail("writing failed");
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) return fail(ec.message());
    return true;
}

} // namespace mirota
