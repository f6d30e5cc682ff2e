// The numeric display: text formatting, the "same value does nothing" rule, accessibility.
#include "screen/ui/AnalogDisplay.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QSignalSpy>

#include <clocale>
#include <gtest/gtest.h>

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

} // namespace
} // namespace mirota
