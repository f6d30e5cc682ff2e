// The launcher window's logic against a fake view, a scripted walk, a recording starter and endpoint.
#include "PravikFakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace mirota::test {
namespace {

using ::testing::ElementsAre;

constexpr WindowHandle kOstrelA = 501;
constexpr WindowHandle kOstrelB = 502;

class FrmMainTest : public ::testing::Test {
protected:
    void Create(std::vector<USB_Info> devices) {
        source.devices = std::move(devices);
        frm.FormCreate();
    }
    // Double-clicks the row of port and lets the started instance announce itself with handle.
    void OpenPort(const std::u16string& port, WindowHandle handle) {
        view.selected = RowOf(port);
        frm.lvDeviceListDblClick();
        const std::string digits = ToUtf8(port.substr(kTestPortPrefix.size()));
        frm.HandleMessage({WM_CONTROL_OPENED, std::stoull(digits), static_cast<std::int64_t>(handle), false});
    }
    int RowOf(const std::u16string& port) const {
        for (std::size_t i = 0; i < view.rows.size(); ++i)
            if (view.rows[i][colPort] == port) return static_cast<int>(i);
        return -1;
    }
    std::vector<std::u16string> Column(FrmMainColumn column) const {
        std::vector<std::u16string> cells;
        for (const TDeviceRow& row : view.rows)
            cells.push_back(row[column]);
        return cells;
    }
    // The view shows exactly the logic's rows, and each row belongs to its device record.
    void ExpectConsistent() const {
        ASSERT_EQ(view.rows, frm.Rows());
        ASSERT_EQ(frm.DeviceList().size(), view.rows.size());
        for (std::size_t i = 0; i < view.rows.size(); ++i)
            EXPECT_EQ(frm.DeviceList()[i].Port_Number, view.rows[i][colPort]);
        EXPECT_EQ(view.updateDepth, 0);
    }
    std::vector<SentMessage> MessagesOf(std::uint32_t msg) const {
        std::vector<SentMessage> found;
        for (const SentMessage& m : endpoint.log)
            if (m.msg == msg) found.push_back(m);
        return found;
    }

