// Why a serial device cannot be opened, found on real files and pseudo-terminals: the device file's
// group for a refused permission, the process that holds a busy line, a missing device.
#include "link/ComPort.h"
#include "platform/posix/serial/PortDiagnosis.h"
#include "platform/posix/serial/TermiosBackend.h"

#include "PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace mirota;

namespace {

// A group with a name for the test file: dialout where it exists, else the caller's own group.
struct NamedGroup {
    gid_t gid;
    std::string name;
};

NamedGroup PickGroup() {
    if (const group* g = ::getgrnam("dialout"); g && ::geteuid() == 0) return {g->gr_gid, g->gr_name};
    const group* own = ::getgrgid(::getegid());
    return {::getegid(), own ? own->gr_name : ""};
}

// A regular file in /tmp with mode 000 owned by the chosen group, as a device the user may not use.
struct LockedFile {
    std::string path;
    NamedGroup group = PickGroup();
    LockedFile() {
        char name[] = "/tmp/mirota-locked-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) return;
        ::close(fd);
        path = name;
        if (::chown(name, static_cast<uid_t>(-1), group.gid) != 0) group = {::getegid(), ""};
        ::chmod(name, 0);
    }
    ~LockedFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

std::string OwnCommandName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

TEST(OpenFailure, TheSystemsReasonSelectsTheFactsOfARealFile) {
    LockedFile file;
    ASSERT_FALSE(file.path.empty());
    ASSERT_FALSE(file.group.name.empty());
    struct Case {
        const char* what;
        std::string path;
        int error;
        OpenFailureKind kind;
        std::string group;
    } cases[] = {
        {"permission denied", file.path, EACCES, OpenFailureKind::PermissionDenied, file.group.name},
        {"operation not permitted", file.path, EPERM, OpenFailureKind::PermissionDenied, file.group.name},
        {"busy, nobody else holds it", file.path, EBUSY, OpenFailureKind::Busy, ""},
        {"missing", "/tmp/mirota-no-such-adapter/ttyUSB0", ENOENT, OpenFailureKind::NotFound, ""},
        {"driver gone", file.path, ENODEV, OpenFailureKind::NotFound, ""},
        {"input/output error", file.path, EIO, OpenFailureKind::Other, ""},
    };
    for (const Case& c : cases) {
        const OpenFailureFacts facts = ExamineDeviceOpenFailure(c.path, c.error);
        EXPECT_EQ(facts.Kind, c.kind) << c.what;
        EXPECT_EQ(facts.Device, c.path) << c.what;
        EXPECT_EQ(facts.Group, c.group) << c.what;
        EXPECT_TRUE(facts.Holders.empty()) << c.what;
    }
    const std::string advice = OpenFailureAdvice(ExamineDeviceOpenFailure(file.path, EACCES));
    EXPECT_NE(advice.find("sudo usermod -aG " + file.group.name + " $USER"), std::string::npos) << advice;
}

TEST(OpenFailure, AMissingDeviceIsReportedAsGone) {
    TermiosBackend backend;
    const std::string path = "/tmp/mirota-no-such-adapter/ttyUSB0";
    const int error = backend.OpenDevice(path);
    ASSERT_EQ(error, ENOENT);
    const std::string advice = OpenFailureAdvice(backend.ExamineOpenFailure(path, error));
    EXPECT_EQ(advice,
              path +
                  " does not exist: the adapter is gone. Plug it in again and open the device from Pravik.");
}

// A process that has the line open until the test lets it go; with `lock` it locks the line as a
// terminal program does.
struct Holder {
    pid_t pid = -1;
    int release = -1;
    Holder(const std::string& path, bool lock) {
        int ready[2];
        int hold[2];
        if (::pipe(ready) != 0 || ::pipe(hold) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            ::close(hold[1]);
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
            const char ok = fd >= 0 && (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? 1 : 0;
            [[maybe_unused]] auto w = ::write(ready[1], &ok, 1);
            char c;
            [[maybe_unused]] auto r = ::read(hold[0], &c, 1); // until the test closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(hold[0]);
        release = hold[1];
        char ok = 0;
        if (pid < 0 || ::read(ready[0], &ok, 1) != 1 || ok != 1)
            pid = -pid - 2; // not holding: Ok() is false, the child is still waited for
        ::close(ready[0]);
    }
    bool Ok() const { return pid > 0; }
    ~Holder() {
        if (release >= 0) ::close(release);
        const pid_t child = pid > 0 ? pid : -pid - 2;
        if (child > 0) ::waitpid(child, nullptr, 0);
    }
};

// Another process locks the line, as a terminal program does, while a third merely has it open (as
// the far end of a pseudo-terminal): the port is busy and the advice names the one that locks it.
TEST(OpenFailure, ABusyLineNamesTheProcessThatHoldsIt) {
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    Holder open(pty.SlavePath(), false);
    ASSERT_TRUE(open.Ok());
    // Without a lock, every other process that has the line open counts.
    const std::vector<PortHolder> before = ProcessesHoldingDevice(pty.SlavePath());
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].ProcessId, open.pid);
    Holder locker(pty.SlavePath(), true);
    ASSERT_TRUE(locker.Ok());

    TermiosBackend backend;
    const int error = backend.OpenDevice(pty.SlavePath());
    ASSERT_EQ(error, EBUSY);
    const OpenFailureFacts facts = backend.ExamineOpenFailure(pty.SlavePath(), error);
    ASSERT_EQ(facts.Kind, OpenFailureKind::Busy);
    ASSERT_EQ(facts.Holders.size(), 1u); // neither this process nor the one without a lock
    EXPECT_EQ(facts.Holders[0].ProcessId, locker.pid);
    EXPECT_EQ(facts.Holders[0].Program, OwnCommandName());
    EXPECT_EQ(OpenFailureAdvice(facts), pty.SlavePath() + " is in use by " + OwnCommandName() + " (process " +
                                            std::to_string(locker.pid) + "): end it and try again.");
}

// Run by the next test as an unprivileged user: opens the file named by MIROTA_LOCKED_DEVICE and
// prints the advice for the refusal.
TEST(OpenFailure, UnprivilegedChild) {
    const char* path = std::getenv("MIROTA_LOCKED_DEVICE");
    if (!path) GTEST_SKIP() << "run by UnprivilegedUserIsToldTheGroupToJoin";
    TermiosBackend backend;
    const int error = backend.OpenDevice(path);
    std::printf("error=%d\nadvice=%s\n", error,
                OpenFailureAdvice(backend.ExamineOpenFailure(path, error)).c_str());
}

// Root opens any file, so the refusal itself is tried as the user nobody (setpriv), where available.
TEST(OpenFailure, UnprivilegedUserIsToldTheGroupToJoin) {
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "needs root and setpriv to become an unprivileged user";
    LockedFile file;
    ASSERT_FALSE(file.path.empty());
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    const std::string command = "MIROTA_LOCKED_DEVICE='" + file.path +
                                "' /usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups '" +
                                std::string(self) + "' --gtest_filter=OpenFailure.UnprivilegedChild 2>&1";
    FILE* out = ::popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, out))
        text += buffer;
    const int status = ::pclose(out);
    if (text.find("error=") == std::string::npos)
        GTEST_SKIP() << "the unprivileged user cannot run this test program:\n" << text;
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("error=" + std::to_string(EACCES) + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("join its group " + file.group.name + " with \"sudo usermod -aG " + file.group.name +
                        " $USER\" and log in again"),
              std::string::npos)
        << text;
}

} // namespace
