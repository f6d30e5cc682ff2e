#pragma once
// The device simulator program serving a pseudo-terminal, run as a child process for the length of a test.
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mirota::test {

class DevsimProcess {
public:
    // Starts `program` with `args` and reads the line path from its first line of output.
    DevsimProcess(const std::string& program, const std::vector<std::string>& args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) < 0) return;
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
        if (pid_ > 0) path_ = ReadLine(10000);
    }
    ~DevsimProcess() {
        Stop();
        if (out_ >= 0) ::close(out_);
    }
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    bool Ok() const { return pid_ > 0 && !path_.empty(); }
    const std::string& LinePath() const { return path_; }

    // Ends the simulator (its pty goes with it) and waits for it.
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            ::usleep(10'000);
        }
        pid_ = -1;
    }

    // True once the simulator has ended by itself.
    bool Exited() {
        if (pid_ <= 0) return true;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return true;
        }
        return false;
    }

private:
    std::string ReadLine(int timeoutMs) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
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
    std::string path_;
};

} // namespace mirota::test
