// End to end: formwell-cli and the real libcomrig against the simulated terminal on a pseudo-terminal,
// each in its own process. Real time on both sides of the line: the bounds here are wide, and the
// lower ones are the protocol's own pauses, which no load can shorten.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "formwell/testing/temp_dir.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using formwell::testing::readBytes;
using formwell::testing::TempDir;
using formwell::testing::writeBytes;

// Only reached when something hangs: each case here ends within a few seconds.
constexpr std::chrono::seconds kProcessBound{60};

int msLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv, int stdoutFd,
            int stderrFd) {
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        envStrings.emplace_back(*e);
    }
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> env;
    for (auto& s : envStrings) {
        env.push_back(s.data());
    }
    env.push_back(nullptr);
    std::vector<std::string> argStrings = args;
    std::vector<char*> argv;
    for (auto& a : argStrings) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    }
    if (stderrFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    }
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("cannot start " + args[0]);
    }
    return pid;
}

// The exit status, or -1 when the process had to be killed at the bound.
int waitBounded(pid_t pid) {
    const auto end = Clock::now() + kProcessBound;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (Clock::now() >= end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return -1;
        }
        ::poll(nullptr, 0, 20);  // a child's end is not an event poll can wait for
    }
}

// hhtsim --once in the test's folder; the destructor ends it if it is still running.
class Terminal {
  public:
    Terminal(const TempDir& dir, std::vector<std::string> switches) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        std::vector<std::string> args{HHTSIM_PATH, "--once", "--log", (dir / "terminal.log").string()};
        args.insert(args.end(), switches.begin(), switches.end());
        pid_ = spawn(args, {}, out[1], -1);
        ::close(out[1]);
        stdout_ = out[0];
        const auto end = Clock::now() + std::chrono::seconds(10);
        std::string line;
        while (line.find('\n') == std::string::npos) {
            pollfd pfd{stdout_, POLLIN, 0};
            char chunk[256];
            ssize_t got = 0;
            if (::poll(&pfd, 1, msLeft(end)) <= 0 || (got = ::read(stdout_, chunk, sizeof chunk)) <= 0) {
                stop();
                throw std::runtime_error("the simulated terminal printed no device path");
            }
            line.append(chunk, static_cast<std::size_t>(got));
        }
        device_ = line.substr(0, line.find('\n'));
    }
    ~Terminal() { stop(); }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    const std::string& device() const { return device_; }
    int waitExit() {
        const int status = waitBounded(pid_);
        pid_ = -1;
        return status;
    }

  private:
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (stdout_ >= 0) {
            ::close(stdout_);
            stdout_ = -1;
        }
    }
    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string device_;
};

struct CliRun {
    int status = -1;
    std::string err;
    std::chrono::milliseconds elapsed{0};
};

CliRun runCli(const TempDir& dir, const Terminal& terminal, std::vector<std::string> args) {
    const auto errPath = dir / "stderr.txt";
    const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    args.insert(args.begin(), {FORMWELL_CLI_PATH, "--dir", dir.path().string(), "--yes"});
    const auto start = Clock::now();
    const pid_t pid = spawn(args, {"COM1=" + terminal.device()}, -1, errFd);
    ::close(errFd);
    CliRun run;
    run.status = waitBounded(pid);
    run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    run.err = readBytes(errPath);
    return run;
}

std::string settingsFor19200() {
    return "Com1:19200 8N10";
}

TEST(CliEndToEnd, AnIniFileArrivesByteForByte) {
    TempDir dir;
    writeBytes(dir / "mbx.dat", settingsFor19200());
    std::string ini;
    for (int i = 0; i < 12; ++i) {
        ini += "FIELD" + std::to_string(i) + std::string(i < 10 ? 8 : 7, ' ') +
               "Text  14YN010111111111111111\r\n";
    }
    writeBytes(dir / "fields.ini", ini);
    Terminal terminal(dir, {"--role", "ini-receiver", "--out", (dir / "received.ini").string()});
    const CliRun run = runCli(dir, terminal, {"send-ini", (dir / "fields.ini").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(terminal.waitExit(), 0);
    EXPECT_EQ(readBytes(dir / "received.ini"), ini);
    EXPECT_NE(run.err.find("Process Complete: Download Process Complete!\n"), std::string::npos) << run.err;
}

TEST(CliEndToEnd, RecordsComeBackIntoImportTxt) {
    TempDir dir;
    writeBytes(dir / "mbx.dat", settingsFor19200());
    writeBytes(dir / "records.txt", "4711;3\nWITH BLANKS   \n\n0815;1\n");
    writeBytes(dir / "import.txt", "not yet imported\r\n");
    Terminal terminal(dir, {"--role", "data-sender", "--records", (dir / "records.txt").string()});
    const CliRun run = runCli(dir, terminal, {"receive"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(dir / "import.txt"), "4711;3\r\nWITH BLANKS   \r\n\r\n0815;1\r\n");
    EXPECT_EQ(readBytes(dir / "import.txt.bak"), "not yet imported\r\n");
    EXPECT_NE(run.err.find("Upload Complete: Upload Complete ...\n"), std::string::npos) << run.err;
}

}  // namespace
