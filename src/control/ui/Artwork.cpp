#include "control/ui/Artwork.h"

#include "screen/ui/Look.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace mirota {

namespace {

QPixmap Blank(int w, int h) {
    QPixmap p(w, h);
    p.fill(Qt::transparent);
    return p;
}

void DrawValues(QPainter& g, const QColor& c) {
    // A dial with a needle and a short curve below it.
    g.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap));
    g.drawArc(QRectF(10, 8, 50, 50), 30 * 16, 120 * 16);
    g.drawArc(QRectF(10, 8, 50, 50), 150 * 16, 60 * 16);
    g.drawArc(QRectF(10, 8, 50, 50), -30 * 16, 60 * 16);
    g.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(QPointF(35, 33), QPointF(50, 17));
    g.setBrush(c);
    g.drawEllipse(QPointF(35, 33), 4, 4);
    g.setBrush(Qt::NoBrush);
    QPainterPath wave;
    wave.moveTo(14, 54);
    for (int x = 14; x <= 56; ++x)
        wave.lineTo(x, 54 - 3 * std::sin((x - 14) / 42.0 * 6.283));
    g.setPen(QPen(c, 2));
    g.drawPath(wave);
}

void DrawPower(QPainter& g, const QColor& c) {
    // A lightning bolt in a ring.
    g.setPen(QPen(c, 4));
    g.drawEllipse(QRectF(9, 6, 52, 52));
    QPainterPath bolt;
    bolt.moveTo(39, 12);
    bolt.lineTo(24, 35);
    bolt.lineTo(34, 35);
    bolt.lineTo(29, 53);
    bolt.lineTo(46, 28);
    bolt.lineTo(36, 28);
    bolt.closeSubpath();
    g.setPen(Qt::NoPen);
    g.setBrush(c);
    g.drawPath(bolt);
}

void DrawSettings(QPainter& g, const QColor& c) {
    // A gear: eight teeth around a ring.
    const QPointF centre(35, 32);
    g.setPen(Qt::NoPen);
    g.setBrush(c);
    for (int i = 0; i < 8; ++i) {
        g.save();
        g.translate(centre);
        g.rotate(i * 45.0);
        g.drawRoundedRect(QRectF(-5, -28, 10, 14), 2, 2);
        g.restore();
    }
    QPainterPath ring;
    ring.addEllipse(centre, 19, 19);
    ring.addEllipse(centre, 8, 8);
    g.drawPath(ring);
}

void DrawTerminal(QPainter& g, const QColor& c) {
    // A screen with a prompt and a cursor.
    g.setPen(QPen(c, 4));
    g.setBrush(Qt::NoBrush);
    g.drawRoundedRect(QRectF(7, 8, 56, 40), 4, 4);
    g.drawLine(QPointF(27, 56), QPointF(43, 56));
    g.drawLine(QPointF(35, 48), QPointF(35, 56));
    g.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    g.drawPolyline(QPolygonF({QPointF(16, 19), QPointF(25, 27), QPointF(16, 35)}));
    g.drawLine(QPointF(29, 36), QPointF(42, 36));
}

} // namespace

std::vector<QPixmap> MakeIconList(bool hover) {
    const QColor c = hover ? look::Teal() : look::Grey();
    std::vector<QPixmap> list;
    for (auto draw : {DrawValues, DrawPower, DrawSettings, DrawTerminal}) {
        QPixmap p = Blank(70, 63);
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        draw(g, c);
        list.push_back(p);
    }
    return list;
}

} // namespace mirota
