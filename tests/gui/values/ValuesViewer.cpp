// A small program that opens the values window against an in-process scripted device under the Qt
// loop, for looking at the window (screenshots) before and apart from the full application.
//   values_viewer [description] [seconds] [screenshot.png]
#include "values/ui/FrmValuesWindow.h"

#include "../../support/ScreenFakes.h"
#include "../../unit/values/LineDevice.h"
#include "control/ui/QtDialogs.h"
#include "loop/qt/QtMessageLoop.h"
#include "values/ui/ValuePlot.h"

#include <QApplication>
#include <QCheckBox>
#include <QScreen>
#include <QTimer>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

std::string Number(double v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
    return std::string(buf, r.ptr);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string description = argc > 1 ? argv[1] : "Mirota DMS";
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 0;
    const QString shot = argc > 3 ? QString(argv[3]) : QString();

    mirota::QtMessageLoop loop;
    mirota::testing::LineDevice device(loop);
    device.StreamEveryMs = 6; // about 160 packets a second
    int n = 0;
    device.StreamBody = [&] {
        const double t = loop.TickCount() / 1000.0;
        const int value = n++ % 6 + 1;
        double v = 0;
        switch (value) {
        case 1:
            v = 12.5 + 4 * std::sin(t * 0.9) + 0.3 * std::sin(t * 7.1);
            break;
        case 2:
            v = -3.2 + 1.5 * std::sin(t * 0.4 + 1);
            break;
        case 3:
            v = 1500 + 300 * std::sin(t * 0.25);
            break;
        case 4:
            v = 1480 + 290 * std::sin(t * 0.25 - 0.2);
            break;
        case 5:
            v = std::fmod(t * 90, 360);
            break;
        case 6:
            v = 90 + 5 * std::sin(t * 2.3);
            break;
        }
        return std::to_string(value) + Number(v);
    };
    mirota::TComPort port(loop, device.MakeBackend());
    port.Open();
    mirota::test::FakeHost host;
    host.onClosing = [](bool) { QTimer::singleShot(0, qApp, &QApplication::quit); };
    mirota::QtDialogs dialogs;
    mirota::ScreenArgs args{host, loop, dialogs, &port, description, "FT12AB34", 0};
    const std::filesystem::path cfg =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "_cfg";
    mirota::TfrmValuesFrameView window(
        args, std::filesystem::exists(cfg) ? cfg : std::filesystem::path(MIROTA_DATA_CFG));
    dialogs.SetOwner(&window);
    for (int i = 0; i < 6; ++i)
        window.Box(i)->setChecked(window.Panel(i)->isVisibleTo(&window));
    window.Show();
    window.move(0, 0);
    if (seconds > 0) {
        QTimer::singleShot(seconds * 1000, &app, [&] {
            if (!shot.isEmpty()) {
                window.PlotWidget()->ReplotNow();
                window.grab().save(shot);
            }
            app.quit();
        });
    }
    return app.exec();
}
