#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "child_process.h"

extern char** environ;

namespace formwell::cli {

namespace {

struct Pipe {
    int read = -1;
    int write = -1;
};

// Descriptors below this are the child's standard ones and its report pipe; ours stay above, so
// that setting up the child's never lands on one of them.
constexpr int kFirstPrivateFd = 10;

int movedUp(int fd) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, kFirstPrivateFd);
    (void)::close(fd);
    return moved;
}

bool makePipe(Pipe& p) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    p = Pipe{movedUp(fds[0]), movedUp(fds[1])};
    if (p.read < 0 || p.write < 0) {
        (void)(p.read >= 0 && ::close(p.read));
        (void)(p.write >= 0 && ::close(p.write));
        return false;
    }
    return true;
}

void closeFd(int& fd) {
    if (fd >= 0) {
        (void)::close(fd);  // nothing to do about a failed close of a pipe end
        fd = -1;
    }
}

int exitStatusOf(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  std::string& error) {
    Pipe output;
    Pipe report;
    if (!makePipe(output) || !makePipe(report)) {
        error = std::strerror(errno);
        closeFd(output.read);
        closeFd(output.write);
        return nullptr;
    }
    // Inherited as "ignored" (some supervisors start programs so), SIGCHLD would let the system reap
    // the children itself, and waitpid could no longer tell how each load ended.
    (void)::signal(SIGCHLD, SIG_DFL);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // dup2 clears close-on-exec on the copies; every other descriptor of ours closes at exec.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output.write, STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, report.write, kChildReportFd);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    closeFd(output.write);
    closeFd(report.write);
    if (spawned != 0) {
        error = std::strerror(spawned);
        closeFd(output.read);
        closeFd(report.read);
        return nullptr;
    }
    std::unique_ptr<ChildProcess> child(new ChildProcess());
    child->pid_ = pid;
    child->output_ = output.read;
    child->report_ = report.read;
    return child;
}

ChildProcess::~ChildProcess() {
    if (!status_ && pid_ > 0) {
        // Only reached on a path that did not wait: the child is stopped as Ctrl-C would stop it,
        // and waited for, so that its port is closed before the station goes.
        interrupt();
        (void)wait();
    }
    closeFd(output_);
    closeFd(report_);
}

void ChildProcess::interrupt() {
    if (!status_ && pid_ > 0) {
        (void)::kill(static_cast<pid_t>(pid_), SIGINT);  // a child that has just ended cannot be signalled
    }
}

std::optional<int> ChildProcess::poll() {
    if (!status_ && pid_ > 0) {
        int status = 0;
        if (::waitpid(static_cast<pid_t>(pid_), &status, WNOHANG) == pid_) {
            status_ = exitStatusOf(status);
        }
    }
    return status_;
}

int ChildProcess::wait() {
    while (!status_ && pid_ > 0) {
        int status = 0;
        const pid_t done = ::waitpid(static_cast<pid_t>(pid_), &status, 0);
        if (done == pid_) {
            status_ = exitStatusOf(status);
        } else if (done < 0 && errno != EINTR) {
            status_ = 1;
        }
    }
    return status_.value_or(1);
}

std::string currentExecutable() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::vector<int> readableOf(const std::vector<int>& fds, std::chrono::milliseconds timeout) {
    std::vector<pollfd> polled;
    for (const int fd : fds) {
        polled.push_back(pollfd{fd, POLLIN, 0});
    }
    std::vector<int> ready;
    if (::poll(polled.data(), polled.size(), static_cast<int>(timeout.count())) <= 0) {
        return ready;
    }
    for (const pollfd& p : polled) {
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            ready.push_back(p.fd);
        }
    }
    return ready;
}

bool readAvailable(int fd, std::string& into) {
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
        into.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
    return got < 0 && (errno == EINTR || errno == EAGAIN);
}

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return;  // the station is gone; the load goes on
        }
        done += static_cast<std::size_t>(wrote);
    }
}

void keepLoadingWhenOutputGoes() {
    (void)::signal(SIGPIPE, SIG_IGN);  // cannot fail for these two
    (void)::signal(SIGHUP, SIG_IGN);
}

}  // namespace formwell::cli
