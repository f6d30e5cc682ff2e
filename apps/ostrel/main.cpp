// Ostrel: the control program for one device, started by Pravik with four parameters
// (port name, device description, serial number, Pravik's window handle).
#include "control/FrmMainOstrel.h"
#include "control/OstrelCommandLine.h"
#include "control/ScreenRegistry.h"
#include "control/TracingView.h"
#include "control/ui/FrmMainOstrelWindow.h"
#include "control/ui/QtDialogs.h"
#include "loop/ProcessRequests.h"
#include "loop/qt/QtMessageLoop.h"
#include "messages/Messages.h"
#include "messages/qt/DesktopIdentity.h"
#include "messages/qt/QtWindowHandle.h"
#include "power/ui/FrmPowerWindow.h"
#include "settings/ui/FrmSettingsWindow.h"
#include "terminal/ui/FrmTerminalWindow.h"
#include "values/ui/FrmValuesWindow.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Every device screen that is part of the build registers its creator here, for example
//     mirota::RegisterScreen(mirota::ScreenKind::Values, mirota::CreateValuesScreen);
// together with its header and its library in apps/ostrel/CMakeLists.txt. A screen that is not
// registered leaves its button without effect.
void RegisterScreens() {
    mirota::RegisterScreen(mirota::ScreenKind::Power, mirota::CreatePowerScreen);
    mirota::RegisterScreen(mirota::ScreenKind::Terminal, mirota::CreateTerminalScreen);
    mirota::RegisterScreen(mirota::ScreenKind::Settings, mirota::CreateSettingsScreen);
    mirota::RegisterScreen(mirota::ScreenKind::Values, mirota::CreateValuesScreen);
}

} // namespace

int main(int argc, char** argv) {
    if (const auto answer = mirota::OstrelCommandLineAnswer(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrel"));
    mirota::ApplyDesktopIdentity("org.mirota.Ostrel");
    QApplication::setQuitOnLastWindowClosed(false); // Ostrel ends when its main window closes
    RegisterScreens();

    mirota::QtMessageLoop loop;
    mirota::TfrmMainOstrelWindow window;
    mirota::TracingView view(window, mirota::TracingView::RequestedOutput());
    mirota::QtDialogs dialogs(&window);
    mirota::RegisteredScreens screens;

    mirota::MessengerOptions options;
    options.Watch = loop.DescriptorWatcher();
    const auto messenger = mirota::CreatePlatformMessenger(loop, options);
    // The window's own handle where the windowing system has one; otherwise the messenger chooses one.
    auto endpoint = messenger->CreateEndpoint(mirota::NativeWindowHandle(&window));

    const std::filesystem::path cfg =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "_cfg";
    mirota::TfrmMainOstrelScreen logic({loop, dialogs, screens, view, endpoint.get(), cfg, {}});
    window.SetLogic(&logic);
    QObject::connect(&window, &mirota::TfrmMainOstrelWindow::ended, &app, [&loop] {
        loop.SetTerminating(true);
        QCoreApplication::quit();
    });

    // A termination request (the session ends, `kill`) closes the main window as the user would, so
    // that Pravik still hears of it.
    mirota::ProcessRequestWatcher requests(loop, options.Watch, false,
                                           [&window](mirota::ProcessRequest) { window.CloseWindow(); });

    std::vector<std::string> parameters;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i)
        parameters.push_back(arguments[i].toStdString());
    logic.FormCreate(parameters);
    window.show();
    const int result = app.exec();
    window.SetLogic(nullptr);
    return result;
}
