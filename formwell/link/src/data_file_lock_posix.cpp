#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "formwell/link/data_file_lock.h"

namespace formwell::link {

namespace {

std::string thisProgram() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? std::string("formwell") : name;
}

std::string readHolder(int fd) {
    char text[256];
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    if (got <= 0) {
        return {};
    }
    std::string holder(text, static_cast<std::size_t>(got));
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r')) {
        holder.pop_back();
    }
    return holder;
}

}  // namespace

DataFileLock::Outcome DataFileLock::acquire(const std::string& lockPath) {
    release();
    holder_.clear();
    reason_.clear();
    path_ = lockPath;
    // A holder that lets go removes the file; one that opened it just before may then hold a lock on a
    // file no longer in the folder. The lock counts only while the name still leads to the locked file.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
        if (fd < 0) {
            reason_ = std::strerror(errno);
            return Outcome::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error == EWOULDBLOCK) {
                holder_ = readHolder(fd);
            } else {
                reason_ = std::strerror(error);
            }
            (void)::close(fd);
            return error == EWOULDBLOCK ? Outcome::Busy : Outcome::Failed;
        }
        struct stat locked {};
        struct stat named {};
        if (::fstat(fd, &locked) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
            locked.st_ino == named.st_ino && locked.st_dev == named.st_dev) {
            const std::string me = thisProgram() + " (pid " + std::to_string(::getpid()) + ")\n";
            if (::ftruncate(fd, 0) == 0) {
                (void)::pwrite(fd, me.data(), me.size(), 0);  // only for the message of a second receive
            }
            handle_ = fd;
            return Outcome::Held;
        }
        (void)::close(fd);
    }
    reason_ = "the lock file keeps changing";
    return Outcome::Failed;
}

void DataFileLock::release() {
    if (handle_ < 0) {
        return;
    }
    // Removed while still locked, so that nobody can lock the old file after the name is gone.
    (void)::unlink(path_.c_str());
    (void)::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace formwell::link
