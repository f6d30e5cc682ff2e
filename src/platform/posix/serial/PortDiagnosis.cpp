#include "platform/posix/serial/PortDiagnosis.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace mirota {

namespace {

// Calls f(name) for every entry of dir except "." and "..".
template <typename F> void ForEachEntry(const std::string& dir, F&& f) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") f(name);
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

// The processes that hold a lock on the file (dev, ino), from procRoot/locks: lines such as
// "1: FLOCK  ADVISORY  WRITE 15118 00:1b:3 0 EOF" (pid, then major:minor:inode in hexadecimal).
std::vector<int> LockingProcesses(const std::string& procRoot, const struct stat& file) {
    std::vector<int> pids;
    std::ifstream locks(procRoot + "/locks");
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", ::major(file.st_dev), ::minor(file.st_dev),
                  static_cast<unsigned long long>(file.st_ino));
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string id, kind, mode, access, pid, where;
        if (!(fields >> id >> kind) || kind == "->")
            continue; // a process waiting for the lock, not holding it
        if (!(fields >> mode >> access >> pid >> where) || where != wanted) continue;
        int p = 0;
        if (ParsePid(pid, p)) pids.push_back(p);
    }
    return pids;
}

} // namespace

std::string DeviceGroupName(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    std::vector<char> buffer(4096);
    for (;;) {
        group g{};
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
    if (::stat(path.c_str(), &device) != 0) return holders;
    const int self = static_cast<int>(::getpid());
    ForEachEntry(procRoot, [&](const std::string& name) {
        int pid = 0;
        if (!ParsePid(name, pid) || pid == self) return;
        const std::string fdDir = procRoot + "/" + name + "/fd";
        bool holds = false;
        ForEachEntry(fdDir, [&](const std::string& fd) {
            struct stat st {};
            if (!holds && ::stat((fdDir + "/" + fd).c_str(), &st) == 0 && SameFile(device, st)) holds = true;
        });
        if (!holds) return;
        PortHolder holder;
        holder.ProcessId = pid;
        std::ifstream comm(procRoot + "/" + name + "/comm");
        std::getline(comm, holder.Program);
        holders.push_back(std::move(holder));
    });
    // Where some of them hold the line locked, those are the ones that keep the port busy (the others
    // merely have it open, such as the far end of a pseudo-terminal).
    const std::vector<int> locking = LockingProcesses(procRoot, device);
    std::vector<PortHolder> lockHolders;
    for (const PortHolder& h : holders)
        if (std::find(locking.begin(), locking.end(), h.ProcessId) != locking.end()) lockHolders.push_back(h);
    return lockHolders.empty() ? holders : lockHolders;
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
    default:
        break;
    }
    return facts;
}

} // namespace mirota
