#pragma once
// Pravik's about box, as logic: the file versions of the launcher and of the Ostrel beside it, each as
// major.minor.release.build in decimal.
//
// When Ostrel is missing, or its file carries no version, the box says so instead of a version.
#include "messages/FileVersion.h"

#include <string>

namespace mirota {

// A program file's version under the about box's name; VersionText gives its text.
using TFileVersionNumbers = FileVersion;

class FileVersionSource {
public:
    virtual ~FileVersionSource() = default;
    virtual bool FileExists(const std::string& path) const = 0;
    // True when the file carries a version; the numbers are then set, otherwise left unchanged.
    virtual bool GetFileVersion(const std::string& path, TFileVersionNumbers& version) const = 0;
};

// The platform's file status and version of a program file: the version marker the file carries on
// Linux, the file's version resource on Windows (platform/<os>/fileinfo).
class ProgramFileVersionSource : public FileVersionSource {
public:
    bool FileExists(const std::string& path) const override;
    bool GetFileVersion(const std::string& path, TFileVersionNumbers& version) const override;
};

class FrmAboutView {
public:
    virtual ~FrmAboutView() = default;
    virtual void SetPravikVersion(const std::string& text) = 0;
    virtual void SetOstrelVersion(const std::string& text) = 0;
};

inline const std::string kAboutCaption = "Information about Pravik";
inline const std::string kOstrelMissingText = "missing";
inline const std::string kOstrelNoVersionText = "no version";

class TfrmAboutFrame {
public:
    // launcherPath: the running launcher's file; ostrelPath: the control program beside it.
    TfrmAboutFrame(FrmAboutView& view, const FileVersionSource& versions, std::string launcherPath,
                   std::string ostrelPath);

    void FormShow();

private:
    FrmAboutView& FView;
    const FileVersionSource& FVersions;
    std::string FLauncherPath;
    std::string FOstrelPath;
};

} // namespace mirota
