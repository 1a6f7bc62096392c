#include "processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <thread>

extern char** environ;

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

Child::Child(const std::vector<std::string>& args, bool captureStdout, const std::string& outputFile) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& arg : copy) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    int out[2] = {-1, -1};
    if (captureStdout && ::pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captureStdout) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    } else if (!outputFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (captureStdout) {
        ::close(out[1]);
        stdout_ = out[0];
    }
}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) {
        ::close(stdout_);
    }
}

std::string Child::firstLine(std::chrono::milliseconds bound) {
    const auto end = Clock::now() + bound;
    std::string text;
    while (stdout_ >= 0 && text.find('\n') == std::string::npos) {
        pollfd pfd{stdout_, POLLIN, 0};
        char chunk[256];
        ssize_t got = 0;
        if (::poll(&pfd, 1, msLeft(end)) <= 0 || (got = ::read(stdout_, chunk, sizeof chunk)) <= 0) {
            return {};
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text.substr(0, text.find('\n'));
}

Child::Exit Child::wait(std::chrono::milliseconds bound) {
    Exit exit;
    if (pid_ <= 0) {
        return exit;
    }
    const auto end = Clock::now() + bound;
    int status = 0;
    rusage usage{};
    // The child's end is seen the moment it comes, so its wall time is measured to the millisecond.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    pid_t done = 0;
    if (pidfd >= 0) {
        pollfd pfd{pidfd, POLLIN, 0};
        (void)::poll(&pfd, 1, msLeft(end));
        ::close(pidfd);
        done = ::wait4(pid_, &status, WNOHANG, &usage);
    } else {
        while ((done = ::wait4(pid_, &status, WNOHANG, &usage)) == 0 && Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    if (done == 0) {
        ::kill(pid_, SIGKILL);
        ::wait4(pid_, &status, 0, &usage);
    } else if (WIFEXITED(status)) {
        exit.status = WEXITSTATUS(status);
    }
    exit.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    pid_ = -1;
    return exit;
}

double processCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace bench
