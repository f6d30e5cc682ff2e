// The control screen's Qt window under the offscreen platform: geometry, caption, buttons, the
// device information list, the hover texts, the dialogs' captions and how the system boxes take input.
#include "../../unit/control/ControlFakes.h"
#include "../../unit/control/ScriptedDevice.h"
#include "control/ui/Artwork.h"
#include "control/ui/FrmMainOstrelWindow.h"
#include "control/ui/QtDialogs.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <QAccessible>
#include <QApplication>
#include <QEnterEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace mirota;
using namespace mirota::test;

namespace {

class WithApplication : public testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "control_window_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
};

class ControlWindow : public WithApplication {
protected:
    void Start(const std::string& description, std::filesystem::path cfg = {}) {
        logic = std::make_unique<TfrmMainOstrelScreen>(
            MainOstrelServices{loop, dialogs, factory, window, &endpoint, std::move(cfg),
                               [this] { return device.MakeBackend(); }});
        window.SetLogic(logic.get());
        logic->FormCreate({"COM3", description, "FT5X2KQ9", "0"});
        window.show();
        QApplication::processEvents(); // the start sequence runs from the event loop after showing
        loop.RunFor(200);
    }
    void TearDown() override {
        window.SetLogic(nullptr);
        window.hide();
    }

    QLabel* InfoHeader() { return window.findChild<QLabel*>("lblInformation"); }
    QString InfoText() { return window.findChild<QPlainTextEdit*>("mmoInformation")->toPlainText(); }
    void Hover(ScreenKind kind) {
        QWidget* b = window.Button(kind);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), b->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(b, &enter);
    }
    void Leave(ScreenKind kind) {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(window.Button(kind), &leave);
    }

    SimulatedLoop loop;
    FakeDialogs dialogs;
    FakeFactory factory;
    FakeEndpoint endpoint;
    ScriptedDevice device{loop};
    TfrmMainOstrelWindow window;
    std::unique_ptr<TfrmMainOstrelScreen> logic;
};

TEST_F(ControlWindow, IsFixedAt762By527WithItsCaption) {
    EXPECT_EQ(window.windowTitle(), "Control-Screen");
    Start("Mirota DMS 2000");
    EXPECT_EQ(window.size(), QSize(762, 527));
    EXPECT_EQ(window.minimumSize(), QSize(762, 527));
    EXPECT_EQ(window.maximumSize(), QSize(762, 527));
    EXPECT_EQ(window.windowTitle(), "Control-Screen(FT5X2KQ9)");
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(ControlWindow, ButtonsCarryTheirCaptionsInOrder) {
    Start("Mirota DMS 2000");
    const std::pair<ScreenKind, QString> order[] = {{ScreenKind::Terminal, "TERMINAL"},
                                                    {ScreenKind::Settings, "SETTINGS"},
                                                    {ScreenKind::Values, "VALUES"},
                                                    {ScreenKind::Power, "POWER"}};
    int y = -1;
    for (const auto& [kind, caption] : order) {
        NavigationButton* b = window.Button(kind);
        EXPECT_TRUE(b->isVisible());
        EXPECT_EQ(b->text(), caption);
        EXPECT_EQ(b->accessibleName(), caption);
        EXPECT_EQ(b->size(), QSize(577, 65));
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
        EXPECT_GT(b->y(), y);
        y = b->y();
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), caption);
    }
}

TEST_F(ControlWindow, OnlyTerminalForADescriptionWithoutMirota) {
    Start("DMS 2000");
    EXPECT_TRUE(window.Button(ScreenKind::Terminal)->isVisible());
    EXPECT_FALSE(window.Button(ScreenKind::Settings)->isVisible());
    EXPECT_FALSE(window.Button(ScreenKind::Values)->isVisible());
    EXPECT_FALSE(window.Button(ScreenKind::Power)->isVisible());
}

