// Pravik: lists the attached FTDI adapters and starts one Ostrel per device.
//
// Wiring only: the Qt message loop, the messenger endpoint of the main window, the USB walk and the
// arrival and removal notifier of the platform, the starter of the Ostrel beside this program, the
// window and its logic, the watcher of requests from outside. A rescan request (SIGUSR1) asks the
// notifier to look for changes (for systems that send no hotplug events, and for the demo's simulated
// plugging); a termination request closes the main window, so that every Ostrel it started is closed too.
#include "launcher/FrmMain.h"
#include "launcher/FrmMainStart.h"
#include "launcher/PravikCommandLine.h"
#include "launcher/SystemUSB.h"
#include "launcher/USBDeviceInfoCol.h"
#include "launcher/USBDeviceRec.h"
#include "launcher/ui/DesktopForeground.h"
#include "launcher/ui/FrmMainWindow.h"
#include "loop/ProcessRequests.h"
#include "loop/qt/QtMessageLoop.h"
#include "messages/Messages.h"
#include "messages/qt/DesktopIdentity.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (const auto answer = mirota::PravikCommandLineAnswer(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pravik"));
    mirota::ApplyDesktopIdentity("org.mirota.Pravik");
    QApplication::setQuitOnLastWindowClosed(true);

    mirota::QtMessageLoop loop;
    mirota::MessengerOptions options;
    options.Watch = loop.DescriptorWatcher();
    std::unique_ptr<mirota::Messenger> messenger = mirota::CreatePlatformMessenger(loop, options);

    mirota::TFRM_MainWindow window(QApplication::applicationFilePath().toStdString(),
                                   mirota::ControlProgramPath());
    window.winId(); // the native window exists from here on, so its handle can name the endpoint
    std::unique_ptr<mirota::MessageEndpoint> endpoint =
        messenger->CreateEndpoint(mirota::DesktopWindowHandle(&window));
    if (!endpoint) {
        std::fprintf(
            stderr,
            "pravik: no message endpoint can be created; the Ostrel instances could not report back\n");
        return 1;
    }

    std::unique_ptr<mirota::USBPlatform> usbPlatform = mirota::CreateSystemUSBPlatform();
    mirota::TUSBInfoCol uUSBInfoCol(*usbPlatform);
    mirota::USBInfoColSource source(uUSBInfoCol);
    mirota::PlatformControlStarter starter;

    mirota::TFRM_Main frm(window, source, starter, *endpoint, loop);
    window.SetLogic(&frm);
    endpoint->OnMessage = [&frm](const mirota::WindowMessage& message) { return frm.HandleMessage(message); };

    frm.FormCreate();

    mirota::TComponentUSB uUSBRec(mirota::CreateSystemNotificationSource());
    uUSBRec.OnUSBArrival = [&frm](mirota::TComponentUSB*) { frm.DoUSBArrival(); };
    uUSBRec.OnUSBRemove = [&frm](mirota::TComponentUSB*) { frm.DoUSBRemove(); };
    uUSBRec.OnShowException = [&window](const std::string& text) { window.ShowError(text); };
    mirota::TimerId notifierWatch = 0;
    if (uUSBRec.Handle() >= 0)
        notifierWatch = loop.WatchReadable(uUSBRec.Handle(), [&uUSBRec] { uUSBRec.ProcessPending(); });
    uUSBRec.Rescan(); // the first look, against which later rescans compare

    mirota::ProcessRequestWatcher requests(loop, options.Watch, true,
                                           [&uUSBRec, &window](mirota::ProcessRequest request) {
                                               if (request == mirota::ProcessRequest::Rescan)
                                                   uUSBRec.Rescan();
                                               else
                                                   window.close();
                                           });
    // Ended Ostrel instances leave no zombies behind.
    const mirota::TimerId reaper = loop.StartTimer(1000, [&starter] { starter.ReapFinished(); });

    window.show();
    const int result = app.exec();

    loop.KillTimer(reaper);
    if (notifierWatch) loop.UnwatchReadable(notifierWatch);
    endpoint->OnMessage = nullptr;
    return result;
}
