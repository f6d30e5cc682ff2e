#include "platform/posix/serial/PortDiagnosis.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <vector>

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirota {

namespace {

// Calls f(name) for every entry of dir except "." and "..".
template <typename F>
void ForEachEntry(const std::string& dir, F&& f) {
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            f(name);
    }
    ::closedir(d);
}

bool ParsePid(const std::string& name, int& pid) {
    const char* end = name.data() + name.size();
    const auto [p, ec] = std::from_chars(name.data(), end, pid);
    return ec == std::errc() && p == end && pid > 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) || S_ISBLK(a.st_mode))
        return (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT) && a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

std::string DeviceGroupName(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    std::vector<char> buffer(4096);
    for (;;) {
        group g {};
        group* found = nullptr;
        const int rc = ::getgrgid_r(st.st_gid, &g, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return rc == 0 && found && found->gr_name ? std::string(found->gr_name) : std::string();
    }
}

std::vector<PortHolder> ProcessesHoldingDevice(const std::string& path, const std::string& procRoot) {
    std::vector<PortHolder> holders;
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0)
        return holders;
    const int self = static_cast<int>(::getpid());
    ForEachEntry(procRoot, [&](const std::string& name) {
        int pid = 0;
        if (!ParsePid(name, pid) || pid == self)
            return;
        const std::string fdDir = procRoot + "/" + name + "/fd";
        bool holds = false;
        ForEachEntry(fdDir, [&](const std::string& fd) {
            struct stat st {};
            if (!holds && ::stat((fdDir + "/" + fd).c_str(), &st) == 0 && SameFile(device, st))
                holds = true;
        });
        if (!holds)
            return;
        PortHolder holder;
        holder.ProcessId = pid;
        std::ifstream comm(procRoot + "/" + name + "/comm");
        std::getline(comm, holder.Program);
        holders.push_back(std::move(holder));
    });
    return holders;
}

OpenFailureFacts ExamineDeviceOpenFailure(const std::string& path, int error) {
    OpenFailureFacts facts;
    facts.Device = path;
    switch (error) {
    case EACCES:
    case EPERM:
        facts.Kind = OpenFailureKind::PermissionDenied;
        facts.Group = DeviceGroupName(path);
        break;
    case EBUSY:
        facts.Kind = OpenFailureKind::Busy;
        facts.Holders = ProcessesHoldingDevice(path);
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        facts.Kind = OpenFailureKind::NotFound;
        break;
    default: break;
    }
    return facts;
}

} // namespace mirota
