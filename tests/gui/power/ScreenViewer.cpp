// Opens the power or the terminal screen against the in-process device simulator under the Qt loop,
// to look at and use the windows by hand (and for screenshots under Xvfb):
//   screen_viewer power|terminal [serial]
// Closing the screen ends the program.
#include "power/ui/FrmPowerWindow.h"
#include "terminal/ui/FrmTerminalWindow.h"

#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "link/Dialogs.h"
#include "loop/qt/QtMessageLoop.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstring>

using namespace mirota;

namespace {

class ViewerHost : public ScreenHost {
public:
    bool Unplugged() const override { return false; }
    void ClosingCurrentFrame(bool aErrorOccures) override {
        std::printf("ClosingCurrentFrame(%s)\n", aErrorOccures ? "true" : "false");
        std::fflush(stdout);
        QApplication::exit(aErrorOccures ? 1 : 0);
    }
};

class ViewerDialogs : public Dialogs {
public:
    DialogResult ShowDialog(DialogKind kind, const std::string& text, DialogButtons) override {
        const char* caption = kind == DialogKind::Error         ? kCaptionError
                              : kind == DialogKind::Information ? kCaptionInformation
                                                                : kCaptionWarning;
        QMessageBox::information(nullptr, caption, QString::fromStdString(text));
        return DialogResult::Ok;
    }
    DialogResult ShowSystemBox(const std::string& text, const std::string& caption, DialogKind,
                               DialogButtons) override {
        QMessageBox::information(nullptr, QString::fromStdString(caption), QString::fromStdString(text));
        return DialogResult::Ok;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool terminal = argc > 1 && std::strcmp(argv[1], "terminal") == 0;
    const std::string serial = argc > 2 ? argv[2] : "FT5X1A";
    QtMessageLoop loop;
    devsim::DeviceSimulator device(loop);
    TComPort port(loop, devsim::MakeSimulatedBackend(device));
    port.Open();
    ViewerHost host;
    ViewerDialogs dialogs;
    const ScreenArgs args{host, loop, dialogs, &port, "Mirota DMS", serial, 31};
    std::unique_ptr<HostedScreen> screen = terminal ? CreateTerminalScreen(args) : CreatePowerScreen(args);
    screen->Show();
    const int rc = app.exec();
    screen.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return rc;
}
