// The settings catalogue reader on three arbitrary catalogue files, and the configuration loader on
// arbitrary bytes: the catalogue's per-entry lists have equal lengths and its borders describe them;
// a configuration is either refused with a message or loaded.
#include "settings/ConfigurationFile.h"
#include "settings/SettingsCatalogue.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace mirota;

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}

const std::filesystem::path& Dir() {
    static const std::filesystem::path dir = [] {
        auto d =
            std::filesystem::temp_directory_path() / ("mirota-fuzz-settings-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::atexit([] { std::filesystem::remove_all(Dir()); });
        return d;
    }();
    return dir;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool hidden = in.ConsumeBool();
    for (const char* name :
         {"SettingsCommandsT.ini", "DisplayValuesT.ini", "InfoConfigurationT.ini", "HiddenCommands.ini"})
        std::ofstream(Dir() / name, std::ios::binary) << in.ConsumeRandomLengthString(4096);

    TSettingsCatalogue c;
    ReadSettingsCatalogue(Dir(), "T", hidden ? kHiddenSettingsFirmware : 10, c);
    const std::size_t n = c.slCurrentDescription.size();
    Check(c.slCurrentCommand.size() == n && c.slCurrentInfo.size() == n && c.olCurrentDisplay.size() == n);
    Check(c.olCurrentBorders.size() == c.slCurrentSections.size() + 1);
    Check(c.olCurrentBorders.front() == 0 && static_cast<std::size_t>(c.olCurrentBorders.back()) == n);
    for (std::size_t k = 1; k < c.olCurrentBorders.size(); ++k)
        Check(c.olCurrentBorders[k - 1] <= c.olCurrentBorders[k]);
    for (std::size_t i = 0; i < n; ++i) {
        const int section = c.SectionOf(static_cast<int>(i));
        Check(section >= 0 && static_cast<std::size_t>(section) < c.slCurrentSections.size());
    }
    if (!hidden) Check(c.slHiddenCommands.empty());

    const LoadedConfiguration loaded = ParseConfigurationDocument(in.ConsumeRemainingBytesAsString());
    if (loaded.Status == LoadedConfiguration::Result::Failed)
        Check(!loaded.Error.empty() && loaded.RowValues.empty() && loaded.HiddenValues.empty());
    else
        Check(loaded.Error.empty());
    return 0;
}
