#include "launcher/FrmAbout.h"

namespace mirota {

TfrmAboutFrame::TfrmAboutFrame(FrmAboutView& view, const FileVersionSource& versions,
                               std::string launcherPath, std::string ostrelPath)
    : FView(view), FVersions(versions), FLauncherPath(std::move(launcherPath)),
      FOstrelPath(std::move(ostrelPath)) {}

void TfrmAboutFrame::FormShow() {
    TFileVersionNumbers own;
    FVersions.GetFileVersion(FLauncherPath, own); // a launcher without a version shows 0.0.0.0
    FView.SetPravikVersion(VersionText(own));

    TFileVersionNumbers ostrel;
    if (!FVersions.FileExists(FOstrelPath))
        FView.SetOstrelVersion(kOstrelMissingText);
    else if (!FVersions.GetFileVersion(FOstrelPath, ostrel))
        FView.SetOstrelVersion(kOstrelNoVersionText);
    else
        FView.SetOstrelVersion(VersionText(ostrel));
}

} // namespace mirota
