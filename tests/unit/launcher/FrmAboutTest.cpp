// The about box's texts: both versions, or what is missing.
#include "launcher/FrmAbout.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace mirota::test {
namespace {

class FakeVersions : public FileVersionSource {
public:
    bool FileExists(const std::string& path) const override { return files.count(path) != 0; }
    bool GetFileVersion(const std::string& path, TFileVersionNumbers& version) const override {
        auto it = files.find(path);
        if (it == files.end() || !it->second) return false;
        version = *it->second;
        return true;
    }
    std::map<std::string, std::optional<TFileVersionNumbers>> files;
};

class FakeAboutView : public FrmAboutView {
public:
    void SetPravikVersion(const std::string& text) override { pravik = text; }
    void SetOstrelVersion(const std::string& text) override { ostrel = text; }
    std::string pravik = "-", ostrel = "-";
};

TEST(FrmAboutTest, ShowsBothVersionsOrSaysWhatIsMissing) {
    struct Case {
        const char* name;
        std::optional<TFileVersionNumbers> launcher;
        bool ostrelPresent;
        std::optional<TFileVersionNumbers> ostrel;
        std::string expPravik, expOstrel;
    } cases[] = {
        {"both versioned", TFileVersionNumbers{2, 1, 0, 7}, true, TFileVersionNumbers{1, 0, 3, 12}, "2.1.0.7",
         "1.0.3.12"},
        {"large numbers", TFileVersionNumbers{65535, 10, 100, 0}, true, TFileVersionNumbers{0, 0, 0, 1},
         "65535.10.100.0", "0.0.0.1"},
        {"launcher without version", std::nullopt, true, TFileVersionNumbers{2, 1, 0, 7}, "0.0.0.0",
         "2.1.0.7"},
        {"Ostrel missing", TFileVersionNumbers{2, 1, 0, 7}, false, std::nullopt, "2.1.0.7", "missing"},
        {"Ostrel without version", TFileVersionNumbers{2, 1, 0, 7}, true, std::nullopt, "2.1.0.7",
         "no version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeVersions versions;
        versions.files["/opt/m/pravik"] = c.launcher;
        if (c.ostrelPresent) versions.files["/opt/m/ostrel"] = c.ostrel;
        FakeAboutView view;
        TfrmAboutFrame about(view, versions, "/opt/m/pravik", "/opt/m/ostrel");
        about.FormShow();
        EXPECT_EQ(view.pravik, c.expPravik);
        EXPECT_EQ(view.ostrel, c.expOstrel);
    }
}

} // namespace
} // namespace mirota::test
