#include "screen/ui/Look.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace mirota::look {

QFont ArialFont(int pixelSize, bool bold) {
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

void Fill(QWidget* widget, const QColor& colour) {
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, colour);
    widget->setPalette(pal);
}

QPixmap MakeLogo() {
    QPixmap p(kLogoWidth, kLogoHeight);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    // A stylised rotor: three blades around a hub, then the family name.
    const QPointF hub(32, 32);
    g.setPen(Qt::NoPen);
    g.setBrush(Teal());
    for (int i = 0; i < 3; ++i) {
        g.save();
        g.translate(hub);
        g.rotate(i * 120.0);
        QPainterPath blade;
        blade.moveTo(0, -6);
        blade.cubicTo(10, -20, 22, -16, 24, -4);
        blade.cubicTo(16, -8, 8, -4, 0, 6);
        blade.closeSubpath();
        g.drawPath(blade);
        g.restore();
    }
    g.setBrush(Grey());
    g.drawEllipse(hub, 6, 6);
    QFont f = ArialFont(34, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    g.setFont(f);
    g.setPen(Grey());
    g.drawText(QRectF(62, 4, 140, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("MIROTA"));
    g.setFont(ArialFont(10, false));
    g.setPen(Teal());
    g.drawText(QRectF(63, 44, 140, 16), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("measuring electronics"));
    return p;
}

QLabel* MakeLogoLabel(QWidget* parent, const char* objectName) {
    auto* logo = new QLabel(parent);
    logo->setObjectName(QString::fromLatin1(objectName));
    logo->setAccessibleName(QStringLiteral("Mirota logo"));
    logo->setPixmap(MakeLogo());
    logo->setFixedSize(kLogoWidth, kLogoHeight);
    return logo;
}

QWidget* MakeLogoPanel(QWidget* parent, const char* panelName, const char* logoName) {
    auto* top = new QWidget(parent);
    top->setObjectName(QString::fromLatin1(panelName));
    top->setFixedHeight(kLogoHeight);
    Fill(top, Qt::white);
    auto* layout = new QHBoxLayout(top);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(MakeLogoLabel(top, logoName));
    layout->addStretch(1);
    return top;
}

QWidget* MakeBar(QWidget* parent, const char* objectName, int height, const QColor& colour) {
    auto* bar = new QWidget(parent);
    bar->setObjectName(QString::fromLatin1(objectName));
    bar->setFixedHeight(height);
    Fill(bar, colour);
    return bar;
}

QWidget* AddTopStrip(QVBoxLayout* root, QWidget* parent) {
    root->addWidget(MakeLogoPanel(parent, "pnlTop", "imgLogo"));
    QWidget* bar = MakeBar(parent, "pnlBar", kBarHeight, Teal());
    root->addWidget(bar);
    return bar;
}

} // namespace mirota::look