    FakeView view;
    FakeSource source;
    FakeStarter starter;
    FakeEndpoint endpoint;
    SimulatedLoop loop;
    // The rows use the platform's port names (PortName), so the key prefix is the platform's too.
    static inline const std::u16string kTestPortPrefix = kPortPrefix;
    TFRM_Main frm{view, source, starter, endpoint, loop, kTestPortPrefix};
};

TEST_F(FrmMainTest, CreateListsEveryDeviceClosedInWalkOrder) {
    Create({Device(u"FT01", u"Mirota DMS", PortName(3)), Device(u"FT02", u"Other box", PortName(1))});
    EXPECT_THAT(view.rows, ElementsAre(TDeviceRow{u"FT01", u"Mirota DMS", PortName(3), u"Closed"},
                                       TDeviceRow{u"FT02", u"Other box", PortName(1), u"Closed"}));
    ExpectConsistent();
}

TEST_F(FrmMainTest, RefreshKeepsRowsAndStatesAndAppendsNewDevices) {
    Create({Device(u"FT01", u"Mirota DMS", PortName(0)), Device(u"FT02", u"Mirota TMS", PortName(1))});
    OpenPort(PortName(1), kOstrelB);
    // A new device comes first in the walk; the one on port 0 now reports other strings.
    source.devices = {Device(u"FT09", u"Mirota TMS", PortName(2)),
                      Device(u"FT02", u"Mirota TMS", PortName(1)),
                      Device(u"CHANGED", u"Changed", PortName(0))};
    frm.DoUSBArrival();
    EXPECT_THAT(view.rows, ElementsAre(TDeviceRow{u"FT01", u"Mirota DMS", PortName(0), u"Closed"},
                                       TDeviceRow{u"FT02", u"Mirota TMS", PortName(1), u"Open"},
                                       TDeviceRow{u"FT09", u"Mirota TMS", PortName(2), u"Closed"}));
    EXPECT_EQ(frm.FrameHandle(PortName(1)), kOstrelB);
    EXPECT_TRUE(MessagesOf(WM_CONTROL_CLOSE).empty());
    ExpectConsistent();
}

TEST_F(FrmMainTest, UnpluggedDeviceWithOpenOstrelLosesRowAndEntryAndItsOstrelIsToldOnce) {
    Create({Device(u"FT01", u"Mirota DMS", PortName(0)), Device(u"FT02", u"Mirota TMS", PortName(1)),
            Device(u"FT03", u"Terminal", PortName(2))});
    OpenPort(PortName(0), kOstrelA);
    OpenPort(PortName(1), kOstrelB);
    int processedAtPost = -1;
    int processed = 0;
    loop.Post([&] { ++processed; });
    endpoint.onOutgoing = [&](const SentMessage& m) {
        if (m.msg == WM_CONTROL_CLOSE) processedAtPost = processed;
    };
    source.devices = {Device(u"FT01", u"Mirota DMS", PortName(0)), Device(u"FT03", u"Terminal", PortName(2))};
    frm.DoUSBRemove();

    EXPECT_EQ(Column(colPort), (std::vector<std::u16string>{PortName(0), PortName(2)}));
    EXPECT_EQ(view.rows[0][colState], u"Open");
    EXPECT_THAT(MessagesOf(WM_CONTROL_CLOSE),
                ElementsAre(SentMessage{kOstrelB, WM_CONTROL_CLOSE, 0, 0, false}));
    EXPECT_EQ(processedAtPost, 0);
    EXPECT_EQ(processed, 1) << "pending messages are processed once after the post";
    EXPECT_FALSE(frm.FrameHandle(PortName(1)));
    EXPECT_EQ(frm.FrameHandle(PortName(0)), kOstrelA);
    // Its late close report changes nothing.
    frm.HandleMessage({WM_CONTROL_CLOSE, 0, 1, false});
    EXPECT_EQ(Column(colState), (std::vector<std::u16string>{u"Open", u"Closed"}));
    ExpectConsistent();
}

TEST_F(FrmMainTest, GoneDeviceWithoutOstrelPostsNothing) {
    Create({Device(u"FT01", u"A", PortName(0)), Device(u"FT02", u"B", PortName(1))});
    source.devices = {Device(u"FT02", u"B", PortName(1))};
    frm.DoUSBRemove();
    EXPECT_EQ(Column(colSerial), (std::vector<std::u16string>{u"FT02"}));
    EXPECT_TRUE(endpoint.log.empty());
    ExpectConsistent();
}

TEST_F(FrmMainTest, ErrorPortsAreMatchedOneToOneInOrder) {
    Create({Device(u"E1", u"A", u"Error"), Device(u"OK", u"B", PortName(0)), Device(u"E2", u"C", u"Error")});
    struct Case {
        std::vector<USB_Info> walk;
        std::vector<std::u16string> serials;
    } cases[] = {
        // One "Error" device left: the first row keeps it, the second goes.
        {{Device(u"E2", u"C", u"Error"), Device(u"OK", u"B", PortName(0))}, {u"E1", u"OK"}},
        // Three now: the one row stays, two new rows are appended.
        {{Device(u"X", u"", u"Error"), Device(u"Y", u"", u"Error"), Device(u"Z", u"", u"Error"),
          Device(u"OK", u"B", PortName(0))},
         {u"E1", u"OK", u"Y", u"Z"}},
    };
    for (const Case& c : cases) {
        source.devices = c.walk;
        frm.DoUSBArrival();
        EXPECT_EQ(Column(colSerial), c.serials);
        ExpectConsistent();
    }
}

TEST_F(FrmMainTest, DoubleClickStartsOstrelWithTheRowsFourParameters) {
    Create({Device(u"FT5X2KQ9", u"Mirota DMS 2", PortName(3)), Device(u"FT02", u"B", PortName(4))});
    frm.lvDeviceListDblClick(); // nothing selected
    EXPECT_TRUE(starter.started.empty());

    view.selected = 0;
    frm.lvDeviceListDblClick();
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].Port, PortName(3));
    EXPECT_EQ(starter.started[0].Description, u"Mirota DMS 2");
    EXPECT_EQ(starter.started[0].Serial, u"FT5X2KQ9");
    EXPECT_EQ(starter.started[0].Launcher, endpoint.Handle());
    EXPECT_EQ(frm.FrameHandle(PortName(3)), 0u);
    EXPECT_EQ(view.rows[0][colState], u"Closed") << "Closed until the instance announces itself";

    frm.HandleMessage({WM_CONTROL_OPENED, 3, kOstrelA, false});
    EXPECT_EQ(view.rows[0][colState], u"Open");
    EXPECT_EQ(frm.FrameHandle(PortName(3)), kOstrelA);
}

