// mirota-devsim as a process: the pty path on its first line, answers and packets on the pty, hosts that
// come and go, the line's rate, the hang-up fault, the link it makes, a clean end on SIGTERM.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

class Devsim {
public:
    explicit Devsim(std::vector<std::string> args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) < 0) return;
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        args.insert(args.begin(), MIROTA_DEVSIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
        if (pid_ > 0) path_ = FirstLine();
    }
    ~Devsim() {
        End(SIGKILL);
        ::close(out_);
    }
    const std::string& Path() const { return path_; }

    // Sends `signal` and returns the wait status (-1 when it did not end within 5 s).
    int End(int signal = SIGTERM) {
        if (pid_ <= 0) return status_;
        ::kill(pid_, signal);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                status = -1;
                break;
            }
            ::usleep(5000);
        }
        pid_ = -1;
        return status_ = status;
    }
    bool Running() {
        if (pid_ <= 0) return false;
        if (::waitpid(pid_, &status_, WNOHANG) == 0) return true;
        pid_ = -1;
        return false;
    }

private:
    std::string FirstLine() {
        std::string line;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c;
            if (::read(out_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return {};
    }
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::string path_;
};

// The host's end of the line, raw, as a serial program opens it.
class Host {
public:
    explicit Host(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
        ::tcflush(fd_, TCIOFLUSH);
    }
    ~Host() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    void Send(const std::string& s) {
        ASSERT_EQ(::write(fd_, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    }
    // Reads until `until` is in what came (or ms have passed); false when the line was hung up.
    bool Read(std::string& into, int ms, const std::string& until = {}) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < deadline) {
            if (!until.empty() && into.find(until) != std::string::npos) return true;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) return false; // EOF or EIO: the far end has gone
            into.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    std::string Ask(const std::string& command, const std::string& until, int ms = 2000) {
        Send(command);
        std::string got;
        Read(got, ms, until);
        return got;
    }

private:
    int fd_ = -1;
};

TEST(DevsimProgram, AnswersOnItsPtyAndSurvivesHostsComingAndGoing) {
    Devsim sim({"--firmware", "9.87", "--name", "Bench 7"});
    ASSERT_FALSE(sim.Path().empty()) << "the first line is the pty path";
    {
        Host host(sim.Path());
        ASSERT_TRUE(host.Ok());
        EXPECT_EQ(host.Ask("*$357\x1b", "\x1b"), "&3579.87\x1b");
        EXPECT_EQ(host.Ask("$5554\r", "\x1b"), "&5554\x1b");
    }
    // A host that closes the line does not end the device, nor does the next one find it reset.
    for (int i = 0; i < 2; ++i) {
        Host host(sim.Path());
        ASSERT_TRUE(host.Ok());
        EXPECT_EQ(host.Ask("$112", "\x1b"), "&112Bench 7\x1b");
        EXPECT_EQ(host.Ask("$555\x1b", "\x1b"), "&5554\x1b");
    }
    EXPECT_TRUE(sim.Running());
    const int status = sim.End(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(DevsimProgram, StreamStartsAndStopsWithinWhatTheLineCarries) {
    Devsim sim({"--rate", "1000"});
    Host host(sim.Path());
    ASSERT_TRUE(host.Ok());
    std::string got = host.Ask("$6661\r", "%007", 3000);
    ASSERT_NE(got.find("&6661\x1b"), std::string::npos) << got;
    EXPECT_NE(got.find("%001"), std::string::npos) << got;
    // Measured from here: the line's 1920 bytes per second at most, and busy.
    got.clear();
    const auto start = Clock::now();
    host.Read(got, 2000);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_LT(got.size() / seconds, 1920 * 1.1 + 100) << got.size();
    EXPECT_GT(got.size() / seconds, 1920 * 0.6) << got.size();
    got = host.Ask("$6660\r", "&6660\x1b", 3000);
    ASSERT_NE(got.find("&6660\x1b"), std::string::npos);
    got.clear();
    host.Read(got, 500);
    EXPECT_EQ(got.find('%'), std::string::npos) << got;
}

TEST(DevsimProgram, HangUpEndsTheLineAndTheLinkGoesWithIt) {
    const std::filesystem::path link =
        std::filesystem::temp_directory_path() / ("devsim-test-" + std::to_string(::getpid()) + "-ttyUSB0");
    Devsim sim({"--hangup-after", "600", "--link", link.string()});
    ASSERT_FALSE(sim.Path().empty());
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link), sim.Path());
    Host host(link.string());
    ASSERT_TRUE(host.Ok());
    EXPECT_EQ(host.Ask("$029", "\x1b"), "&02924.17\x1b");
    std::string got;
    EXPECT_FALSE(host.Read(got, 3000)) << "the host's read reports the line gone";
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_TRUE(sim.Running()) << "the program stays until it is ended";
    const int status = sim.End(SIGINT);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(DevsimProgram, LinkIsRemovedOnExit) {
    const std::filesystem::path link =
        std::filesystem::temp_directory_path() / ("devsim-test-" + std::to_string(::getpid()) + "-exit");
    Devsim sim({"--link", link.string()});
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    sim.End(SIGTERM);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(DevsimProgram, BadArgumentsEndWithUsage) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--rate", "fast"}, {"--bogus"}, {"--late"}}) {
        Devsim sim(args);
        EXPECT_TRUE(sim.Path().empty()) << args[0];
        const int status = sim.End(0); // only waits
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args[0] << " " << status;
    }
}

} // namespace
