#include "screen/ui/DialogFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace mirota {

namespace {

QString& LastFolder() {
    static QString folder;
    return folder;
}

} // namespace

QString DialogFolder() {
    if (!LastFolder().isEmpty() && QFileInfo(LastFolder()).isDir()) return LastFolder();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
    return QDir::homePath();
}

QString InDialogFolder(const QString& name) {
    if (QFileInfo(name).isAbsolute()) return name;
    return QDir(DialogFolder()).filePath(name);
}

void RememberDialogFolder(const QString& file) {
    if (file.isEmpty()) return;
    LastFolder() = QFileInfo(file).absolutePath();
}

} // namespace mirota
