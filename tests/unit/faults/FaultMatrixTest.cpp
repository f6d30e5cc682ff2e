// The device screens against the simulated device with one fault switched on at one step of their
// life (start, idle running, a command or pass, close). Whatever the fault: the loop never hangs, the
// user sees exactly the one message the fault calls for (or none), the screen closes with the failure
// flag exactly when the link failed, nothing is written to the port once the link has failed or the
// screen has handed back to its host, and a write pass that met a fault never reports success.
#include "devsim/DeviceSimulator.h"
#include "link/ComPort.h"
#include "loop/SimulatedLoop.h"
#include "power/FrmPowerSettings.h"
#include "settings/FrmSettings.h"
#include "terminal/FrmTerminal.h"
#include "values/FrmValues.h"

#include "../../support/ScreenFakes.h"
#include "../../support/WatchedBackend.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace mirota {
namespace {

enum class Screen { Power, Values, Settings, Terminal };
// Start: the fault is on before Start. Running: on once the screen is idle, then the screen is left
// to run. Command: on once idle, then the screen's checked command (settings: a write pass). Pass
// (settings): on in the middle of the read pass that follows a write pass. Close: on once idle, then
// the window is closed.
enum class Step { Start, Running, Command, Pass, Close };
enum class Fault { Silent, Garbage, Late, TooLate, DropOne, DropAll, Wrong, HangUp, Unplugged };
// One cell of the matrix: the messages the user sees, in order. "-" none, "S" the device does not
// respond, "F" the communication failed, "L" the last command was not executed properly, "A" / "N" the
// settings write pass's result (all set / not all set); "LS" is "L" then "S".
using Cell = const char*;

const char* Name(Screen s) {
    switch (s) {
    case Screen::Power:
        return "Power";
    case Screen::Values:
        return "Values";
    case Screen::Settings:
        return "Settings";
    case Screen::Terminal:
        return "Terminal";
    }
    return "?";
}
const char* Name(Step s) {
    switch (s) {
    case Step::Start:
        return "Start";
    case Step::Running:
        return "Running";
    case Step::Command:
        return "Command";
    case Step::Pass:
        return "Pass";
    case Step::Close:
        return "Close";
    }
    return "?";
}
const char* Name(Fault f) {
    switch (f) {
    case Fault::Silent:
        return "Silent";
    case Fault::Garbage:
        return "Garbage";
    case Fault::Late:
        return "Late";
    case Fault::TooLate:
        return "TooLate";
    case Fault::DropOne:
        return "DropOne";
    case Fault::DropAll:
        return "DropAll";
    case Fault::Wrong:
        return "Wrong";
    case Fault::HangUp:
        return "HangUp";
    case Fault::Unplugged:
        return "Unplugged";
    }
    return "?";
}
std::vector<std::string> Messages(Cell cell) {
    std::vector<std::string> texts;
    for (const char* c = cell; *c; ++c) {
        switch (*c) {
        case 'S':
            texts.push_back(kDeviceSilentMessage);
            break;
        case 'F':
            texts.push_back(kLinkFailedMessage);
            break;
        case 'L':
            texts.push_back(kLastCommandFailedMessage);
            break;
        case 'A':
            texts.push_back(kSettingsAllSet);
            break;
        case 'N':
            texts.push_back(kSettingsNotAllSet);
            break;
        default:
            break;
        }
    }
    return texts;
}

struct Case {
    Screen screen;
    Step step;
    Fault fault;
    Cell expected;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << Name(c.screen) << "/" << Name(c.step) << "/" << Name(c.fault);
}

// ---- fakes -----------------------------------------------------------------------------------------

// The user reads each box for 200 ms before pressing OK (the loop runs meanwhile), answers Yes and
// types 300 into input boxes.
struct MatrixDialogs : test::RecordingDialogs {
    explicit MatrixDialogs(MessageLoop& loop) : RecordingDialogs(loop) {
        answerAfterMs = 200;
        input = "300";
    }
};

class PowerView : public PowerFrameView {
public:
    std::function<void()> close;
    void SetCaption(const std::string&) override {}
    void ShowFrequency(double) override { ++frequencies; }
    void ShowVoltage(double) override {}
    void SetButtonsEnabled(bool) override {}
    void ShowAnimation(bool) override {}
    void CloseWindow() override {
        if (close) close();
    }
    int frequencies = 0;
};

class ValuesViewFake : public ValuesView {
public:
    std::function<void()> close;
    void SetCaption(const std::string&) override {}
    void SetPanelVisible(int, bool) override {}
    void SetBoxCaption(int, const std::string&) override {}
    void ShowValue(int, double) override {}
    void SetButtonEnabled(CommandButton, bool) override {}
    void SetButtonPressed(CommandButton, bool) override {}
    void CloseWindow() override {
        if (close) close();
    }
};

class SettingsViewFake : public SettingsView {
public:
    std::function<void()> close;
    std::vector<std::string> boxes;
    void ShowBusy(bool) override {}
    void SetBusyText(const std::string&) override {}
    void SetApplyEnabled(bool) override {}
    void SetCancelEnabled(bool) override {}
    void ShowSaveLoad(bool) override {}
    void ListRebuilt() override {}
    void RowChanged(int) override {}
    int SelectedRow() const override { return 0; }
    void CloseWindow() override {
        if (close) close();
    }
    std::string SelectBox(const std::string&, const std::string&,
                          const std::vector<std::string>& c) override {
        return c.empty() ? std::string(kSettingsNoValue) : c.front();
    }
    void MessageBox(const std::string& text, const std::string&, DialogKind) override {
        boxes.push_back(text);
    }
    std::optional<std::string> SaveFileName(const std::string&) override { return std::nullopt; }
    std::optional<std::string> OpenFileName() override { return std::nullopt; }
};

class TerminalView : public TerminalFrameView {
public:
    std::function<void()> close;
    TerminalSession session;
    void SetCaption(const std::string&) override {}
    TerminalSession& Terminal() override { return session; }
    void CloseWindow() override {
        if (close) close();
    }
};

// ---- the bench -------------------------------------------------------------------------------------

class FaultBench {
public:
    explicit FaultBench(Screen screen) : screen_(screen) {
        devsim::DeviceOptions options;
        options.CfgDir = MIROTA_DATA_CFG;
        options.Type = " DMS";
        device = std::make_unique<devsim::DeviceSimulator>(loop, options);
        port = std::make_unique<TComPort>(
            loop, std::make_unique<WatchedBackend>(devsim::MakeSimulatedBackend(*device),
                                                   [this](const char*, std::size_t n) { OnWrite(n); }));
        port->Open();
        // As the main window does: the screen is let go once its close handling has returned.
        host.onClosing = [this](bool) { loop.Post([this] { LetGo(); }); };
        switch (screen) {
        case Screen::Power:
            power = std::make_unique<TfrmPowerFrame>(host, loop, dialogs, port.get(), "S1", powerView);
            powerView.close = [this] { power->FormClose(); };
            break;
        case Screen::Values:
            values = std::make_unique<TfrmValuesFrame>(host, loop, dialogs, port.get(), "Mirota DMS", "S1",
                                                       valuesView, MIROTA_DATA_CFG);
            for (int i = 0; i < TfrmValuesFrame::kValues; ++i)
                values->SetBoxTicked(i, true);
            valuesView.close = [this] { values->FormClose(); };
            break;
        case Screen::Settings:
            settings = std::make_unique<TfrmSettingsFrame>(
                ScreenArgs{host, loop, dialogs, port.get(), "Mirota DMS", "S1", 31}, settingsView,
                MIROTA_DATA_CFG);
            settingsView.close = [this] { settingsClosed = settings->FormClose(); };
            break;
        case Screen::Terminal:
            terminal =
                std::make_unique<TfrmTerminalFrame>(host, loop, dialogs, port.get(), "S1", terminalView);
            terminalView.close = [this] { terminal->FormClose(); };
            break;
        }
    }
    ~FaultBench() {
        power.reset();
        values.reset();
        settings.reset();
        terminal.reset();
        port.reset();
    }

