#include "sim_host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace hhtsim::testing {

namespace {
int remaining(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}
}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "hhtsim-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

SimHost::SimHost(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argvText{HHTSIM_PATH};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    stdout_ = pipeFds[0];
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }

    auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
    char c;
    while (true) {
        pollfd fd{stdout_, POLLIN, 0};
        if (poll(&fd, 1, remaining(deadline)) <= 0 || ::read(stdout_, &c, 1) != 1 || c == '\n') {
            break;
        }
        device_.push_back(c);
    }
}

SimHost::~SimHost() {
    closeDevice();
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) {
        close(stdout_);
    }
}

bool SimHost::openDevice() {
    closeDevice();
    device_fd_ = open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device_fd_ < 0) {
        return false;
    }
    termios settings{};
    tcgetattr(device_fd_, &settings);
    cfmakeraw(&settings);
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    tcsetattr(device_fd_, TCSANOW, &settings);
    return true;
}

void SimHost::setSpeed(unsigned speed) {
    termios settings{};
    tcgetattr(device_fd_, &settings);
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    tcsetattr(device_fd_, TCSANOW, &settings);
}

void SimHost::closeDevice() {
    if (device_fd_ >= 0) {
        close(device_fd_);
    }
    device_fd_ = -1;
}

void SimHost::send(const Bytes& bytes) {
    std::size_t done = 0;
    auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
    while (done < bytes.size() && device_fd_ >= 0) {
        ssize_t n = write(device_fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        pollfd fd{device_fd_, POLLOUT, 0};
        if (poll(&fd, 1, remaining(deadline)) <= 0) {
            break;
        }
    }
}

Bytes SimHost::read(std::size_t n, milliseconds wait) {
    Bytes out;
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (out.size() < n && device_fd_ >= 0) {
        pollfd fd{device_fd_, POLLIN, 0};
        if (poll(&fd, 1, remaining(deadline)) <= 0) {
            break;
        }
        std::uint8_t buffer[512];
        ssize_t got = ::read(device_fd_, buffer, std::min(sizeof buffer, n - out.size()));
        if (got <= 0) {
            break;
        }
        out.insert(out.end(), buffer, buffer + got);
    }
    return out;
}

bool SimHost::silent() {
    return read(1, kSilenceWait).empty();
}

bool SimHost::sawHangUp(milliseconds wait) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (device_fd_ >= 0) {
        pollfd fd{device_fd_, POLLIN, 0};
        if (poll(&fd, 1, remaining(deadline)) <= 0) {
            return false;
        }
        if (fd.revents & (POLLHUP | POLLERR)) {
            return true;
        }
        std::uint8_t b;
        ssize_t got = ::read(device_fd_, &b, 1);
        if (got == 0 || (got < 0 && errno == EIO)) {
            return true;
        }
    }
    return false;
}

void SimHost::signal(int number) {
    if (pid_ > 0) {
        kill(pid_, number);
    }
}

int SimHost::waitExit(milliseconds wait) {
    if (pid_ <= 0) {
        return -1;
    }
    // The child's standard output reaches its end only when the child exits; after that a blocking
    // waitpid returns at once.
    auto deadline = std::chrono::steady_clock::now() + wait;
    bool ended = false;
    char buffer[256];
    while (!ended) {
        pollfd fd{stdout_, POLLIN, 0};
        if (poll(&fd, 1, remaining(deadline)) <= 0) {
            break;
        }
        ended = ::read(stdout_, buffer, sizeof buffer) <= 0;
    }
    if (!ended) {
        kill(pid_, SIGKILL);
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (!ended) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> logEvents(const std::filesystem::path& path) {
    static const std::regex kLine(R"(^(\d+) (rx|tx|note) (.+)$)");
    std::vector<std::string> events;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        std::smatch match;
        if (!std::regex_match(line, match, kLine)) {
            events.push_back("MALFORMED LOG LINE: " + line);
            continue;
        }
        events.push_back(match[2].str() + " " + match[3].str());
    }
    return events;
}

bool containsInOrder(const std::vector<std::string>& events, const std::vector<std::string>& wanted) {
    std::size_t next = 0;
    for (const auto& event : events) {
        if (next < wanted.size() && event == wanted[next]) {
            ++next;
        }
    }
    return next == wanted.size();
}

}  // namespace hhtsim::testing
