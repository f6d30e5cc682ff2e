#include "control/ui/QtDialogs.h"

#include "screen/ShownText.h"
#include "screen/ui/Look.h"

#include <QApplication>
#include <QEventLoop>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace mirota {

namespace {

QString Plain(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

// How a box takes the input: modal to its window (the application's dialogs) or, for the owner-less
// system boxes, not at all: the other windows stay usable while it waits for its answer.
enum class Blocking { Modal, None };

DialogResult Run(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const std::string& text,
                 DialogButtons buttons, Blocking blocking) {
    QMessageBox box(icon, look::VisibleTitle(caption), Plain(text), QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    box.setAccessibleName(caption);
    box.setAccessibleDescription(Plain(text));
    QPushButton* ok = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    if (buttons == DialogButtons::YesNo) {
        yes = box.addButton(QString::fromUtf8(kButtonYes), QMessageBox::YesRole);
        no = box.addButton(QString::fromUtf8(kButtonNo), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
    } else {
        ok = box.addButton(QString::fromUtf8(kButtonOk), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    }
    for (QAbstractButton* b : box.buttons())
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));
    if (blocking == Blocking::Modal) {
        box.exec();
    } else {
        // The caller still waits for the answer, in a local event loop; the screens' buttons, packets
        // and ticks keep being handled meanwhile.
        box.setWindowModality(Qt::NonModal);
        QEventLoop wait;
        QObject::connect(&box, &QMessageBox::finished, &wait, &QEventLoop::quit);
        box.show();
        box.raise();
        box.activateWindow();
        wait.exec();
    }
    QAbstractButton* clicked = box.clickedButton();
    if (buttons == DialogButtons::YesNo) return clicked == yes ? DialogResult::Yes : DialogResult::No;
    return DialogResult::Ok;
}

QMessageBox::Icon IconOf(DialogKind kind) {
    switch (kind) {
    case DialogKind::Error:
        return QMessageBox::Critical;
    case DialogKind::Warning:
        return QMessageBox::Warning;
    case DialogKind::Information:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

DialogResult QtDialogs::ShowDialog(DialogKind kind, const std::string& text, DialogButtons buttons) {
    const char* caption = kind == DialogKind::Error     ? kCaptionError
                          : kind == DialogKind::Warning ? kCaptionWarning
                                                        : kCaptionInformation;
    QWidget* parent = owner_ && owner_->isVisible() ? owner_ : QApplication::activeWindow();
    return Run(parent, IconOf(kind), QString::fromUtf8(caption), text, buttons, Blocking::Modal);
}

DialogResult QtDialogs::ShowSystemBox(const std::string& text, const std::string& caption, DialogKind icon,
                                      DialogButtons buttons) {
    return Run(nullptr, IconOf(icon), QString::fromStdString(caption), text, buttons, Blocking::None);
}

std::optional<std::string> QtDialogs::InputBox(const std::string& caption, const std::string& prompt,
                                               const std::string& value) {
    QInputDialog dialog(owner_ && owner_->isVisible() ? owner_ : QApplication::activeWindow());
    dialog.setWindowTitle(look::VisibleTitle(QString::fromStdString(caption)));
    dialog.setLabelText(Plain(prompt));
    // A value of megabytes would stall the line's layout (and the line holds 32767 characters at most):
    // it is shown cut short and comes back whole unless the user changed the text.
    const QString shown = QString::fromStdString(ShownText(value));
    dialog.setTextValue(shown);
    dialog.setOkButtonText(QString::fromUtf8(kButtonOk));
    dialog.setCancelButtonText(QString::fromUtf8(kButtonCancel));
    dialog.setAccessibleName(QString::fromStdString(caption));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QString typed = dialog.textValue();
    if (typed == shown) return value;
    return typed.toStdString();
}

} // namespace mirota
