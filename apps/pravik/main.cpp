// Pravik: lists the attached FTDI adapters and starts one Ostrel per device.
//
// Wiring only: the Qt message loop, the messenger endpoint of the main window, the USB walk and the
// arrival and removal notifier of the platform, the starter of the Ostrel beside this program, the
// window and its logic. SIGUSR1 asks the notifier to look for changes (for systems that send no
// hotplug events, and for the demo's simulated plugging); SIGTERM and SIGINT close the main window, so
// that every Ostrel it started is closed too.
#include "launcher/FrmMain.h"
#include "launcher/FrmMainStart.h"
#include "launcher/PravikCommandLine.h"
#include "launcher/SystemUSB.h"
#include "launcher/USBDeviceInfoCol.h"
#include "launcher/USBDeviceRec.h"
#include "launcher/ui/DesktopForeground.h"
#include "launcher/ui/FrmMainWindow.h"
#include "loop/qt/QtMessageLoop.h"
#include "messages/Messages.h"
#include "messages/qt/DesktopIdentity.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

namespace {

// Signals reach the GUI thread through this pipe, one byte per signal.
int gSignalPipe[2] = {-1, -1};

void ForwardSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}

} // namespace
#endif

int main(int argc, char** argv)
{
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
    options.Watch = [&loop](int fd, std::function<void()> onReadable) -> std::function<void()> {
        const mirota::TimerId id = loop.WatchReadable(fd, std::move(onReadable));
        return [&loop, id] { loop.UnwatchReadable(id); };
    };
    std::unique_ptr<mirota::Messenger> messenger = mirota::CreatePlatformMessenger(loop, options);

    mirota::TFRM_MainWindow window(QApplication::applicationFilePath().toStdString(), mirota::ControlProgramPath());
    window.winId(); // the native window exists from here on, so its handle can name the endpoint
    std::unique_ptr<mirota::MessageEndpoint> endpoint =
        messenger->CreateEndpoint(mirota::DesktopWindowHandle(&window));
    if (!endpoint) {
        std::fprintf(stderr, "pravik: no message endpoint can be created; the Ostrel instances could not report back\n");
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

    mirota::TimerId signalWatch = 0;
#ifndef _WIN32
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        signalWatch = loop.WatchReadable(gSignalPipe[0], [&uUSBRec, &window] {
            char buffer[64];
            bool rescan = false;
            bool close = false;
            for (ssize_t n; (n = ::read(gSignalPipe[0], buffer, sizeof buffer)) > 0;) {
                for (ssize_t i = 0; i < n; ++i) {
                    rescan |= buffer[i] == SIGUSR1;
                    close |= buffer[i] != SIGUSR1;
                }
            }
            if (rescan)
                uUSBRec.Rescan();
            if (close)
                window.close();
        });
        struct sigaction action {};
        action.sa_handler = ForwardSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGUSR1, SIGTERM, SIGINT})
            sigaction(signal, &action, nullptr);
    }
#endif
    // Ended Ostrel instances leave no zombies behind.
    const mirota::TimerId reaper = loop.StartTimer(1000, [&starter] { starter.ReapFinished(); });

    window.show();
    const int result = app.exec();

    loop.KillTimer(reaper);
    if (signalWatch)
        loop.UnwatchReadable(signalWatch);
    if (notifierWatch)
        loop.UnwatchReadable(notifierWatch);
    endpoint->OnMessage = nullptr;
    return result;
}