TEST_F(FrmMainTest, DoubleClickOnAStartedPortSendsToFrontAndStartsNothing) {
    Create({Device(u"FT01", u"A", PortName(0))});
    view.selected = 0;
    frm.lvDeviceListDblClick();
    frm.lvDeviceListDblClick(); // not announced yet: goes to handle 0
    frm.HandleMessage({WM_CONTROL_OPENED, 0, kOstrelA, false});
    frm.lvDeviceListDblClick();
    EXPECT_EQ(starter.started.size(), 1u);
    EXPECT_THAT(endpoint.log, ElementsAre(SentMessage{0, WM_CONTROL_TO_FRONT, 0, 0, true},
                                          SentMessage{kOstrelA, WM_CONTROL_TO_FRONT, 0, 0, true}));
}

TEST_F(FrmMainTest, FailedStartLeavesNoEntry) {
    Create({Device(u"FT01", u"A", PortName(0))});
    view.selected = 0;
    starter.succeed = false;
    frm.lvDeviceListDblClick();
    EXPECT_FALSE(frm.FrameHandle(PortName(0)));
    starter.succeed = true;
    frm.lvDeviceListDblClick();
    EXPECT_EQ(starter.started.size(), 2u);
    EXPECT_TRUE(frm.FrameHandle(PortName(0)));
}

TEST_F(FrmMainTest, MessagesFromOstrel) {
    Create({Device(u"FT01", u"A", PortName(12)), Device(u"FT02", u"B", u"Error")});
    // An instance the launcher did not start is ignored.
    frm.HandleMessage({WM_CONTROL_OPENED, 12, kOstrelA, false});
    EXPECT_EQ(view.rows[0][colState], u"Closed");
    EXPECT_FALSE(frm.FrameHandle(PortName(12)));

    OpenPort(PortName(12), kOstrelA);
    EXPECT_EQ(view.rows[0][colState], u"Open");
    frm.HandleMessage({WM_CONTROL_CLOSE, 0, 7, false}); // another port
    EXPECT_EQ(view.rows[0][colState], u"Open");
    frm.HandleMessage({WM_CONTROL_CLOSE, 0, 12, false});
    EXPECT_EQ(view.rows[0][colState], u"Closed");
    EXPECT_FALSE(frm.FrameHandle(PortName(12)));

    // The "Error" row never turns Open through messages.
    view.selected = 1;
    frm.lvDeviceListDblClick();
    EXPECT_TRUE(frm.FrameHandle(u"Error"));
    frm.HandleMessage({WM_CONTROL_OPENED, 0, kOstrelB, false});
    EXPECT_EQ(view.rows[1][colState], u"Closed");

    frm.UpdateState(u"Open", PortName(99));
    EXPECT_EQ(Column(colState), (std::vector<std::u16string>{u"Closed", u"Closed"}));
    ExpectConsistent();
}

TEST_F(FrmMainTest, ScreenHandlesAreListedAndRemovedOneAtATime) {
    Create({});
    for (WindowHandle h : {11u, 12u, 11u})
        frm.HandleMessage({WM_SCREEN_OPENED, 0, h, true});
    frm.HandleMessage({WM_SCREEN_CLOSED, 0, 99, true}); // not listed: nothing
    frm.HandleMessage({WM_SCREEN_CLOSED, 0, 11, true}); // listed twice: one goes
    std::vector<WindowHandle> left;
    for (const auto& info : frm.ChildHandleList())
        left.push_back(info->Window_Handle);
    EXPECT_EQ(left, (std::vector<WindowHandle>{12, 11}));
}

TEST_F(FrmMainTest, RefreshIsRetriedOnceAndASecondFailureIsShown) {
    Create({Device(u"FT01", u"A", PortName(0))});
    source.devices = {Device(u"FT01", u"A", PortName(0)), Device(u"FT02", u"B", PortName(1))};
    source.failures = 1;
    frm.DoUSBArrival();
    EXPECT_EQ(view.rows.size(), 2u);
    EXPECT_TRUE(view.errors.empty());

    source.failures = 2;
    source.walks = 0;
    frm.DoUSBRemove();
    EXPECT_EQ(source.walks, 2);
    EXPECT_THAT(view.errors, ElementsAre("walk failed"));
    EXPECT_EQ(view.rows.size(), 2u);
    ExpectConsistent();
}

