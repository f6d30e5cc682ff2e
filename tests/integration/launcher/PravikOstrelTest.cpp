// Pravik's window logic with the real messenger starts the real ostrel (beside this test program) on
// pseudo-terminals that stand in for the adapters' serial lines, and the two programs talk for real.
// The view and the USB walk are substitutes; everything between the programs is not.
#include "PravikFakes.h"
#include "launcher/FrmMainStart.h"
#include "loop/qt/QtMessageLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace mirota::test {
namespace {

namespace fs = std::filesystem;

// One simulated adapter's line: the master side read by the test, the slave named in the device dir.
struct Line {
    int master = -1;
    int slave = -1;
    std::string received;
    ~Line() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
};

class CountingStarter : public ControlProgramStarter {
public:
    bool StartControlProgram(const ControlStartParameters& parameters) override {
        ++starts;
        return real.StartControlProgram(parameters);
    }
    PlatformControlStarter real;
    int starts = 0;
};

class PravikOstrelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "pravik_ostrel_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    }

    void SetUp() override {
        ASSERT_TRUE(fs::exists(ControlProgramPath())) << ControlProgramPath();
        char pattern[] = "/tmp/pravik-it-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        dir = pattern;
        fs::create_directory(dir / "dev");
        ::setenv("MIROTA_DEVICE_DIR", (dir / "dev").c_str(), 1);
        ::setenv("MIROTA_MESSAGE_DIR", (dir / "msg").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

        MessengerOptions options;
        options.Directory = (dir / "msg").string();
        options.Watch = loop.DescriptorWatcher();
        messenger = CreatePlatformMessenger(loop, options);
        endpoint = messenger->CreateEndpoint();
        ASSERT_TRUE(endpoint);
        frm = std::make_unique<TFRM_Main>(view, source, starter, *endpoint, loop);
        endpoint->OnMessage = [this](const WindowMessage& m) {
            received.push_back(m);
            return frm->HandleMessage(m);
        };
    }

    void TearDown() override {
        if (endpoint) endpoint->OnMessage = nullptr;
        for (pid_t pid : starter.real.Children()) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        frm.reset();
        endpoint.reset();
        lines.clear();
        fs::remove_all(dir);
    }

    // A pseudo-terminal reachable as <device dir>/<tty>.
    void AddLine(const std::string& tty) {
        auto line = std::make_unique<Line>();
        line->master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(line->master, 0);
        ASSERT_EQ(::grantpt(line->master), 0);
        ASSERT_EQ(::unlockpt(line->master), 0);
        const std::string slavePath = ::ptsname(line->master);
        // Held open so that the master reads what Ostrel writes, whenever it writes it.
        line->slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(line->slave, 0);
        termios raw{};
        ::tcgetattr(line->slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(line->slave, TCSANOW, &raw);
        fs::create_symlink(slavePath, dir / "dev" / tty);
        lines[tty] = std::move(line);
    }

    void Drain() {
        char buffer[256];
        for (auto& [tty, line] : lines)
            for (ssize_t n; (n = ::read(line->master, buffer, sizeof buffer)) > 0;)
                line->received.append(buffer, static_cast<std::size_t>(n));
    }

    // Runs the launcher's loop until done() holds; false after timeoutMs.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            loop.WaitForMessage(20);
            loop.ProcessMessages();
            Drain();
        }
        return true;
    }

    void DoubleClick(const std::u16string& port) {
        for (std::size_t i = 0; i < view.rows.size(); ++i)
            if (view.rows[i][colPort] == port) view.selected = static_cast<int>(i);
        frm->lvDeviceListDblClick();
    }

    std::u16string StateOf(const std::u16string& port) const {
        for (const TDeviceRow& row : view.rows)
            if (row[colPort] == port) return row[colState];
        return u"(no row)";
    }

    bool Exited(pid_t pid) {
        int status = 0;
        if (exited.count(pid)) return true;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            exited[pid] = status;
            return true;
        }
        return false;
    }

    int CountReceived(std::uint32_t msg) const {
        int n = 0;
        for (const WindowMessage& m : received)
            n += m.Msg == msg;
        return n;
    }

    fs::path dir;
    QtMessageLoop loop;
    std::unique_ptr<Messenger> messenger;
    std::unique_ptr<MessageEndpoint> endpoint;
    FakeView view;
    FakeSource source;
    CountingStarter starter;
    std::unique_ptr<TFRM_Main> frm;
    std::map<std::string, std::unique_ptr<Line>> lines;
    std::vector<WindowMessage> received;
    std::map<pid_t, int> exited;
};

