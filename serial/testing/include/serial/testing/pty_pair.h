// A pseudo-terminal pair for tests: the serial device opens the slave side by its path, the test plays
// the terminal on the master side.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace serial::testing {

class PtyPair {
  public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[256] = {};
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof(name)) != 0) {
            fail("cannot create a pseudo-terminal");
        }
        slavePath_ = name;
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        if (slave_ < 0 || ::tcgetattr(slave_, &raw) != 0) {
            fail("cannot open the pseudo-terminal's slave side");
        }
        // No echo of what the test sends until the device under test configures the line itself.
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
    }
    ~PtyPair() { closeAll(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    // The slave side held open by the test: its termios are the settings the device wrote.
    int slaveFd() const { return slave_; }

    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

    void send(const std::vector<std::uint8_t>& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (put <= 0) {
                throw std::runtime_error("write to the pty master failed");
            }
            done += static_cast<std::size_t>(put);
        }
    }

    // Reads until `count` bytes arrived or `limit` passed; what arrived.
    std::vector<std::uint8_t> receive(
        std::size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) const {
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (got.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            std::uint8_t chunk[4096];
            const std::size_t want = std::min(sizeof(chunk), count - got.size());
            const ssize_t n = ::read(master_, chunk, want);
            if (n <= 0) {
                break;
            }
            got.insert(got.end(), chunk, chunk + n);
        }
        return got;
    }

  private:
    void closeAll() {
        closeMaster();
        if (slave_ >= 0) {
            ::close(slave_);
            slave_ = -1;
        }
    }
    [[noreturn]] void fail(const char* what) {
        closeAll();
        throw std::runtime_error(what);
    }

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            old_ = old;
        }
        apply(value);
    }
    ~ScopedEnv() { apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace serial::testing
