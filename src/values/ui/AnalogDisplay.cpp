#include "values/ui/AnalogDisplay.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace mirota {

std::string FormatDisplayValue(double value, int precision) {
    precision = std::clamp(precision, 0, 17);
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
    if (res.ec != std::errc()) return {};
    return std::string(buf, res.ptr);
}

namespace {

class AccessibleAnalogDisplay : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleAnalogDisplay(TiAnalogDisplay* w) : QAccessibleWidget(w, QAccessible::Indicator) {}

    TiAnalogDisplay* display() const { return static_cast<TiAnalogDisplay*>(widget()); }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name: {
            QString n = display()->accessibleName();
            return n.isEmpty() ? display()->objectName() : n;
        }
        case QAccessible::Value:
            return display()->Text();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QVariant currentValue() const override { return display()->Value(); }
    void setCurrentValue(const QVariant&) override {} // a display is read-only
    QVariant maximumValue() const override { return std::numeric_limits<double>::max(); }
    QVariant minimumValue() const override { return std::numeric_limits<double>::lowest(); }
    QVariant minimumStepSize() const override { return std::pow(10.0, -display()->Precision()); }
};

QAccessibleInterface* DisplayFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("mirota::TiAnalogDisplay") && object && object->isWidgetType())
        return new AccessibleAnalogDisplay(static_cast<TiAnalogDisplay*>(object));
    return nullptr;
}

void InstallFactoryOnce() {
    static const bool installed = [] {
        QAccessible::installFactory(DisplayFactory);
        return true;
    }();
    (void)installed;
}

} // namespace

TiAnalogDisplay::TiAnalogDisplay(QWidget* parent) : QWidget(parent) {
    InstallFactoryOnce();
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(19);
    f.setBold(true);
    setFont(f);
    setAttribute(Qt::WA_OpaquePaintEvent);
    text_ = Text();
}

void TiAnalogDisplay::SetValue(double v) {
    if (v == value_) return;
    value_ = v;
    Changed();
    emit ValueChanged(v);
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent ev(this, v);
        QAccessible::updateAccessibility(&ev);
    }
}

void TiAnalogDisplay::SetPrecision(int precision) {
    if (precision == precision_) return;
    precision_ = precision;
    Changed();
}

void TiAnalogDisplay::SetUnits(const QString& units) {
    if (units == units_) return;
    units_ = units;
    Changed();
}

void TiAnalogDisplay::SetFontColor(const QColor& color) {
    fontColor_ = color;
    update();
}

void TiAnalogDisplay::SetBackGroundColor(const QColor& color) {
    backColor_ = color;
    update();
}

QString TiAnalogDisplay::Text() const {
    return QString::fromStdString(FormatDisplayValue(value_, precision_)) + units_;
}

void TiAnalogDisplay::Changed() {
    QString t = Text();
    if (t == text_) return; // same text: nothing to repaint
    text_ = std::move(t);
    update();
}

QSize TiAnalogDisplay::sizeHint() const { return {128, 25}; }

void TiAnalogDisplay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), backColor_);
    p.setPen(fontColor_);
    p.setFont(font());
    p.drawText(rect().adjusted(5, 0, -5, 0), Qt::AlignRight | Qt::AlignVCenter, text_);
}

} // namespace mirota
