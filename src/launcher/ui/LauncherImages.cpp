#include "launcher/ui/LauncherImages.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace mirota {

namespace {
const QColor kTeal(0, 135, 132);
const QColor kSlate(77, 115, 124);
} // namespace

QPixmap CompanyLogo(int width, int height, bool onWhite) {
    QPixmap pixmap(width, height);
    pixmap.fill(onWhite ? Qt::white : Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const int mark = height * 6 / 10;
    const QRectF square(12, (height - mark) / 2.0, mark, mark);
    p.setPen(Qt::NoPen);
    p.setBrush(kTeal);
    p.drawRoundedRect(square, 4, 4);
    QPainterPath wave;
    wave.moveTo(square.left() + 4, square.center().y());
    wave.cubicTo(square.left() + mark * 0.35, square.top() + 2, square.left() + mark * 0.65,
                 square.bottom() - 2, square.right() - 4, square.center().y());
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    QFont font("Arial");
    font.setBold(true);
    font.setPixelSize(height * 4 / 10);
    p.setFont(font);
    p.setPen(kSlate);
    p.drawText(QRectF(square.right() + 10, 0, width - square.right() - 10, height),
               Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("MIROTA"));
    return pixmap;
}

QVector<QPixmap> NavbarImages() {
    QVector<QPixmap> images;
    for (int i = 0; i < 2; ++i) {
        QPixmap pixmap(30, 30);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(3, 3, 24, 24));
        QFont font("Arial");
        font.setBold(true);
        font.setPixelSize(17);
        p.setFont(font);
        p.drawText(QRectF(3, 3, 24, 24), Qt::AlignCenter, i == 1 ? QStringLiteral("i") : QStringLiteral("?"));
        images.push_back(pixmap);
    }
    return images;
}

} // namespace mirota
