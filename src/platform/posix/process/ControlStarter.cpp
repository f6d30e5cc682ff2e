// Starting Ostrel on Linux: the program beside the running launcher (found through /proc/self/exe),
// started with posix_spawn and one argv entry per parameter; ended children are reaped with waitpid.
#include "launcher/FrmMainStart.h"
#include "launcher/USBDeviceInfoCol.h"
#include "platform/ProgramNames.h"

#include <cerrno>
#include <climits>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mirota {

struct PlatformControlStarter::Backend {
    std::vector<pid_t> Children;
};

std::string ProgramDirectory() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    std::string path(buffer, static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ControlProgramPath() {
    const std::string dir = ProgramDirectory();
    return dir.empty() ? std::string() : dir + kControlProgramFile;
}

PlatformControlStarter::PlatformControlStarter(std::string program)
    : FProgram(program.empty() ? ControlProgramPath() : std::move(program)),
      FBackend(std::make_unique<Backend>()) {}

PlatformControlStarter::~PlatformControlStarter() {
    ReapFinished();
}

std::vector<int> PlatformControlStarter::Children() const {
    return {FBackend->Children.begin(), FBackend->Children.end()};
}

void PlatformControlStarter::ReapFinished() {
    std::vector<pid_t>& children = FBackend->Children;
    for (auto it = children.begin(); it != children.end();) {
        int status = 0;
        const pid_t done = waitpid(*it, &status, WNOHANG);
        if (done == *it || (done < 0 && errno == ECHILD))
            it = children.erase(it);
        else
            ++it;
    }
}

bool PlatformControlStarter::StartControlProgram(const ControlStartParameters& parameters) {
    ReapFinished();
    if (FProgram.empty()) return false;
    std::vector<std::string> arguments{FProgram};
    for (const std::u16string& parameter : ControlParameterList(parameters))
        arguments.push_back(ToUtf8(parameter));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, FProgram.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
    FBackend->Children.push_back(pid);
    return true;
}

} // namespace mirota
