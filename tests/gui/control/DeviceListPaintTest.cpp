// What the control screen's device information list shows on the screen while it is being filled
// (the device is asked for name and version meanwhile, well over a second): an empty white list, never
// an unpainted (black) area; then the rows, all at once. The pixels are read back from the window
// system, so that under a real X server what was painted is what is checked.
#include "control/ui/FrmMainOstrelWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

using namespace mirota;

namespace {

struct Pixels {
    int dark = 0;  // near black
    int white = 0; // the list's background
    int total = 0;
};

Pixels CountPixels(QWidget& window, QWidget& area) {
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    const QRect r(area.mapTo(&window, QPoint(0, 0)) * shot.devicePixelRatio(),
                  area.size() * shot.devicePixelRatio());
    const QImage image = shot.toImage().copy(r).convertToFormat(QImage::Format_RGB32);
    Pixels p;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            p.dark += qGray(c) < 48;
            p.white += qRed(c) > 245 && qGreen(c) > 245 && qBlue(c) > 245;
            ++p.total;
        }
    return p;
}

TEST(DeviceInformationList, IsWhiteAndEmptyWhileFilledThenShowsTheRows) {
    TfrmMainOstrelWindow window;
    auto* list = window.findChild<QTreeWidget*>("lvDeviceInformation");
    ASSERT_NE(list, nullptr);

    // As the logic fills it at the start: groups and first items, then the window is up while the
    // replies are awaited.
    window.BeginListUpdate();
    for (const char* group : {"Name", "Version", "Serialnumber", "Port"})
        window.AddGroup(group);
    window.AddItem(0, "");
    window.AddItem(0, "Mirota DMS 2000");
    window.AddItem(1, "");
    window.AddItem(2, "FT5X2KQ9");
    window.AddItem(3, "COM3");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(300);
    window.SetItemText(0, "DMS 2000"); // a reply during the fill
    QTest::qWait(100);

    const Pixels during = CountPixels(window, *list);
    ASSERT_GT(during.total, 0);
    EXPECT_EQ(during.dark, 0) << "unpainted list area";
    EXPECT_EQ(during.white, during.total) << "the list shows something before it is filled";
    EXPECT_EQ(list->topLevelItemCount(), 0);

    window.SetItemText(2, "2.31");
    window.EndListUpdate();
    QTest::qWait(200);
    ASSERT_EQ(list->topLevelItemCount(), 4);
    const QStringList groups{"Name", "Version", "Serialnumber", "Port"};
    const std::vector<QStringList> items{{"DMS 2000", "Mirota DMS 2000"}, {"2.31"}, {"FT5X2KQ9"}, {"COM3"}};
    for (int g = 0; g < 4; ++g) {
        QTreeWidgetItem* group = list->topLevelItem(g);
        EXPECT_EQ(group->text(0), groups[g]);
        EXPECT_TRUE(group->isExpanded());
        ASSERT_EQ(group->childCount(), items[g].size());
        for (int i = 0; i < group->childCount(); ++i)
            EXPECT_EQ(group->child(i)->text(0), items[g][i]);
    }
    const Pixels after = CountPixels(window, *list);
    EXPECT_LT(after.white, after.total) << "the rows are not on the screen";

    // Rows added outside an update appear at once.
    window.AddGroup("Extra");
    window.AddItem(4, "x");
    EXPECT_EQ(list->topLevelItemCount(), 5);
    EXPECT_TRUE(list->topLevelItem(4)->isExpanded());
}

TEST(DeviceInformationList, AWindowClosedDuringTheFillLeavesNothingBehind) {
    // The rows built for an unfinished update go with the window (AddressSanitizer finds a leak).
    auto window = std::make_unique<TfrmMainOstrelWindow>();
    window->BeginListUpdate();
    window->AddGroup("Name");
    window->AddItem(0, "Mirota DMS 2000");
    window.reset();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