    const DeviceLink& Link() const {
        if (power) return power->Link();
        if (values) return values->Link();
        if (settings) return settings->Link();
        return terminal->Link();
    }

    void Start() {
        if (power) power->Start();
        if (values) values->Start();
        if (settings) settings->Start();
        if (terminal) terminal->Start();
    }

    // The screen has started and has no command outstanding.
    bool Idle() const {
        switch (screen_) {
        case Screen::Power:
            return powerView.frequencies > 0 && !power->CommandPending();
        case Screen::Values:
            return values->Plot().PointCount(0) > 0 && !values->CommandPending();
        case Screen::Settings:
            return settings->iCurrentState == 0 && !settings->Rows().empty();
        case Screen::Terminal:
            return device->TextMode() && loop.TickCount() > 1500;
        }
        return false;
    }

    void Command() {
        switch (screen_) {
        case Screen::Power:
            power->btnPlusClick(nullptr);
            break;
        case Screen::Values:
            values->ClickButton(CommandButton::Fifty);
            break;
        case Screen::Settings:
            settings->lvDeviceSettingsDblClick(); // row 0 gets the new value "300" and is checked
            settings->btnApplyClick();
            break;
        case Screen::Terminal:
            terminalView.session.KeyChar(U'v');
            break;
        }
    }