TEST_F(FrmMainTest, NotificationDuringTheMessageProcessingOfARefreshWalksAgainAfterIt) {
    Create({Device(u"FT01", u"A", PortName(0)), Device(u"FT02", u"B", PortName(1)),
            Device(u"FT03", u"C", PortName(2))});
    OpenPort(PortName(0), kOstrelA);
    OpenPort(PortName(1), kOstrelB);
    // Ports 0 and 1 go; while the first close is processed, port 2 goes too and a new one comes.
    source.devices = {Device(u"FT03", u"C", PortName(2))};
    bool nested = false;
    endpoint.onOutgoing = [&](const SentMessage& m) {
        if (m.msg == WM_CONTROL_CLOSE && !nested) {
            nested = true;
            loop.Post([&] {
                source.devices = {Device(u"FT04", u"D", PortName(3))};
                frm.DoUSBRemove();
            });
        }
    };
    frm.DoUSBRemove();
    EXPECT_EQ(Column(colPort), (std::vector<std::u16string>{PortName(3)}));
    EXPECT_THAT(MessagesOf(WM_CONTROL_CLOSE),
                ElementsAre(SentMessage{kOstrelA, WM_CONTROL_CLOSE, 0, 0, false},
                            SentMessage{kOstrelB, WM_CONTROL_CLOSE, 0, 0, false}));
    ExpectConsistent();
}

TEST_F(FrmMainTest, CloseTellsEveryStartedOstrelOnceAndIgnoresLaterEvents) {
    Create({Device(u"FT01", u"A", PortName(0)), Device(u"FT02", u"B", PortName(1)),
            Device(u"FT03", u"C", PortName(2))});
    OpenPort(PortName(2), kOstrelB);
    OpenPort(PortName(0), kOstrelA);
    view.selected = 1;
    frm.lvDeviceListDblClick(); // started, not announced: handle 0
    ASSERT_EQ(starter.started.size(), 3u);
    endpoint.log.clear();
    frm.FormClose();
    EXPECT_THAT(endpoint.log, ElementsAre(SentMessage{kOstrelA, WM_CONTROL_CLOSE, 0, 0, false},
                                          SentMessage{0, WM_CONTROL_CLOSE, 0, 0, false},
                                          SentMessage{kOstrelB, WM_CONTROL_CLOSE, 0, 0, false}));
    endpoint.log.clear();
    source.devices = {};
    frm.DoUSBRemove();
    frm.lvDeviceListDblClick();
    frm.FormClose();
    EXPECT_TRUE(endpoint.log.empty());
    EXPECT_EQ(starter.started.size(), 3u);
}

// The three flags of the group raising: each row starts from the given flags, lets one event happen
// and checks the flags afterwards and whether the group was raised.
TEST_F(FrmMainTest, ActivationFlags) {
    enum Event { Activate, Deactivate, Deactivated1028, Minimize, Restore, OtherCommand };
    struct Case {
        const char* name;
        bool minimized, restored, ignore;
        Event event;
        std::optional<WindowHandle> foreground;
        bool expMinimized, expRestored, expIgnore, raised;
    } cases[] = {
        {"first activation raises", false, false, false, Activate, 0, false, true, false, true},
        {"activation after a raise only clears", false, true, false, Activate, 0, false, false, false, false},
        {"activation after minimize only clears", true, false, false, Activate, 0, false, false, false,
         false},
        {"activation to ignore only clears", false, false, true, Activate, 0, false, false, false, false},
        {"losing activation to a foreign window", false, false, true, Deactivate, 9999, false, false, false,
         false},
        {"losing activation to an Ostrel window", false, false, false, Deactivate, kOstrelA, false, false,
         true, false},
        {"losing activation to an Ostrel screen", false, false, false, Deactivate, 77, false, false, true,
         false},
        {"losing activation to the launcher itself", false, false, false, Deactivate, 7001, false, false,
         true, false},
        {"foreground unknown counts as own", false, false, false, Deactivate, std::nullopt, false, false,
         true, false},
        {"1028 while a foreign window is in front", false, false, true, Deactivated1028, 9999, false, false,
         false, false},
        {"1028 while an Ostrel window is in front", false, false, false, Deactivated1028, kOstrelA, false,
         false, true, false},
        {"minimize", false, false, false, Minimize, 0, true, false, false, false},
        {"restore raises", true, false, false, Restore, 0, false, true, false, true},
        {"other system command", false, false, false, OtherCommand, 0, false, false, false, false},
    };
    Create({Device(u"FT01", u"A", PortName(0)), Device(u"FT02", u"B", PortName(1))});
    OpenPort(PortName(0), kOstrelA);
    frm.HandleMessage({WM_SCREEN_OPENED, 0, 77, true});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Reach the starting flags through events.
        view.foreground = kOstrelA;
        frm.Deactivate(); // ignore set
        frm.Activate();   // all clear
        if (c.minimized) frm.WMSysCommand(SC_MINIMIZE);
        if (c.ignore) frm.Deactivate();
        if (c.restored) {
            frm.WMSysCommand(0xF120);
            frm.WMSysCommand(0xF010);
        }
        ASSERT_EQ(frm.WasMinimized(), c.minimized);
        ASSERT_EQ(frm.WasRestored(), c.restored);
        ASSERT_EQ(frm.IgnoreNext(), c.ignore);

        view.foreground = c.foreground;
        endpoint.log.clear();
        view.raises = 0;
        switch (c.event) {
        case Activate:
            frm.Activate();
            break;
        case Deactivate:
            frm.Deactivate();
            break;
        case Deactivated1028:
            frm.HandleMessage({WM_CONTROL_DEACTIVATED, 0, 0, true});
            break;
        case Minimize:
            frm.WMSysCommand(SC_MINIMIZE);
            break;
        case Restore:
            frm.WMSysCommand(0xF120);
            break;
        case OtherCommand:
            frm.WMSysCommand(0xF122);
            break; // restore with low bits set is another command
        }
        EXPECT_EQ(frm.WasMinimized(), c.expMinimized);
        EXPECT_EQ(frm.WasRestored(), c.expRestored);
        EXPECT_EQ(frm.IgnoreNext(), c.expIgnore);
        if (c.raised) {
            EXPECT_THAT(endpoint.log, ElementsAre(SentMessage{kOstrelA, WM_CONTROL_TO_FRONT, 0, 0, true}));
            EXPECT_EQ(view.raises, 1) << "the launcher ends on top";
        } else {
            EXPECT_TRUE(endpoint.log.empty());
            EXPECT_EQ(view.raises, 0);
        }
    }
}

