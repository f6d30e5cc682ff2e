#include "messages/qt/DesktopIdentity.h"

#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QString>

namespace mirota {

void ApplyDesktopIdentity(const char* desktopId) {
    const QString id = QString::fromLatin1(desktopId);
    QGuiApplication::setDesktopFileName(id);
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(":/icons/%1/%2.png").arg(size).arg(id);
        if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
    }
    if (!icon.isNull()) QGuiApplication::setWindowIcon(icon);
}

} // namespace mirota
