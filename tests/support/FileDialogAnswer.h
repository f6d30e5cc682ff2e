#pragma once
// Answers the file dialog that the code under test opens next, as a user would: records where it
// started (its folder and the file it proposed) and accepts `answer`. Qt's own dialog is expected:
// the tests' platform has no native one, and the tests' main asks for Qt::AA_DontUseNativeDialogs.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QString>
#include <QTimer>

namespace mirota::test {

struct FileDialogSeen {
    bool shown = false;
    QString folder;
    QString proposed; // the file selected when it opened
};

inline void AnswerNextFileDialog(FileDialogSeen& seen, const QString& answer) {
    QTimer::singleShot(50, [&seen, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            if (modal) modal->close(); // the test fails instead of waiting for ever
            return;
        }
        seen.shown = true;
        seen.folder = dialog->directory().absolutePath();
        seen.proposed = dialog->selectedFiles().value(0);
        // Typed into the name field, as a user would.
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->setText(answer);
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's own Save button does
    });
}

} // namespace mirota::test
