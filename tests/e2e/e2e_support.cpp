#include "e2e_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "pushkit.h"
#include "serial/serial_device.h"

extern char** environ;

namespace e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

int msLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

constexpr std::uint8_t kHexData = 0x00;
constexpr std::uint8_t kHexExtendedLinear = 0x04;

unsigned hexValue(const std::string& text, std::size_t pos, std::size_t digits) {
    return static_cast<unsigned>(std::stoul(text.substr(pos, digits), nullptr, 16));
}

}  // namespace

TempDir::TempDir() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "-" + test->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    // Numbered too: a test with two terminals has two folders, and their files must not meet.
    static std::atomic<int> made{0};
    path_ = fs::temp_directory_path() /
            ("formwell-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(made++) + "-" + name);
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

ScopedPortVariable::ScopedPortVariable(int port, const std::string& device)
    : name_("COM" + std::to_string(port)) {
    if (const char* old = std::getenv(name_.c_str())) {
        old_ = old;
    }
    ::setenv(name_.c_str(), device.c_str(), 1);
}

ScopedPortVariable::~ScopedPortVariable() {
    if (old_) {
        ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

SimTerminal::SimTerminal(const TempDir& dir, const std::vector<std::string>& switches, bool once)
    : flashFile_(dir / "flash.s2"), logFile_(dir / "terminal.log") {
    std::vector<std::string> args{HHTSIM_PATH, "--flash-out", flashFile_.string(), "--log",
                                  logFile_.string()};
    if (once) {
        args.push_back("--once");
    }
    args.insert(args.end(), switches.begin(), switches.end());
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    stdout_ = out[0];
    if (spawned != 0) {
        pid_ = -1;
        stop();
        throw std::runtime_error("cannot start " + args[0]);
    }

    // The first line is the device path; nothing is sent before the terminal has printed it.
    const auto end = Clock::now() + kChildBound;
    std::string line;
    while (line.find('\n') == std::string::npos) {
        pollfd pfd{stdout_, POLLIN, 0};
        char chunk[256];
        ssize_t got = 0;
        if (::poll(&pfd, 1, msLeft(end)) <= 0 || (got = ::read(stdout_, chunk, sizeof chunk)) <= 0) {
            stop();  // no destructor runs for a constructor that throws
            throw std::runtime_error("the simulated terminal printed no device path");
        }
        line.append(chunk, static_cast<std::size_t>(got));
    }
    device_ = line.substr(0, line.find('\n'));
}

SimTerminal::~SimTerminal() {
    stop();
}

void SimTerminal::stop() {
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

int SimTerminal::waitExit() {
    if (pid_ <= 0) {
        return -1;
    }
    // The child's end closes the pipe: wait for that instead of polling its status.
    const auto end = Clock::now() + kChildBound;
    for (;;) {
        pollfd pfd{stdout_, POLLIN, 0};
        char chunk[256];
        if (::poll(&pfd, 1, msLeft(end)) <= 0) {
            ::kill(pid_, SIGKILL);
            break;
        }
        if (::read(stdout_, chunk, sizeof chunk) <= 0) {
            break;
        }
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int SimTerminal::stopAndWait() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
    }
    return waitExit();
}

ByteMap SimTerminal::flash() const {
    return s2Contents(readFile(flashFile_));
}

std::vector<std::string> SimTerminal::log() const {
    std::vector<std::string> events;
    std::istringstream in(readFile(logFile_));
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        events.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return events;
}

Image& Image::s2(std::uint32_t address, const Bytes& data) {
    const auto count = static_cast<unsigned>(data.size() + 4);
    unsigned sum = count + (address >> 16 & 0xFF) + (address >> 8 & 0xFF) + (address & 0xFF);
    char digits[16];
    std::snprintf(digits, sizeof digits, "S2%02X%06X", count, static_cast<unsigned>(address));
    text += digits;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02X", data[i]);
        text += digits;
        sum += data[i];
        bytes[address + static_cast<std::uint32_t>(i)] = data[i];
    }
    std::snprintf(digits, sizeof digits, "%02X\r\n", ~sum & 0xFFu);
    text += digits;
    return *this;
}

Image& Image::hex(std::uint8_t type, std::uint16_t offset, const Bytes& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + (offset & 0xFFu) + type;
    char digits[16];
    std::snprintf(digits, sizeof digits, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  static_cast<unsigned>(offset), static_cast<unsigned>(type));
    text += digits;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02X", data[i]);
        text += digits;
        sum += data[i];
        if (type == kHexData) {
            bytes[hexBase + offset + static_cast<std::uint32_t>(i)] = data[i];
        }
    }
    std::snprintf(digits, sizeof digits, "%02X\r\n", (0x100u - (sum & 0xFFu)) & 0xFFu);
    text += digits;
    if (type == kHexExtendedLinear && data.size() == 2) {
        hexBase = static_cast<std::uint32_t>(data[0] << 8 | data[1]) << 16;
    }
    return *this;
}

Image& Image::raw(const std::string& lines) {
    text += lines;
    return *this;
}

ByteMap s2Contents(const std::string& text) {
    ByteMap bytes;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("S2", 0) != 0) {
            continue;
        }
        const unsigned count = hexValue(line, 2, 2);
        const std::uint32_t address = hexValue(line, 4, 6);
        for (unsigned i = 0; i + 4 < count; ++i) {
            bytes[address + i] = static_cast<std::uint8_t>(hexValue(line, 10 + 2 * i, 2));
        }
    }
    return bytes;
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Bytes pattern(std::size_t count, unsigned seed) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>((seed + i * 7) & 0xFF);
    }
    return bytes;
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

