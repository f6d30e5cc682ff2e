// The numeric display: text formatting, the "same value does nothing" rule, accessibility.
#include "screen/ui/AnalogDisplay.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <clocale>
#include <gtest/gtest.h>
#include <vector>

namespace mirota {
namespace {

struct FormatCase {
    double value;
    int precision;
    const char* text;
};

TEST(FormatDisplayValue, FixedDecimalsWithPointWhateverTheLocale) {
    // A comma locale must not leak into the display.
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    const FormatCase cases[] = {
        {0.0, 4, "0.0000"}, {-0.5, 4, "-0.5000"},  {12.34567, 4, "12.3457"}, {1234567.0, 4, "1234567.0000"},
        {2.5, 0, "2"},      {-1e-9, 4, "-0.0000"}, {230.0, 1, "230.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDisplayValue(c.value, c.precision), c.text) << c.value;
    std::setlocale(LC_ALL, "C");
}

class AnalogDisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char arg0[] = "test";
        static char* argv[] = {arg0, nullptr};
        if (!qApp) new QApplication(argc, argv);
    }
};

TEST_F(AnalogDisplayTest, ShowsValuePrecisionAndUnits) {
    TiAnalogDisplay d;
    EXPECT_EQ(d.Value(), 0.0);
    EXPECT_EQ(d.Text(), "0.0000");
    d.SetValue(-0.5);
    EXPECT_EQ(d.Text(), "-0.5000");
    d.SetPrecision(1);
    d.SetUnits(" V");
    EXPECT_EQ(d.Text(), "-0.5 V");
    EXPECT_TRUE(d.font().bold());
    EXPECT_EQ(d.font().pixelSize(), 19);
}

TEST_F(AnalogDisplayTest, SettingTheHeldValueDoesNothing) {
    TiAnalogDisplay d;
    QSignalSpy spy(&d, &TiAnalogDisplay::ValueChanged);
    d.SetValue(0.0);
    EXPECT_EQ(spy.count(), 0);
    d.SetValue(3.25);
    d.SetValue(3.25);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(AnalogDisplayTest, ExposesNameAndValueToAccessibility) {
    TiAnalogDisplay d;
    d.setObjectName("adspTorque1");
    d.SetValue(12.5);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&d);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Name), "adspTorque1");
    d.setAccessibleName("Torque 1");
    EXPECT_EQ(iface->text(QAccessible::Name), "Torque 1");
    EXPECT_EQ(iface->text(QAccessible::Value), "12.5000");
    QAccessibleValueInterface* value = iface->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 12.5);
}

// Records what a display showed at each of its paints.
struct PaintLog : QObject {
    std::vector<QString> texts;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) texts.push_back(static_cast<TiAnalogDisplay*>(o)->Text());
        return false;
    }
};

TEST_F(AnalogDisplayTest, AStreamOfValuesIsPaintedPacedAndTheNewestValueAlwaysShows) {
    QWidget window;
    auto* a = new TiAnalogDisplay(&window);
    auto* b = new TiAnalogDisplay(&window);
    b->move(0, 40);
    PaintLog logA, logB;
    a->installEventFilter(&logA);
    b->installEventFilter(&logB);
    window.show();
    auto settle = [] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 300)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    settle();
    logA.texts.clear();
    logB.texts.clear();

    a->SetValue(1); // after a quiet while: painted at once
    QApplication::processEvents();
    ASSERT_EQ(logA.texts, std::vector<QString>{"1.0000"});
    // A burst, events handled between the values as between packets: the text follows every value,
    // the paints come once per interval.
    QElapsedTimer burst;
    burst.start();
    for (int i = 2; i <= 40; ++i) {
        a->SetValue(i);
        b->SetValue(-i);
        EXPECT_EQ(a->Text(), QString::number(i) + ".0000");
        QApplication::processEvents();
    }
    const auto intervals = static_cast<std::size_t>(burst.elapsed() / 100);
    settle();
    ASSERT_FALSE(logA.texts.empty());
    EXPECT_EQ(logA.texts.back(), "40.0000");
    ASSERT_FALSE(logB.texts.empty());
    EXPECT_EQ(logB.texts.back(), "-40.0000");
    EXPECT_LE(logA.texts.size(), intervals + 3) << "a paint per change";

    a->SetValue(41);  // at once, and the interval begins
    b->SetValue(-41); // waits for the interval's end ...
    delete b;         // ... but goes away before it
    settle();
    EXPECT_EQ(logA.texts.back(), "41.0000");
}

} // namespace
} // namespace mirota