// While a window is being minimized the desktop has no foreground window for a moment; a deactivation
// seen then is judged by the window that is in front once the desktop has settled. An activation of the
// launcher before that comes straight from one of the group's windows and raises nothing.
TEST_F(FrmMainTest, DeactivationWithoutForegroundWindowIsJudgedOnceTheDesktopSettles) {
    enum Event { Deactivate, Deactivated1028 };
    struct Case {
        const char* name;
        Event event;
        std::optional<WindowHandle>
            settled; // in front after the moment; nullopt: the launcher activates first
        bool raised; // by the launcher's next activation
    } cases[] = {
        {"Ostrel minimized, the launcher activates at once", Deactivated1028, std::nullopt, false},
        {"launcher loses activation, activates again at once", Deactivate, std::nullopt, false},
        {"Ostrel minimized, an Ostrel screen comes to the front", Deactivated1028, 77, false},
        {"Ostrel minimized, a foreign window comes to the front", Deactivated1028, 9999, true},
        {"launcher loses activation to a foreign window", Deactivate, 9999, true},
        {"Ostrel minimized, nothing comes to the front", Deactivated1028, 0, true},
    };
    Create({Device(u"FT01", u"A", PortName(0))});
    OpenPort(PortName(0), kOstrelA);
    frm.HandleMessage({WM_SCREEN_OPENED, 0, 77, true});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.foreground = kOstrelA;
        frm.Deactivate();
        frm.Activate(); // all clear
        loop.RunFor(1000);

        view.foreground = 0;
        if (c.event == Deactivate)
            frm.Deactivate();
        else
            frm.HandleMessage({WM_CONTROL_DEACTIVATED, 0, 0, true});
        if (c.settled) {
            loop.RunFor(20);
            view.foreground = *c.settled;
            loop.RunFor(1000);
        }
        view.foreground = view.native;
        endpoint.log.clear();
        frm.Activate();
        if (c.raised)
            EXPECT_THAT(endpoint.log, ElementsAre(SentMessage{kOstrelA, WM_CONTROL_TO_FRONT, 0, 0, true}));
        else
            EXPECT_TRUE(endpoint.log.empty());
        EXPECT_FALSE(frm.IgnoreNext());
        // A later check of the settled desktop changes nothing any more.
        loop.RunFor(1000);
        EXPECT_FALSE(frm.IgnoreNext());
        frm.Activate(); // the activation after a raise only clears
    }
}

TEST_F(FrmMainTest, AboutButton) {
    Create({});
    frm.btnInformationMouseEnter();
    EXPECT_TRUE(view.aboutLabelVisible);
    frm.btnInformationMouseLeave();
    EXPECT_FALSE(view.aboutLabelVisible);
    frm.btnInformationClick();
    EXPECT_EQ(view.aboutBoxes, 1);
}

} // namespace
} // namespace mirota::test