std::size_t countOf(const std::vector<std::string>& events, const std::string& event) {
    return static_cast<std::size_t>(std::count(events.begin(), events.end(), event));
}

std::size_t countStartingWith(const std::vector<std::string>& events, const std::string& prefix) {
    return static_cast<std::size_t>(std::count_if(
        events.begin(), events.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
}

namespace {
HookRecord g_hook;

void PUSHKIT_CALL recordProgress(std::int32_t port, double percent) {
    g_hook.ports.push_back(port);
    g_hook.percents.push_back(percent);
    if (g_hook.cancelAtFirstCall && g_hook.percents.size() == 1) {
        CancelAll();
    }
}
}  // namespace

ScopedHook::ScopedHook(bool cancelAtFirstCall) {
    g_hook = {};
    g_hook.cancelAtFirstCall = cancelAtFirstCall;
    SetDownloadProgressHook(recordProgress);
}

ScopedHook::~ScopedHook() {
    SetDownloadProgressHook(nullptr);
}

const HookRecord& ScopedHook::record() const {
    return g_hook;
}

::testing::AssertionResult risingProgress(const HookRecord& record, std::int32_t port) {
    double last = -1.0;
    for (std::size_t i = 0; i < record.percents.size(); ++i) {
        const double p = record.percents[i];
        if (record.ports[i] != port) {
            return ::testing::AssertionFailure() << "call " << i << " named port " << record.ports[i];
        }
        // A repeated 100 is allowed: lines after the last record can push the share past 100 again.
        if (p < 0.0 || p > 100.0 || p < last || (p == last && p != 100.0)) {
            return ::testing::AssertionFailure() << "call " << i << " reported " << p << " after " << last;
        }
        last = p;
    }
    return ::testing::AssertionSuccess();
}

CliProcess::CliProcess(std::vector<std::string> args) {
    args.insert(args.begin(), FORMWELL_CLI_PATH);
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int toOut[2], toErr[2];
    if (::pipe2(toOut, O_CLOEXEC) != 0 || ::pipe2(toErr, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, toOut[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, toErr[1], STDERR_FILENO);
    const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toOut[1]);
    ::close(toErr[1]);
    out_ = toOut[0];
    err_ = toErr[0];
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start formwell-cli");
    }
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
    ::close(err_);
}

bool CliProcess::readUntil(const std::function<bool()>& seen) {
    const auto end = Clock::now() + kDownloadBound;
    while (!seen()) {
        // A closed pipe is left out (poll ignores negative descriptors) so it cannot spin the loop.
        pollfd fds[2] = {{outOpen_ ? out_ : -1, POLLIN, 0}, {errOpen_ ? err_ : -1, POLLIN, 0}};
        if (!outOpen_ && !errOpen_) {
            return false;
        }
        if (::poll(fds, 2, msLeft(end)) <= 0) {
            return false;
        }
        for (const pollfd& p : fds) {
            if (p.fd < 0 || p.revents == 0) {
                continue;
            }
            char chunk[4096];
            const ssize_t got = ::read(p.fd, chunk, sizeof chunk);
            if (got > 0) {
                (p.fd == out_ ? out : err).append(chunk, static_cast<std::size_t>(got));
            } else {
                (p.fd == out_ ? outOpen_ : errOpen_) = false;
            }
        }
    }
    return true;
}

void CliProcess::interrupt() {
    ::kill(pid_, SIGINT);
}

int CliProcess::finish() {
    readUntil([] { return false; });
    if (outOpen_ || errOpen_) {
        ::kill(pid_, SIGKILL);  // still talking at the bound: hung
    }
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool opensExclusively(int port) {
    serial::SerialDevice device;
    const serial::Error error = device.open(port, serial::LineConfig{});
    if (!error.ok()) {
        ADD_FAILURE() << "COM" << port << " does not open: " << error.text;
    }
    return error.ok();
}

std::int32_t download(const fs::path& image, int port, int wakeMethod, std::int32_t baud) {
    const auto start = Clock::now();
    const std::int32_t result = Download(image.string().c_str(), port, baud, 8, 0, 0, wakeMethod);
    EXPECT_LT(Clock::now() - start, kDownloadBound) << "the download ran far past its time-outs";
    return result;
}

}  // namespace e2e
