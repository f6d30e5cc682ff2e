#pragma once
// Colours and fonts of the control screen.
#include <QColor>
#include <QFont>
#include <QStringList>

namespace mirota::look {

inline QColor Teal() { return QColor(0, 135, 132); }
inline QColor Grey() { return QColor(93, 101, 108); }

// Arial where installed, else a metric-compatible substitute.
inline QFont ArialFont(int pixelSize, bool bold) {
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

} // namespace mirota::look
