#pragma once
// TiAnalogDisplay: a numeric display. It shows Value with exactly Precision decimals ("." as the
// decimal separator whatever the locale, no thousands separator) followed by the units text,
// right-aligned with a 5 pixel margin (or centred), bold Arial 19 px, in its font colour on its
// background colour, without border. Setting the value it already holds does nothing. The text (and
// what assistive technology reads) changes at once; the paint of a new value may wait up to 100 ms,
// shared by all displays, so a stream of values costs a few window updates a second.
//
// Accessibility: a static text (a label to screen readers) named by its caption (AccessibleName,
// default the object name). The shown text, precision and units included, is its description and its
// text (QAccessibleTextInterface, what AT-SPI reads); the value text is the formatted number, and the
// number itself is exposed through QAccessibleValueInterface.
#include <QColor>
#include <QString>
#include <QWidget>

#include <string>

namespace mirota {

// The display's text for a value: fixed notation with `precision` decimals and "." always.
std::string FormatDisplayValue(double value, int precision);

class TiAnalogDisplay : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double value READ Value WRITE SetValue NOTIFY ValueChanged)

public:
    explicit TiAnalogDisplay(QWidget* parent = nullptr);

    double Value() const { return value_; }
    // Stores and shows v; does nothing when v equals the value held.
    void SetValue(double v);

    int Precision() const { return precision_; }
    void SetPrecision(int precision);

    const QString& Units() const { return units_; }
    void SetUnits(const QString& units);

    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& color);
    QColor BackGroundColor() const { return backColor_; }
    void SetBackGroundColor(const QColor& color);

    // Centred text instead of right-aligned with a margin.
    bool Centred() const { return centred_; }
    void SetCentred(bool centred);

    // The text shown: the formatted value followed by the units.
    QString Text() const;

    QSize sizeHint() const override;

signals:
    void ValueChanged(double value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Changed();

    double value_ = 0.0;
    int precision_ = 4;
    QString units_;
    QColor fontColor_ = Qt::black;
    QColor backColor_ = Qt::white;
    QString text_;
    bool centred_ = false;
};

} // namespace mirota
