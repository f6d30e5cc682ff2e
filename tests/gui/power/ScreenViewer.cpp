// Opens the power or the terminal screen against the in-process device simulator under the Qt loop,
// to look at and use the windows by hand (and for screenshots under Xvfb):
//   screen_viewer power|terminal [serial]
// Closing the screen ends the program.
#include "power/ui/FrmPowerWindow.h"
#include "terminal/ui/FrmTerminalWindow.h"

#include "../../support/ScreenFakes.h"
#include "control/ui/QtDialogs.h"
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/qt/QtMessageLoop.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

using namespace mirota;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool terminal = argc > 1 && std::strcmp(argv[1], "terminal") == 0;
    const std::string serial = argc > 2 ? argv[2] : "FT5X1A";
    QtMessageLoop loop;
    devsim::DeviceSimulator device(loop);
    TComPort port(loop, devsim::MakeSimulatedBackend(device));
    port.Open();
    test::FakeHost host;
    host.onClosing = [](bool aErrorOccures) {
        std::printf("ClosingCurrentFrame(%s)\n", aErrorOccures ? "true" : "false");
        std::fflush(stdout);
        QApplication::exit(aErrorOccures ? 1 : 0);
    };
    QtDialogs dialogs;
    const ScreenArgs args{host, loop, dialogs, &port, "Mirota DMS", serial, 31};
    std::unique_ptr<HostedScreen> screen = terminal ? CreateTerminalScreen(args) : CreatePowerScreen(args);
    screen->Show();
    const int rc = app.exec();
    screen.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return rc;
}