    void Close() {
        switch (screen_) {
        case Screen::Power:
            power->FormClose();
            break;
        case Screen::Values:
            values->FormClose();
            break;
        case Screen::Settings:
            settingsView.CloseWindow();
            break;
        case Screen::Terminal:
            terminal->FormClose();
            break;
        }
    }

    void LetGo() {
        if (power) power->WhenIdle([this] { power->Detach(); });
        if (values) values->WhenIdle([this] { values->Detach(); });
        if (settings) settings->WhenIdle([this] { settings->Detach(); });
        if (terminal) terminal->WhenIdle([this] { terminal->Detach(); });
    }

    void Switch(Fault f) {
        auto& fault = device->Options().Fault;
        switch (f) {
        case Fault::Silent:
            fault.Silent = true;
            break;
        case Fault::Garbage:
            fault.Garbage = true;
            break;
        case Fault::Late:
            fault.LateMs = 250;
            break; // late, but within every screen's reply time-out
        case Fault::TooLate:
            fault.LateMs = 700;
            break; // after the reply time-outs, within the liveness
        case Fault::DropOne:
            fault.DropReplies = 1;
            break;
        case Fault::DropAll:
            fault.DropReplies = 1000000;
            break;
        case Fault::Wrong:
            fault.WrongAnswers = true;
            break;
        case Fault::Unplugged:
            host.unplugged = true;
            [[fallthrough]];
        case Fault::HangUp:
            device->SetHangUp();
            break;
        }
    }

    SimulatedLoop loop;
    std::unique_ptr<devsim::DeviceSimulator> device;
    std::unique_ptr<TComPort> port;
    test::FakeHost host;
    MatrixDialogs dialogs{loop};
    PowerView powerView;
    ValuesViewFake valuesView;
    SettingsViewFake settingsView;
    TerminalView terminalView;
    std::unique_ptr<TfrmPowerFrame> power;
    std::unique_ptr<TfrmValuesFrame> values;
    std::unique_ptr<TfrmSettingsFrame> settings;
    std::unique_ptr<TfrmTerminalFrame> terminal;
    bool settingsClosed = false;

    // Writes the host made once its link had failed, once a failure message was up, or once the screen
    // had handed back to its host.
    int writesAfterFailure = 0;
    int writesAfterMessage = 0;
    std::function<void()> beforeWrite; // runs before each write reaches the line
    int writesAfterClosing = 0;

private:
    void OnWrite(std::size_t) {
        if (beforeWrite) beforeWrite();
        if (power || values || settings || terminal) {
            if (Link().bErrorOccures()) ++writesAfterFailure;
        }
        for (const auto& t : dialogs.Texts())
            if (t == kLinkFailedMessage || t == kDeviceSilentMessage) ++writesAfterMessage;
        if (!host.closings.empty()) ++writesAfterClosing;
    }

