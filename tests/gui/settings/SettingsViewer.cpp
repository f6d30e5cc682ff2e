// Opens the settings window against an in-process settings device under the Qt loop, for looking at
// it (screenshots) apart from the full application.
//   settings_viewer [description] [firmware number] [actions...]
// Actions run one after another, a second apart: "load=<file>" loads a configuration file,
// "save=<file>" saves one, "apply" presses Apply, "enter=<row>:<text>" gives a row a new value,
// "quit" closes the window.
#include "../../support/ScreenFakes.h"
#include "control/ui/QtDialogs.h"
#include "devsim/DeviceSimulator.h"
#include "loop/qt/QtMessageLoop.h"
#include "settings/ui/FrmSettingsWindow.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string description = argc > 1 ? argv[1] : "Mirota DMS";
    const int version = argc > 2 ? std::atoi(argv[2]) : 31;

    mirota::QtMessageLoop loop;
    std::filesystem::path cfg =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "_cfg";
    if (!std::filesystem::exists(cfg)) cfg = MIROTA_DATA_CFG;
    // The simulated device of this type: its catalogue settings, firmware 2.<version>.
    mirota::devsim::DeviceOptions options;
    options.Type = mirota::DeviceTypeOf(description);
    options.Firmware = "2." + std::to_string(version);
    options.CfgDir = cfg.string();
    mirota::devsim::DeviceSimulator device(loop, options);
    {
        // Some life in the values: free-text settings get numbers, display-valued ones alternate.
        mirota::TSettingsCatalogue catalogue;
        mirota::ReadSettingsCatalogue(cfg, options.Type, version, catalogue);
        for (int i = 0; i < catalogue.EntryCount(); ++i)
            device.Settings()[catalogue.slCurrentCommand[i]] =
                catalogue.olCurrentDisplay[i].empty() ? std::to_string(100 + 25 * i) : std::to_string(i % 2);
    }
    mirota::TComPort port(loop, mirota::devsim::MakeSimulatedBackend(device));
    port.Open();
    mirota::test::FakeHost host;
    host.onClosing = [](bool error) {
        std::fprintf(stderr, "ClosingCurrentFrame(%s)\n", error ? "true" : "false");
        QTimer::singleShot(0, qApp, &QApplication::quit);
    };
    mirota::QtDialogs dialogs;
    mirota::ScreenArgs args{host, loop, dialogs, &port, description, "FT12AB34", version};
    mirota::TfrmSettingsFrameView window(args, cfg);
    dialogs.SetOwner(&window);
    window.Show();
    window.Logic().Start();

    int delay = 1500;
    for (int a = 3; a < argc; ++a) {
        const std::string action = argv[a];
        QTimer::singleShot(delay, &window, [&window, action] {
            std::fprintf(stderr, "action %s\n", action.c_str());
            if (action.rfind("load=", 0) == 0)
                window.Logic().LoadConfiguration(action.substr(5));
            else if (action.rfind("save=", 0) == 0)
                window.Logic().SaveConfiguration(action.substr(5));
            else if (action == "apply")
                window.ApplyButton()->click();
            else if (action == "quit")
                window.close();
            else if (action.rfind("enter=", 0) == 0) {
                const auto colon = action.find(':');
                const int row = std::atoi(action.substr(6, colon - 6).c_str());
                const std::string text = action.substr(colon + 1);
                window.selectBoxHook = [text](const std::vector<std::string>&) { return text; };
                window.List()->setCurrentItem(window.RowItem(row));
                // Free-text rows open the input box: answer it through the dialogs' own window.
                emit window.List()->itemDoubleClicked(window.RowItem(row), 0);
                window.selectBoxHook = nullptr;
            }
        });
        delay += 1000;
    }
    return app.exec();
}