TEST_F(ControlWindow, DeviceInformationListHasGroupsAndTheReplies) {
    Start("Mirota DMS 2000");
    auto* list = window.findChild<QTreeWidget*>("lvDeviceInformation");
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isHeaderHidden());
    ASSERT_EQ(list->topLevelItemCount(), 4);
    const QStringList groups{"Name", "Version", "Serialnumber", "Port"};
    const std::vector<QStringList> items{{"DMS 2000", "Mirota DMS 2000"}, {"2.31"}, {"FT5X2KQ9"}, {"COM3"}};
    for (int g = 0; g < 4; ++g) {
        QTreeWidgetItem* group = list->topLevelItem(g);
        EXPECT_EQ(group->text(0), groups[g]);
        EXPECT_EQ(group->textAlignment(0), int(Qt::AlignCenter));
        EXPECT_TRUE(group->isExpanded());
        ASSERT_EQ(group->childCount(), items[g].size());
        for (int i = 0; i < group->childCount(); ++i)
            EXPECT_EQ(group->child(i)->text(0), items[g][i]);
    }
    // The list tells assistive technology what it shows.
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(QAccessible::Name), "DEVICE-INFORMATION");
    bool found = false;
    for (int i = 0; i < a->childCount(); ++i)
        if (QAccessibleInterface* c = a->child(i); c && c->text(QAccessible::Name) == "DMS 2000")
            found = true;
    EXPECT_TRUE(found);
}

TEST_F(ControlWindow, HoverTextsFollowTheCfgFile) {
    const auto cfg = WriteCfg("gui-hover", "[DEFAULT]\ncaption=Overview\ninfo1=Pick one\n"
                                           "[POWER]\ncaption=Power supply\ninfo1=a\ninfo2=b\ninfo3=c\n");
    Start("Mirota DMS 2000", cfg);
    EXPECT_EQ(InfoHeader()->text(), "INFORMATION");
    EXPECT_EQ(InfoText(), "For more information, move the cursor on the icon.");
    Hover(ScreenKind::Power);
    EXPECT_TRUE(window.Button(ScreenKind::Power)->Hovered());
    EXPECT_EQ(InfoHeader()->text(), "Power supply");
    EXPECT_EQ(InfoText(), "a\nb\nc");
    Leave(ScreenKind::Power);
    EXPECT_FALSE(window.Button(ScreenKind::Power)->Hovered());
    EXPECT_EQ(InfoHeader()->text(), "Overview");
    EXPECT_EQ(InfoText(), "Pick one");
    std::filesystem::remove_all(cfg);
}

TEST_F(ControlWindow, HoverWithAnEmptyCfgEmptiesThePanel) {
    const auto cfg = WriteCfg("gui-empty", "");
    Start("Mirota DMS 2000", cfg);
    Hover(ScreenKind::Power);
    EXPECT_EQ(InfoHeader()->text(), "");
    EXPECT_EQ(InfoText(), "\n\n");
    Leave(ScreenKind::Power);
    EXPECT_EQ(InfoText(), "");
    std::filesystem::remove_all(cfg);
}

TEST_F(ControlWindow, ClickOpensTheScreenAndHidesTheWindow) {
    Start("Mirota DMS 2000");
    window.Button(ScreenKind::Values)->click();
    EXPECT_EQ(factory.created, std::vector<ScreenKind>{ScreenKind::Values});
    EXPECT_FALSE(window.isVisible());
    logic->ClosingCurrentFrame(false);
    EXPECT_TRUE(window.isVisible());
}

using Artwork = WithApplication;

TEST_F(Artwork, PicturesHaveTheirSizes) {
    EXPECT_EQ(MakeLogo().size(), QSize(202, 64));
    for (bool hover : {false, true}) {
        const auto icons = MakeIconList(hover);
        ASSERT_EQ(icons.size(), 4u);
        for (const QPixmap& p : icons) {
            EXPECT_EQ(p.size(), QSize(70, 63));
            EXPECT_TRUE(p.hasAlphaChannel());
        }
    }
    EXPECT_NE(MakeIconList(false)[kIconPower].toImage(), MakeIconList(true)[kIconPower].toImage());
}

TEST(InstancePosition, CentredThenOneStepPerPortNumber) {
    const QRect area(0, 0, 1920, 1080);
    const QSize frame(762, 527);
    const QPoint centre(579, 276);
    EXPECT_EQ(InstancePosition(area, frame, std::nullopt), centre);
    EXPECT_EQ(InstancePosition(area, frame, 0), centre);
    EXPECT_EQ(InstancePosition(area, frame, 1), centre + QPoint(kInstanceStep, kInstanceStep));
    EXPECT_EQ(InstancePosition(area, frame, 3), centre + QPoint(3 * kInstanceStep, 3 * kInstanceStep));
    EXPECT_EQ(InstancePosition(area, frame, 8), centre) << "eight steps, then round again";
    // Two adapters side by side never open on top of each other.
    EXPECT_NE(InstancePosition(area, frame, 0), InstancePosition(area, frame, 1));
}

using QtDialogsTest = WithApplication;

