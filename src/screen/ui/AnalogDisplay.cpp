#include "screen/ui/AnalogDisplay.h"

#include "screen/ui/Look.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace mirota {

std::string FormatDisplayValue(double value, int precision) {
    precision = std::clamp(precision, 0, 17);
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
    if (res.ec != std::errc()) return {};
    return std::string(buf, res.ptr);
}

namespace {

// A static text to assistive technology: the Qt AT-SPI bridge reports it as a label whose text is the
// shown text; the number stays reachable through the value interface.
class AccessibleAnalogDisplay : public QAccessibleWidget,
                                public QAccessibleValueInterface,
                                public QAccessibleTextInterface {
public:
    explicit AccessibleAnalogDisplay(TiAnalogDisplay* w) : QAccessibleWidget(w, QAccessible::StaticText) {}

    TiAnalogDisplay* display() const { return static_cast<TiAnalogDisplay*>(widget()); }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name: {
            QString n = display()->accessibleName();
            return n.isEmpty() ? display()->objectName() : n;
        }
        case QAccessible::Value:
        case QAccessible::Description:
            return display()->Text();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // QAccessibleValueInterface
    QVariant currentValue() const override { return display()->Value(); }
    void setCurrentValue(const QVariant&) override {} // a display is read-only
    QVariant maximumValue() const override { return std::numeric_limits<double>::max(); }
    QVariant minimumValue() const override { return std::numeric_limits<double>::lowest(); }
    QVariant minimumStepSize() const override { return std::pow(10.0, -display()->Precision()); }

    // QAccessibleTextInterface: the shown text, read-only, without selection or caret.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        const QString shown = display()->Text();
        startOffset = std::clamp(startOffset, 0, static_cast<int>(shown.size()));
        endOffset = endOffset < 0 ? static_cast<int>(shown.size())
                                  : std::clamp(endOffset, startOffset, static_cast<int>(shown.size()));
        return shown.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(display()->Text().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }
};

QAccessibleInterface* DisplayFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("mirota::TiAnalogDisplay") && object && object->isWidgetType())
        return new AccessibleAnalogDisplay(static_cast<TiAnalogDisplay*>(object));
    return nullptr;
}

// New values are painted at most kPaintIntervalMs apart, all displays in one frame: at the line's
// full rate the six values change about 160 times a second, and painting each change on its own
// costs a window update each time for digits nobody can read that fast. A change after a quiet
// period is painted at once; changes during the interval wait for its end, the newest text wins.
constexpr int kPaintIntervalMs = 100;

class PaintPacer : public QObject {
public:
    explicit PaintPacer(QObject* parent) : QObject(parent) {
        timer_.setInterval(kPaintIntervalMs);
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (pending_.empty()) {
                timer_.stop(); // quiet: the next change is painted at once
                return;
            }
            const auto displays = std::move(pending_);
            pending_.clear();
            for (const QPointer<QWidget>& w : displays)
                if (w) w->update();
        });
    }

    static PaintPacer& Instance() {
        static QPointer<PaintPacer> pacer; // one per application object
        if (!pacer) pacer = new PaintPacer(QCoreApplication::instance());
        return *pacer;
    }

    void Request(QWidget* w) {
        if (!timer_.isActive()) {
            w->update();
            timer_.start();
            return;
        }
        for (const QPointer<QWidget>& p : pending_)
            if (p == w) return;
        pending_.emplace_back(w);
    }

private:
    QTimer timer_;
    std::vector<QPointer<QWidget>> pending_;
};

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
    setFont(look::ArialFont(19, true));
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

void TiAnalogDisplay::SetCentred(bool centred) {
    centred_ = centred;
    update();
}

void TiAnalogDisplay::Changed() {
    QString t = Text();
    if (t == text_) return; // same text: nothing to repaint
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent textEvent(this, 0, text_, t);
        QAccessible::updateAccessibility(&textEvent);
        QAccessibleEvent descriptionEvent(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&descriptionEvent);
    }
    text_ = std::move(t);
    PaintPacer::Instance().Request(this);
}

QSize TiAnalogDisplay::sizeHint() const {
    return {128, 25};
}

void TiAnalogDisplay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), backColor_);
    p.setPen(fontColor_);
    p.setFont(font());
    if (centred_)
        p.drawText(rect(), Qt::AlignCenter, text_);
    else
        p.drawText(rect().adjusted(5, 0, -5, 0), Qt::AlignRight | Qt::AlignVCenter, text_);
}

} // namespace mirota