TEST_F(PravikOstrelTest, OpenBringForwardAndUnplug) {
    AddLine("ttyUSB7");
    AddLine("ttyUSB8");
    source.devices = {Device(u"FT7A", u"Mirota DMS 2", u"ttyUSB7"),
                      Device(u"FT8B", u"USB Serial Converter", u"ttyUSB8")};
    frm->FormCreate();

    // The description with a blank arrives as one parameter: Ostrel starts and announces port 7.
    DoubleClick(u"ttyUSB7");
    ASSERT_EQ(starter.starts, 1);
    ASSERT_EQ(starter.real.Children().size(), 1u);
    const pid_t ostrel = starter.real.Children().front();
    ASSERT_TRUE(RunUntil([&] { return StateOf(u"ttyUSB7") == u"Open"; }))
        << "no WM_CONTROL_OPENED for port 7";
    const auto handle = frm->FrameHandle(u"ttyUSB7");
    ASSERT_TRUE(handle && *handle != 0);
    // Ostrel talks to its device on the line it was given.
    ASSERT_TRUE(RunUntil([&] { return lines["ttyUSB7"]->received.find("$112") != std::string::npos; }))
        << lines["ttyUSB7"]->received;

    // A second double click brings it forward and starts nothing; Ostrel answers the message with 1.
    DoubleClick(u"ttyUSB7");
    EXPECT_EQ(starter.starts, 1);
    EXPECT_EQ(endpoint->Send(*handle, WM_CONTROL_TO_FRONT, 0, 0), std::optional<MessageResult>(1));

    // Unplugged: row and entry go, and that Ostrel closes without a word to the device or to Pravik.
    const std::size_t mark = lines["ttyUSB7"]->received.size();
    source.devices = {Device(u"FT8B", u"USB Serial Converter", u"ttyUSB8")};
    frm->DoUSBRemove();
    EXPECT_EQ(view.rows.size(), 1u);
    EXPECT_FALSE(frm->FrameHandle(u"ttyUSB7"));
    ASSERT_TRUE(RunUntil([&] { return Exited(ostrel); })) << "Ostrel did not close";
    RunUntil([] { return false; }, 300); // anything it might still post arrives now
    EXPECT_EQ(lines["ttyUSB7"]->received.substr(mark).find("$6660"), std::string::npos)
        << lines["ttyUSB7"]->received.substr(mark);
    EXPECT_EQ(CountReceived(WM_CONTROL_CLOSE), 0);
    EXPECT_TRUE(WIFEXITED(exited[ostrel]));
}

TEST_F(PravikOstrelTest, ClosingPravikClosesEveryOstrel) {
    AddLine("ttyUSB3");
    AddLine("ttyUSB12");
    source.devices = {Device(u"FT3", u"Mirota MX 4", u"ttyUSB3"),
                      Device(u"FT12", u"USB Serial Converter", u"ttyUSB12")};
    frm->FormCreate();
    DoubleClick(u"ttyUSB3");
    DoubleClick(u"ttyUSB12");
    ASSERT_EQ(starter.real.Children().size(), 2u);
    const std::vector<pid_t> pids = starter.real.Children();
    ASSERT_TRUE(RunUntil([&] { return StateOf(u"ttyUSB3") == u"Open" && StateOf(u"ttyUSB12") == u"Open"; }));

    frm->FormClose();
    ASSERT_TRUE(RunUntil([&] { return Exited(pids[0]) && Exited(pids[1]); })) << "not every Ostrel closed";
    EXPECT_EQ(CountReceived(WM_CONTROL_CLOSE), 0);
}

#ifdef MIROTA_DEVSIM_PROGRAM
// The whole chain on the device simulator: Pravik starts Ostrel for the simulated adapter, Ostrel
// asks the device for its name over the line, Pravik shows the row open and closes it on unplug.
TEST_F(PravikOstrelTest, OstrelStartedByPravikTalksToTheSimulatedDevice) {
    // The simulator prints its pty's path on its first line.
    const fs::path simOut = dir / "sim.out";
    const std::string command = std::string("exec ") + MIROTA_DEVSIM_PROGRAM +
                                " --name 'DMS 2000' --firmware 2.31 > " + simOut.string() +
                                " 2>/dev/null & echo $!";
    FILE* shell = ::popen(command.c_str(), "r");
    ASSERT_TRUE(shell);
    int simPid = 0;
    ASSERT_EQ(std::fscanf(shell, "%d", &simPid), 1);
    ::pclose(shell);
    std::string pty;
    for (int i = 0; i < 100 && pty.empty(); ++i) {
        std::ifstream(simOut) >> pty;
        if (pty.empty()) ::usleep(50000);
    }
    ASSERT_FALSE(pty.empty());
    fs::create_symlink(pty, dir / "dev" / "ttyUSB5");

    source.devices = {Device(u"FT5S", u"Mirota DMS", u"ttyUSB5")};
    frm->FormCreate();
    // Ostrel echoes its device information on standard output when asked to; catch it in a file.
    const fs::path trace = dir / "ostrel.out";
    ::setenv("MIROTA_OSTREL_TRACE", "1", 1);
    std::fflush(stdout);
    const int savedOut = ::dup(1);
    const int traceFd = ::open(trace.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(traceFd, 1);
    DoubleClick(u"ttyUSB5");
    ::dup2(savedOut, 1);
    ::close(savedOut);
    ::close(traceFd);
    ::unsetenv("MIROTA_OSTREL_TRACE");
    ASSERT_EQ(starter.real.Children().size(), 1u);
    const pid_t ostrel = starter.real.Children().front();

    auto traced = [&] {
        std::ifstream in(trace);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    EXPECT_TRUE(RunUntil([&] { return StateOf(u"ttyUSB5") == u"Open"; }));
    EXPECT_TRUE(RunUntil([&] { return traced().find("DMS 2000") != std::string::npos; })) << traced();

    source.devices = {};
    frm->DoUSBRemove();
    EXPECT_TRUE(RunUntil([&] { return Exited(ostrel); })) << "Ostrel did not close";
    EXPECT_EQ(CountReceived(WM_CONTROL_CLOSE), 0);
    ::kill(simPid, SIGTERM);
}
#endif

} // namespace
} // namespace mirota::test
