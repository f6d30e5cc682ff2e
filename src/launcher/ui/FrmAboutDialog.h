#pragma once
// The about box on Qt Widgets: "Information about Pravik" with the versions of both programs.
#include "launcher/FrmAbout.h"

#include <QDialog>

class QLabel;

namespace mirota {

class TfrmAboutDialog : public QDialog, public FrmAboutView {
    Q_OBJECT
public:
    // launcherPath, ostrelPath: the files whose versions are shown.
    TfrmAboutDialog(QWidget* owner, std::string launcherPath, std::string ostrelPath);

    void SetPravikVersion(const std::string& text) override;
    void SetOstrelVersion(const std::string& text) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ProgramFileVersionSource FVersions;
    TfrmAboutFrame FLogic;
    bool bShown = false;
    QLabel* imgCompanyLogo;
    QLabel* lblPravikVersionTitle;
    QLabel* lblPravikVersion;
    QLabel* lblOstrelVersionsTitle;
    QLabel* lblOstrelVersion;
};

} // namespace mirota