    Screen screen_;
};

class FaultMatrix : public ::testing::TestWithParam<Case> {};

TEST_P(FaultMatrix, OneMessageNoWriteAfterFailure) {
    const Case c = GetParam();
    FaultBench b(c.screen);
    if (c.step == Step::Start) b.Switch(c.fault);
    b.Start();
    if (c.step != Step::Start) {
        ASSERT_TRUE(b.loop.RunUntil([&] { return b.Idle(); }, 20000)) << "the screen never settled";
        ASSERT_TRUE(b.dialogs.Texts().empty());
        if (c.step == Step::Pass) {
            // The pass runs on inside Apply's handlers: the fault goes on at the write of a read step.
            b.beforeWrite = [&] {
                if (b.settings->iCurrentState == 2 && b.settings->iCurrentPosition >= 5) {
                    b.beforeWrite = nullptr;
                    b.Switch(c.fault);
                }
            };
            b.Command();
        } else {
            b.Switch(c.fault);
        }
        if (c.step == Step::Command) b.Command();
        if (c.step == Step::Close) b.Close();
    }
    // Long enough for two liveness intervals, every repetition and a whole settings pass with retries.
    b.loop.RunFor(60000);
    ASSERT_FALSE(b.beforeWrite) << "the pass ended before the fault went on";

    EXPECT_EQ(b.dialogs.Texts(), Messages(c.expected));
    // A write pass that met a fault it could not recover from never reports success.
    if (c.fault == Fault::Silent || c.fault == Fault::DropAll || c.fault == Fault::HangUp ||
        c.fault == Fault::Unplugged || (c.fault == Fault::Wrong && c.step != Step::Pass)) {
        for (const auto& t : b.dialogs.Texts())
            EXPECT_NE(t, kSettingsAllSet);
    }
    const std::string cell = c.expected;
    const bool failed = cell.find_first_of("SF") != std::string::npos;
    if (c.fault == Fault::Unplugged) {
        // Ostrel is ending already: the screen does not hand back.
        EXPECT_TRUE(b.host.closings.empty());
    } else if (failed) {
        EXPECT_EQ(b.host.closings, std::vector<bool>{true});
        EXPECT_TRUE(b.Link().bErrorOccures());
    } else {
        if (!b.Link().Detached()) { // a screen let go counts as failed for its own handlers
            EXPECT_FALSE(b.Link().bErrorOccures());
        }
        if (c.step == Step::Close) {
            EXPECT_EQ(b.host.closings, std::vector<bool>{false});
        } else {
            EXPECT_TRUE(b.host.closings.empty());
        }
    }
    // Once failed, or handed back to the host, the screen leaves the port alone.
    EXPECT_EQ(b.writesAfterFailure, 0);
    EXPECT_EQ(b.writesAfterMessage, 0);
    EXPECT_EQ(b.writesAfterClosing, 0);
    // No handler of the screen is still running (nothing hangs in a nested wait).
    EXPECT_FALSE(b.Link().Busy());
}

constexpr Fault kFaults[] = {Fault::Silent,  Fault::Garbage, Fault::Late,   Fault::TooLate,  Fault::DropOne,
                             Fault::DropAll, Fault::Wrong,   Fault::HangUp, Fault::Unplugged};

struct Row {
    Screen screen;
    Step step;
    Cell cells[std::size(kFaults)];
};

// A device that answers nothing at a screen's start fails its first command and then its liveness
// ("LS"): both messages are the screen's rules taking effect one after the other. Answers later than
// the power screen's time-out arrive while its filter is off (during ESC ESC ESC) and are lost every
// time; the values screen's shorter repetition takes them as the repeated command's answer. The settings
// screen reports a silent device only during a pass; the terminal has no supervision of its own.
const Row kMatrix[] = {
    //                          Silent Garbage Late TooLate DropOne DropAll Wrong HangUp Unplugged
    {Screen::Power, Step::Start, {"LS", "-", "-", "LS", "-", "LS", "-", "F", "-"}},
    {Screen::Power, Step::Running, {"S", "-", "-", "-", "-", "-", "-", "F", "-"}},
    {Screen::Power, Step::Command, {"LS", "-", "-", "L", "-", "L", "-", "F", "-"}},
    {Screen::Power, Step::Close, {"-", "-", "-", "-", "-", "-", "-", "F", "-"}},
    {Screen::Values, Step::Start, {"LS", "-", "-", "-", "-", "L", "L", "F", "-"}},
    {Screen::Values, Step::Running, {"S", "-", "-", "-", "-", "-", "-", "F", "-"}},
    {Screen::Values, Step::Command, {"LS", "-", "-", "-", "-", "L", "L", "F", "-"}},
    {Screen::Values, Step::Close, {"-", "-", "-", "-", "-", "-", "-", "F", "-"}},
    {Screen::Settings, Step::Start, {"S", "-", "-", "-", "-", "S", "-", "F", "-"}},
    {Screen::Settings, Step::Running, {"-", "-", "-", "-", "-", "-", "-", "F", "-"}},
    {Screen::Settings, Step::Command, {"S", "A", "A", "A", "A", "S", "N", "F", "-"}},
    // The values written were confirmed by their echoes before the fault; the read-back takes any text.
    {Screen::Settings, Step::Pass, {"S", "A", "A", "A", "A", "S", "A", "F", "-"}},
    {Screen::Settings, Step::Close, {"-", "-", "-", "-", "-", "-", "-", "-", "-"}},
    {Screen::Terminal, Step::Start, {"-", "-", "-", "-", "-", "-", "-", "F", "F"}},
    {Screen::Terminal, Step::Running, {"-", "-", "-", "-", "-", "-", "-", "F", "F"}},
    {Screen::Terminal, Step::Command, {"-", "-", "-", "-", "-", "-", "-", "F", "F"}},
    {Screen::Terminal, Step::Close, {"-", "-", "-", "-", "-", "-", "-", "F", "-"}},
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (const Row& row : kMatrix)
        for (std::size_t f = 0; f < std::size(kFaults); ++f)
            cases.push_back({row.screen, row.step, kFaults[f], row.cells[f]});
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return std::string(Name(info.param.screen)) + "_" + Name(info.param.step) + "_" + Name(info.param.fault);
}

INSTANTIATE_TEST_SUITE_P(Screens, FaultMatrix, ::testing::ValuesIn(Cases()), CaseName);

} // namespace
} // namespace mirota
