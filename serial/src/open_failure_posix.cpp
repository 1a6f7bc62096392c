// The facts behind an open failure on Linux: the device's group and the user's groups, and who holds a
// busy device, from /proc. Everything here only reads, and a fact that cannot be found stays empty.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "open_failure.h"

namespace serial::detail {

namespace {

// Programs named in a sentence; past this many the rest are only counted.
constexpr std::size_t kMostHoldersNamed = 3;

bool sameDevice(const struct stat& device, const struct stat& other) {
    if (S_ISCHR(device.st_mode)) {
        return S_ISCHR(other.st_mode) && other.st_rdev == device.st_rdev;
    }
    return other.st_dev == device.st_dev && other.st_ino == device.st_ino;
}

// Every cooperating opener (this library among them) takes a lock on the device; /proc/locks names
// the process that took it, whoever it belongs to. Lines read "1: FLOCK  ADVISORY  WRITE 812 00:19:3 0
// EOF", the file system's device in hex and the inode in decimal; "->" lines are waiters, not holders.
std::vector<pid_t> lockHolders(const struct stat& device) {
    std::vector<pid_t> pids;
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string id, type, mode, access, where;
        long pid = 0;
        if (!(fields >> id >> type >> mode >> access >> pid >> where) || type == "->" || pid <= 0) {
            continue;
        }
        unsigned int fsMajor = 0, fsMinor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &fsMajor, &fsMinor, &inode) == 3 &&
            fsMajor == major(device.st_dev) && fsMinor == minor(device.st_dev) && inode == device.st_ino) {
            pids.push_back(static_cast<pid_t>(pid));
        }
    }
    return pids;
}

// Programs that hold the device without a lock are found by their open descriptors; /proc shows
// those only for the user's own processes.
std::vector<pid_t> openers(const struct stat& device) {
    namespace fs = std::filesystem;
    std::vector<pid_t> pids;
    std::error_code ec;
    for (fs::directory_iterator proc("/proc", ec), end; !ec && proc != end; proc.increment(ec)) {
        const std::string name = proc->path().filename().string();
        if (name.empty() ||
            !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        std::error_code fdEc;
        for (fs::directory_iterator fd(proc->path() / "fd", fdEc); !fdEc && fd != end; fd.increment(fdEc)) {
            // Only devices are looked at: a stat of an open file on a hung network mount would hang.
            char target[16] = {};
            const ssize_t length = ::readlink(fd->path().c_str(), target, sizeof target - 1);
            if (length < 5 || std::string_view(target, 5) != "/dev/") {
                continue;
            }
            struct stat info {};
            if (::stat(fd->path().c_str(), &info) == 0 && sameDevice(device, info)) {
                pids.push_back(static_cast<pid_t>(std::atol(name.c_str())));
                break;
            }
        }
    }
    return pids;
}

// The program's name as it was started (argv[0] without its folder), else the kernel's short name.
std::string programName(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string name;
    std::getline(std::ifstream(dir + "/cmdline"), name, '\0');
    name = name.substr(name.find_last_of('/') + 1);
    if (name.empty()) {
        std::getline(std::ifstream(dir + "/comm"), name);
    }
    return name.empty() ? "a program" : name;
}

std::string groupName(gid_t gid) {
    std::vector<char> buffer(16 * 1024);
    group entry{};
    group* found = nullptr;
    while (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    return found != nullptr ? std::string(found->gr_name) : std::to_string(gid);
}

// In the group database (what the next login gets), not in this session's groups.
bool groupNotInSession(gid_t gid) {
    if (::getegid() == gid) {
        return false;
    }
    std::vector<gid_t> session(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int sessionCount = ::getgroups(static_cast<int>(session.size()), session.data());
    if (sessionCount >= 0 &&
        std::find(session.begin(), session.begin() + sessionCount, gid) != session.begin() + sessionCount) {
        return false;
    }
    std::vector<char> buffer(16 * 1024);
    passwd entry{};
    passwd* user = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &user) != 0 || user == nullptr) {
        return false;
    }
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));  // count now says how many there are
        if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
            return false;
        }
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::string describeHolders(std::vector<pid_t> pids) {
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    std::string text;
    const std::size_t named = std::min(pids.size(), kMostHoldersNamed);
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0) {
            text += i + 1 == named && named == pids.size() ? " and " : ", ";
        }
        text += programName(pids[i]) + " (pid " + std::to_string(pids[i]) + ")";
    }
    if (pids.size() > named) {
        text += " and " + std::to_string(pids.size() - named) + " more";
    }
    return text;
}

}  // namespace

std::string holdersOf(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return "";
    }
    std::vector<pid_t> pids = lockHolders(device);
    if (pids.empty()) {
        pids = openers(device);
    }
    return describeHolders(std::move(pids));
}

std::string lockHoldersOf(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return "";
    }
    return describeHolders(lockHolders(device));
}

OpenFailureFacts gatherOpenFailureFacts(const Error& error, int portNumber) {
    OpenFailureFacts facts;
    facts.kind = error.kind;
    facts.reason = error.text;
    facts.port = portNumber & 0xFF;
    facts.device = devicePathForPort(facts.port);
    facts.variablesNamePorts = true;
    facts.origin = deviceOriginForPort(facts.port);
    if (!facts.device) {
        return facts;
    }
    struct stat device {};
    const bool exists = ::stat(facts.device->c_str(), &device) == 0;
    switch (error.kind) {
        case ErrorKind::NoSuchDevice:
            facts.deviceNodeExists = exists;
            break;
        case ErrorKind::PermissionDenied:
            if (exists && (device.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
                facts.group = groupName(device.st_gid);
                facts.groupNotInSession = groupNotInSession(device.st_gid);
            }
            break;
        case ErrorKind::InUse:
            facts.holders = holdersOf(*facts.device);
            break;
        default:
            break;
    }
    return facts;
}

}  // namespace serial::detail
