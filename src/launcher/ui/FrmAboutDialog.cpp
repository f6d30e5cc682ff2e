#include "launcher/ui/FrmAboutDialog.h"

#include "launcher/ui/LauncherImages.h"

#include <QLabel>
#include <QScreen>

namespace mirota {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QFont font("Arial");
    font.setPixelSize(13);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(93, 101, 108));
    label->setPalette(palette);
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

TfrmAboutDialog::TfrmAboutDialog(QWidget* owner, std::string launcherPath, std::string ostrelPath)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      FLogic(*this, FVersions, std::move(launcherPath), std::move(ostrelPath)) {
    setObjectName(QStringLiteral("frmAboutFrame"));
    setWindowTitle(QString::fromStdString(kAboutCaption));
    setFixedSize(203, 147);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setFont(QFont("Tahoma"));

    imgCompanyLogo = new QLabel(this);
    imgCompanyLogo->setObjectName(QStringLiteral("imgCompanyLogo"));
    imgCompanyLogo->setGeometry(0, 2, 202, 80);
    imgCompanyLogo->setAlignment(Qt::AlignCenter);
    imgCompanyLogo->setPixmap(CompanyLogo(180, 56, true));
    imgCompanyLogo->setAccessibleName(QStringLiteral("Logo"));

    lblPravikVersionTitle =
        MakeLabel(this, "lblPravikVersionTitle", QStringLiteral("Pravik VERSION:"), 8, 91, true);
    lblPravikVersion = MakeLabel(this, "lblPravikVersion", QString(), 145, 91, false);
    lblOstrelVersionsTitle =
        MakeLabel(this, "lblOstrelVersionsTitle", QStringLiteral("Ostrel VERSION:"), 8, 113, true);
    lblOstrelVersion = MakeLabel(this, "lblOstrelVersion", QString(), 145, 113, false);
}

void TfrmAboutDialog::SetPravikVersion(const std::string& text) {
    lblPravikVersion->setText(QString::fromStdString(text));
    lblPravikVersion->adjustSize();
}

void TfrmAboutDialog::SetOstrelVersion(const std::string& text) {
    lblOstrelVersion->setText(QString::fromStdString(text));
    lblOstrelVersion->adjustSize();
}

void TfrmAboutDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!bShown) {
        bShown = true;
        FLogic.FormShow();
        if (QWidget* owner = parentWidget()) move(owner->geometry().center() - rect().center());
    }
}

} // namespace mirota