TEST_F(QtDialogsTest, CaptionsAndButtonsAreTheApplications) {
    struct Case {
        DialogKind kind;
        DialogButtons buttons;
        QString caption;
        QStringList texts;
        DialogResult result;
    } cases[] = {
        {DialogKind::Error, DialogButtons::Ok, "Fehler", {"OK"}, DialogResult::Ok},
        {DialogKind::Information, DialogButtons::Ok, "Informationen", {"OK"}, DialogResult::Ok},
        {DialogKind::Warning, DialogButtons::YesNo, "Warnung", {"&Ja", "&Nein"}, DialogResult::No},
    };
    for (const Case& c : cases) {
        QtDialogs dialogs;
        QString caption, text;
        QStringList buttons;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            box->buttons().last()->click();
        });
        EXPECT_EQ(dialogs.ShowDialog(c.kind, "Unable to open com port.\r\nMake sure", c.buttons), c.result);
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(text, "Unable to open com port.\nMake sure");
        buttons.sort();
        QStringList expected = c.texts;
        expected.sort();
        EXPECT_EQ(buttons, expected);
    }
}

TEST_F(QtDialogsTest, SystemBoxesLeaveTheOtherWindowsUsableAndReturnOnlyWhenAnswered) {
    // A screen with a button beside the box; the click goes through the window system's path, where a
    // modal box would swallow it.
    QWidget screen;
    screen.setGeometry(40, 40, 300, 120);
    auto* button = new QPushButton("Measure", &screen);
    button->setGeometry(10, 10, 100, 30);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));

    QtDialogs dialogs(&screen);
    bool returned = false;
    bool boxShown = false;
    bool boxBlocks = true;
    int clicksWhileShown = -1;
    QString caption;
    QTimer::singleShot(50, [&] {
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
        ASSERT_NE(box, nullptr);
        boxShown = true;
        caption = box->windowTitle();
        boxBlocks = box->parentWidget() != nullptr || box->windowModality() != Qt::NonModal;
        QTest::mouseClick(screen.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
        QApplication::processEvents();
        clicksWhileShown = clicks;
        EXPECT_FALSE(returned) << "the code after the box runs only after OK";
        box->buttons().first()->click();
    });
    const DialogResult result =
        dialogs.ShowSystemBox("The last command was not executed properly!", "Timeout...",
                              DialogKind::Information, DialogButtons::Ok);
    returned = true;
    ASSERT_TRUE(boxShown);
    EXPECT_EQ(result, DialogResult::Ok);
    EXPECT_EQ(caption, "Timeout...");
    EXPECT_FALSE(boxBlocks) << "owner-less and not modal";
    EXPECT_EQ(clicksWhileShown, 1) << "the screen's button works while the box is shown";
}

TEST_F(QtDialogsTest, ApplicationDialogsStayModalAndAnEmptyTitleStaysVisiblyEmpty) {
    QWidget screen;
    screen.show();
    QtDialogs dialogs(&screen);
    Qt::WindowModality modality = Qt::NonModal;
    QString title = "unset";
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        modality = box->windowModality();
        box->buttons().first()->click();
    });
    dialogs.ShowDialog(DialogKind::Error, "Unable to open com port.", DialogButtons::Ok);
    EXPECT_NE(modality, Qt::NonModal);

    QTimer::singleShot(50, [&] {
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        box->buttons().first()->click();
    });
    dialogs.ShowSystemBox("Configuration complete...", "", DialogKind::Information, DialogButtons::Ok);
    // An empty title would show the program's name on X11.
    EXPECT_EQ(title, " ");
}

TEST_F(QtDialogsTest, AnInputBoxShowsAHugeValueShortAndReturnsItWholeUnlessChanged) {
    const std::string huge = "v" + std::string(3 * 1024 * 1024, '7');
    struct Case {
        const char* name;
        std::string value;
        std::optional<QString> typed; // unset: OK on the text as shown
        std::string expected;
    } cases[] = {
        {"a short value unchanged", "250", std::nullopt, "250"},
        {"a huge value unchanged", huge, std::nullopt, huge},
        {"a huge value replaced", huge, QString("300"), "300"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QtDialogs dialogs;
        qsizetype shownLength = -1;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shownLength = box->textValue().size();
            if (c.typed) box->setTextValue(*c.typed);
            box->accept();
        });
        const std::optional<std::string> got =
            dialogs.InputBox("New value...", "Please insert a new value", c.value);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->size(), c.expected.size());
        EXPECT_TRUE(*got == c.expected); // not printed: megabytes
        EXPECT_GT(shownLength, 0);
        EXPECT_LE(shownLength, 2001); // at most 2000 bytes and the ellipsis
    }
}

} // namespace
