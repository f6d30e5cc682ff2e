// The control screen's rules that need no device answers: start parameters, a refused port, hosting
// of screens, Pravik's messages and the information panel.
#include "ControlFakes.h"

#include <gtest/gtest.h>

using namespace mirota;
using namespace mirota::test;

namespace {

const std::vector<std::string> kGood{"COM3", "Mirota DMS 2000", "FT5X2KQ9", "4711"};

struct Started : Harness {
    int writes = 0;
    OpenFailureFacts openFacts;      // what the backend tells about a refused open
    RefusingBackend* made = nullptr; // the last backend made
    explicit Started(std::filesystem::path cfg = {}, int openError = 0) : Harness(std::move(cfg)) {
        backend = [this, openError] {
            auto b = std::make_unique<RefusingBackend>(&writes);
            b->openError = openError;
            b->facts = openFacts;
            made = b.get();
            return b;
        };
    }
    ~Started() { form.reset(); } // the port goes before the line it talks to
    void Start(const std::vector<std::string>& params = kGood) {
        form->FormCreate(params);
        form->FormShow();
    }
};

// The launcher program the information names: the one that exists on this platform.
#ifdef _WIN32
constexpr const char* kLauncherProgramName = "Pravik.exe";
#else
constexpr const char* kLauncherProgramName = "pravik";
#endif

TEST(StartParameters, WrongOnesGiveTheInformationDialogAndEndWithoutPort) {
    const std::vector<std::vector<std::string>> cases{
        {"COM3", "Mirota", "FT1"},                // three
        {"COM3", "Mirota", "DMS", "FT1", "4711"}, // five: a description with a blank
        {},                                       // none
        {"COM", "Mirota DMS", "FT1", "4711"},     // no port number
        {"COM3", "Mirota DMS", "FT1", "47x1"},    // handle is no number
        {"COM3", "Mirota DMS", "FT1", "-1"},
        {"COM3", "Mirota DMS", "FT1", "4294967296"},     // beyond 32 bits
        {"COM99999999999", "Mirota DMS", "FT1", "4711"}, // port number beyond int
    };
    for (const auto& params : cases) {
        Started h;
        h.Start(params);
        ASSERT_EQ(h.dialogs.shown.size(), 1u);
        EXPECT_EQ(h.dialogs.shown[0].kind, DialogKind::Information);
        EXPECT_EQ(h.dialogs.shown[0].text,
                  std::string("The program can not be launched itself. \r\nPlease start ") +
                      kLauncherProgramName);
        EXPECT_TRUE(h.view.closed);
        EXPECT_TRUE(h.form->Ended());
        EXPECT_EQ(h.backendsMade, 0);
        EXPECT_TRUE(h.endpoint.out.empty()); // neither 1025 nor 1026 to a garbage handle
        EXPECT_EQ(h.view.caption, "Control-Screen");
    }
}

TEST(StartParameters, GoodOnesSetCaptionPortAndAnnounceToPravik) {
    struct Case {
        const char* port;
        int iPort;
    } cases[] = {{"COM3", 3}, {"COM12", 12}, {"ttyUSB7", 7}, {"/dev/pts/4", 4}};
    for (const Case& c : cases) {
        Started h;
        h.form->FormCreate({c.port, "Mirota DMS", "FT5X2KQ9", "4711"});
        EXPECT_EQ(h.view.caption, "Control-Screen(FT5X2KQ9)");
        EXPECT_EQ(h.form->iPort, c.iPort);
        EXPECT_EQ(h.form->hPravikHandle, 4711u);
        ASSERT_EQ(h.endpoint.out.size(), 1u);
        const auto& m = h.endpoint.out[0];
        EXPECT_TRUE(m.post);
        EXPECT_EQ(m.target, 4711u);
        EXPECT_EQ(m.msg, WM_CONTROL_OPENED);
        EXPECT_EQ(m.w, static_cast<std::uint64_t>(c.iPort));
        EXPECT_EQ(m.l, 77);
        EXPECT_TRUE(h.dialogs.shown.empty());
    }
}

TEST(StartParameters, DescriptionWithoutMirotaKeepsOnlyTerminal) {
    struct Case {
        const char* description;
        bool others;
    } cases[] = {{"Mirota DMS", true}, {"DMS 2000", false}, {"MIROTA DMS", false}, {"xMirotay", true}};
    for (const Case& c : cases) {
        Started h;
        h.form->FormCreate({"COM3", c.description, "FT1", "1"});
        EXPECT_TRUE(h.view.visible[ScreenKind::Terminal]) << c.description;
        EXPECT_EQ(h.view.visible[ScreenKind::Settings], c.others) << c.description;
        EXPECT_EQ(h.view.visible[ScreenKind::Values], c.others) << c.description;
        EXPECT_EQ(h.view.visible[ScreenKind::Power], c.others) << c.description;
    }
}

TEST(VersionNumber, TakesTheTwoCharactersAfterTheDot) {
    struct Case {
        const char* reply;
        int expected;
    } cases[] = {{"1.05", 5}, {"2.31", 31}, {"3.2", 2}, {"2.315", 31}, {"12", 12},    {"7", 7},
                 {"1.x5", 0}, {"1.5x", 5},  {"1.", 0},  {"", 0},       {"v1.2.3", 2}, {"1. 5", 0}};
    for (const Case& c : cases)
        EXPECT_EQ(VersionNumberOf(c.reply), c.expected) << c.reply;
}

TEST(PortFailure, BusyPortShowsTheDialogThenEndsAndTellsPravik) {
    Started h({}, EBUSY);
    h.Start();
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_EQ(h.dialogs.shown[0].kind, DialogKind::Error);
    EXPECT_EQ(h.dialogs.shown[0].text, "Unable to open com port.\r\nMake sure that the device is properly "
                                       "connected and not used by another program.");
    EXPECT_TRUE(h.form->Ended());
    EXPECT_TRUE(h.form->bErrorOccures);
    EXPECT_EQ(h.writes, 0);
    ASSERT_EQ(h.endpoint.Messages(), (std::vector<std::uint32_t>{WM_CONTROL_OPENED, WM_CONTROL_CLOSE}));
    EXPECT_TRUE(h.endpoint.out[1].post);
    EXPECT_EQ(h.endpoint.out[1].w, 0u);
    EXPECT_EQ(h.endpoint.out[1].l, 3);
    EXPECT_TRUE(h.view.groups.empty()); // the start sequence stopped at the port
}

TEST(PortFailure, RefusedOpenAddsOneLineSayingWhatToDo) {
    const std::string fixed = "Unable to open com port.\r\nMake sure that the device is properly connected "
                              "and not used by another program.";
    auto facts = [](OpenFailureKind kind, std::string group, std::vector<PortHolder> holders) {
        OpenFailureFacts f;
        f.Kind = kind;
        f.Device = "/dev/ttyUSB0";
        f.Group = std::move(group);
        f.Holders = std::move(holders);
        return f;
    };
    struct Case {
        int error;
        OpenFailureFacts facts;
        std::string advice; // empty: the fixed text alone
    } cases[] = {
        {EACCES, facts(OpenFailureKind::PermissionDenied, "dialout", {}),
         "Your user may not open /dev/ttyUSB0: join its group dialout with \"sudo usermod -aG dialout "
         "$USER\" and "
         "log in again, or install the mirota-tools package, whose udev rule gives the logged-in user "
         "access."},
        {EACCES, facts(OpenFailureKind::PermissionDenied, "", {}),
         "Your user may not open /dev/ttyUSB0: install the mirota-tools package, whose udev rule gives the "
         "logged-in "
         "user access, or ask the administrator for access."},
        {EBUSY, facts(OpenFailureKind::Busy, "", {{4242, "minicom"}}),
         "/dev/ttyUSB0 is in use by minicom (process 4242): end it and try again."},
        {EBUSY, facts(OpenFailureKind::Busy, "", {{4242, "minicom"}, {77, ""}}),
         "/dev/ttyUSB0 is in use by minicom (process 4242), a program (process 77): end them and try again."},
        {EBUSY, facts(OpenFailureKind::Busy, "", {}),
         "/dev/ttyUSB0 is in use by another program: end it and try again."},
        {ENOENT, facts(OpenFailureKind::NotFound, "", {}),
         "/dev/ttyUSB0 does not exist: the adapter is gone. Plug it in again and open the device from "
         "Pravik."},
        {EIO, facts(OpenFailureKind::Other, "", {}), ""},
    };
    for (const Case& c : cases) {
        Started h({}, c.error);
        h.openFacts = c.facts;
        h.Start();
        ASSERT_EQ(h.dialogs.shown.size(), 1u) << c.advice;
        EXPECT_EQ(h.dialogs.shown[0].text, c.advice.empty() ? fixed : fixed + "\r\n" + c.advice);
        ASSERT_NE(h.made, nullptr);
        EXPECT_EQ(h.made->examinedError, c.error); // asked about the open that failed, with its reason
        EXPECT_EQ(h.made->examinedPort, "COM3");
        EXPECT_TRUE(h.form->Ended());
    }
}

TEST(StartSequence, RunsOnlyAtTheFirstShow) {
    Started h;
    h.Start();
    const int writes = h.writes;
    EXPECT_EQ(writes, 16); // "*", "$6660" CR, "$357" ESC, "$112"
    h.form->FormShow();
    EXPECT_EQ(h.writes, writes);
    EXPECT_EQ(h.backendsMade, 1);
    EXPECT_EQ(h.view.groups, (std::vector<std::string>{"Name", "Version", "Serialnumber", "Port"}));
    ASSERT_EQ(h.view.items.size(), 5u);
    const std::vector<std::pair<int, std::string>> items{
        {0, ""}, {0, "Mirota DMS 2000"}, {1, ""}, {2, "FT5X2KQ9"}, {3, "COM3"}};
    EXPECT_EQ(h.view.items, items);
    EXPECT_FALSE(h.view.updating);
}

TEST(Closing, UserCloseClosesThePortAndPostsClose) {
    Started h;
    h.Start();
    h.view.CloseWindow();
    EXPECT_FALSE(h.form->cpComController->Connected());
    EXPECT_EQ(h.endpoint.Messages(), (std::vector<std::uint32_t>{WM_CONTROL_OPENED, WM_CONTROL_CLOSE}));
    EXPECT_TRUE(h.dialogs.shown.empty());
}

TEST(Messages, ControlCloseWithAScreenOpenClosesQuietly) {
    Started h;
    h.Start();
    h.form->btnPowerClick();
    ASSERT_NE(h.form->CurrentScreen(), nullptr);
    const int writes = h.writes;
    h.endpoint.out.clear();
    EXPECT_EQ(h.form->WndProc({WM_CONTROL_CLOSE, 0, 0, false}), 0);
    EXPECT_TRUE(h.form->bUnplugged);
    EXPECT_TRUE(h.form->Ended());
    EXPECT_EQ(h.factory.log.back(), "screen close unplugged");
    EXPECT_EQ(h.writes, writes);
    EXPECT_TRUE(h.dialogs.shown.empty());
    // Only the screen's own closing is reported; no 1026 goes back.
    EXPECT_EQ(h.endpoint.Messages(), std::vector<std::uint32_t>{WM_SCREEN_CLOSED});
    EXPECT_FALSE(h.view.shown && h.view.calls.back() == "show");
}

TEST(Messages, ToFrontRaisesTheCurrentWindowAndAnswersOne) {
    struct Case {
        bool screenOpen;
        WindowState state;
        std::vector<std::string> mainCalls, screenCalls;
    } cases[] = {
        {false, WindowState::Normal, {"foreground"}, {}},
        {false, WindowState::Minimized, {"shownormal", "foreground"}, {}},
        {false, WindowState::Maximized, {}, {}},
        {true, WindowState::Normal, {}, {"screen foreground"}},
        {true, WindowState::Minimized, {}, {"screen shownormal", "screen foreground"}},
        {true, WindowState::Maximized, {}, {}},
    };
    for (const Case& c : cases) {
        Started h;
        h.Start();
        if (c.screenOpen) {
            h.form->btnValuesClick();
            h.factory.last->state = c.state;
            h.view.state = WindowState::Minimized; // the hidden main window is never the one raised
        } else {
            h.view.state = c.state;
        }
        h.view.calls.clear();
        h.factory.log.clear();
        EXPECT_EQ(h.form->WndProc({WM_CONTROL_TO_FRONT, 0, 0, true}), 1);
        EXPECT_EQ(h.view.calls, c.mainCalls);
        EXPECT_EQ(h.factory.log, c.screenCalls);
    }
}

TEST(Messages, DeactivationAndMinimizeAreReported) {
    Started h;
    h.form->FormCreate(kGood);
    h.form->Deactivate(); // before the first show Ostrel does not report losing activation
    h.form->FormShow();
    h.form->Deactivate();
    h.form->SystemMinimize();
    EXPECT_EQ(h.endpoint.Messages(), (std::vector<std::uint32_t>{WM_CONTROL_OPENED, WM_CONTROL_DEACTIVATED,
                                                                 WM_CONTROL_DEACTIVATED}));
    EXPECT_FALSE(h.endpoint.out[1].post);
}

TEST(Messages, NoPravikHandleSendsNothing) {
    Started h;
    h.Start({"COM3", "Mirota DMS", "FT1", "0"});
    h.form->btnValuesClick();
    h.form->Deactivate();
    h.view.CloseWindow();
    EXPECT_TRUE(h.endpoint.out.empty());
}

TEST(Hosting, ScreenOpensWithItsArgumentsAndHandsBack) {
    Started h;
    h.Start();
    h.form->iVersion = 31;
    h.endpoint.out.clear();
    h.form->btnSettingsClick();
    EXPECT_EQ(h.factory.created, std::vector<ScreenKind>{ScreenKind::Settings});
    EXPECT_EQ(h.factory.description, "Mirota DMS 2000");
    EXPECT_EQ(h.factory.serial, "FT5X2KQ9");
    EXPECT_EQ(h.factory.version, 31);
    EXPECT_EQ(h.factory.port, h.form->cpComController.get());
    ASSERT_EQ(h.endpoint.out.size(), 1u);
    EXPECT_EQ(h.endpoint.out[0].msg, WM_SCREEN_OPENED);
    EXPECT_EQ(h.endpoint.out[0].l, 5001);
    EXPECT_FALSE(h.endpoint.out[0].post);
    EXPECT_EQ(h.factory.log, std::vector<std::string>{"screen show"});
    EXPECT_FALSE(h.view.shown);

    h.form->btnPowerClick(); // one screen at a time
    EXPECT_EQ(h.factory.created.size(), 1u);

    h.form->cpComController->OnException = nullptr; // the screen had taken the port's reports
    h.form->ClosingCurrentFrame(false);
    EXPECT_EQ(h.endpoint.out.back().msg, WM_SCREEN_CLOSED);
    EXPECT_EQ(h.endpoint.out.back().l, 5001);
    EXPECT_TRUE(h.view.shown);
    EXPECT_EQ(h.form->CurrentScreen(), nullptr);
    EXPECT_FALSE(h.factory.lastDestroyed); // not inside its own close handling
    h.loop.ProcessMessages();
    EXPECT_TRUE(h.factory.lastDestroyed);
    EXPECT_TRUE(static_cast<bool>(h.form->cpComController->OnException));
    EXPECT_FALSE(h.form->Ended());

    h.form->btnPowerClick(); // created anew
    EXPECT_EQ(h.factory.created.size(), 2u);
}

TEST(Hosting, ScreenClosedByAFailureEndsOstrel) {
    Started h;
    h.Start();
    h.form->btnTerminalClick();
    h.form->ClosingCurrentFrame(true);
    EXPECT_TRUE(h.form->bErrorOccures);
    EXPECT_TRUE(h.form->Ended());
    EXPECT_TRUE(h.form->cpComController->Connected()); // given up, not closed
    EXPECT_EQ(h.endpoint.Messages().back(), WM_CONTROL_CLOSE);
    EXPECT_TRUE(h.dialogs.shown.empty());
}

TEST(Hosting, UnbuiltScreenOpensNothing) {
    Started h;
    h.factory.built.clear();
    h.Start();
    h.endpoint.out.clear();
    h.form->btnValuesClick();
    EXPECT_EQ(h.form->CurrentScreen(), nullptr);
    EXPECT_TRUE(h.view.shown);
    EXPECT_TRUE(h.endpoint.out.empty());
    h.factory.built.insert(ScreenKind::Values);
    h.form->btnValuesClick(); // the buttons still react
    EXPECT_NE(h.form->CurrentScreen(), nullptr);
}

TEST(InformationPanel, HoverTextsFollowTheCfgFile) {
    const auto cfg = WriteCfg("hover", "[DEFAULT]\ncaption=Overview\ninfo1=Pick a screen\n"
                                       "[power]\nCaption=Power supply\ninfo1=Voltage\ninfo3=Frequency\n"
                                       "[TERMINAL]\ncaption=Terminal\ninfo1=a\ninfo2=b\ninfo3=c\n");
    Started h(cfg);
    h.Start();
    // Until the mouse has left a button, the design texts stay.
    EXPECT_EQ(h.view.infoCaption, "INFORMATION");
    EXPECT_EQ(h.view.infoText, "For more information, move the cursor on the icon.");
    h.form->ButtonMouseEnter(ScreenKind::Power);
    EXPECT_EQ(h.view.infoCaption, "Power supply");
    EXPECT_EQ(h.view.infoText, "Voltage\r\n\r\nFrequency");
    h.form->ButtonMouseLeave();
    EXPECT_EQ(h.view.infoCaption, "Overview");
    EXPECT_EQ(h.view.infoText, "Pick a screen");
    h.form->ButtonMouseEnter(ScreenKind::Terminal);
    EXPECT_EQ(h.view.infoText, "a\r\nb\r\nc");
    h.form->ButtonMouseEnter(ScreenKind::Values); // section missing: empty lines
    EXPECT_EQ(h.view.infoCaption, "");
    EXPECT_EQ(h.view.infoText, "\r\n\r\n");
    std::filesystem::remove_all(cfg);
}

TEST(InformationPanel, LineOfManyMegabytesIsCutShort) {
    const std::string huge(10u * 1024u * 1024u, 'x');
    const std::string longer(100000, 'x');
    const auto cfg = WriteCfg("huge", "[DEFAULT]\ninfo1=" + huge + "\n[POWER]\ncaption=" + longer +
                                          "\ninfo2=\xE4" + longer + "\n");
    Started h(cfg);
    h.Start();
    h.form->ButtonMouseEnter(ScreenKind::Power);
    EXPECT_EQ(h.view.infoCaption, std::string(2000, 'x') + "\xE2\x80\xA6");
    // The cut keeps whole characters ("\xE4" is two bytes in UTF-8).
    EXPECT_EQ(h.view.infoText, "\r\n\xC3\xA4" + std::string(1998, 'x') + "\xE2\x80\xA6\r\n");
    h.form->ButtonMouseLeave();
    EXPECT_EQ(h.view.infoText, std::string(2000, 'x') + "\xE2\x80\xA6");
    std::filesystem::remove_all(cfg);
}

TEST(InformationPanel, EmptyCfgGivesEmptyTexts) {
    const auto cfg = WriteCfg("empty", "");
    Started h(cfg);
    h.Start();
    h.form->ButtonMouseEnter(ScreenKind::Power);
    EXPECT_EQ(h.view.infoCaption, "");
    EXPECT_EQ(h.view.infoText, "\r\n\r\n");
    h.form->ButtonMouseLeave();
    EXPECT_EQ(h.view.infoCaption, "");
    EXPECT_EQ(h.view.infoText, "");
    std::filesystem::remove_all(cfg);
}

} // namespace
