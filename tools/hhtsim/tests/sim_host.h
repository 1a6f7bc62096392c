// A scripted host for the simulator: starts hhtsim as a child process, opens the device it prints and
// talks to it with poll() deadlines. The child is killed on every path out of a test.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace hhtsim::testing {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

// Long enough for a loaded machine; only ever waited in full when something is broken.
inline constexpr milliseconds kAnswerWait{5000};
// How long a withheld answer is given to show up before the test counts it as silence.
inline constexpr milliseconds kSilenceWait{300};
// --idle-timeout for tests that end by the host falling silent: seconds, so that a host slowed by a
// loaded machine between two of its steps is never taken for one that stopped.
inline constexpr const char* kIdleTimeoutArg = "2000";

class TempDir {
  public:
    TempDir();
    ~TempDir();
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

class SimHost {
  public:
    explicit SimHost(const std::vector<std::string>& args);
    ~SimHost();
    SimHost(const SimHost&) = delete;
    SimHost& operator=(const SimHost&) = delete;

    const std::string& device() const { return device_; }
    bool openDevice();
    void setSpeed(unsigned speed);  // a termios speed code such as B1200
    void closeDevice();

    void send(const Bytes& bytes);
    void send(const std::string& text) { send(Bytes(text.begin(), text.end())); }
    // Up to n bytes, whatever arrived before the deadline.
    Bytes read(std::size_t n, milliseconds wait = kAnswerWait);
    // True when nothing arrives within kSilenceWait.
    bool silent();
    // True when the device reports a hang-up (read error or end) before the deadline.
    bool sawHangUp(milliseconds wait = kAnswerWait);

    void signal(int number);
    // The exit status, or -1 when the child did not end in time (it is killed then).
    int waitExit(milliseconds wait = kAnswerWait);

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int device_fd_ = -1;
    std::string device_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& text);
// The log without its time stamps: "rx SOH", "tx ACK", ...
std::vector<std::string> logEvents(const std::filesystem::path& path);
bool containsInOrder(const std::vector<std::string>& events, const std::vector<std::string>& wanted);

}  // namespace hhtsim::testing
