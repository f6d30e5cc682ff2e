// Starting Ostrel on Linux: the program beside the running launcher (found through /proc/self/exe),
// started with posix_spawn and one argv entry per parameter; ended children are reaped with waitpid,
// the last time when the starter goes.
#include "launcher/FrmMainStart.h"
#include "launcher/USBDeviceInfoCol.h"

#include <cerrno>
#include <climits>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mirota {

namespace {

class PosixBackend : public PlatformControlStarter::Backend {
public:
    ~PosixBackend() override { ReapFinished(); }

    bool Start(const std::string& program, const ControlStartParameters& parameters) override {
        std::vector<std::string> arguments{program};
        for (const std::u16string& parameter : ControlParameterList(parameters))
            arguments.push_back(ToUtf8(parameter));
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        pid_t pid = 0;
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
        children_.push_back(pid);
        return true;
    }

    void ReapFinished() override {
        for (auto it = children_.begin(); it != children_.end();) {
            int status = 0;
            const pid_t done = waitpid(*it, &status, WNOHANG);
            if (done == *it || (done < 0 && errno == ECHILD))
                it = children_.erase(it);
            else
                ++it;
        }
    }

    std::vector<int> Children() const override { return {children_.begin(), children_.end()}; }

private:
    std::vector<pid_t> children_;
};

} // namespace

std::string ProgramDirectory() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    std::string path(buffer, static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::unique_ptr<PlatformControlStarter::Backend> PlatformControlStarter::CreateBackend() {
    return std::make_unique<PosixBackend>();
}

} // namespace mirota
