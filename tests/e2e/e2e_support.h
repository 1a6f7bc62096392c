// Shared set-up for the end-to-end loads: the simulated terminal as a child process on its own pty,
// program images written in the test, the terminal's flash and event log read back, and the progress
// hook's calls. Everything a test makes lives in its own temporary folder and process, both gone when
// the test ends, whichever way it ends.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using Bytes = std::vector<std::uint8_t>;
// Address to byte: an image's contents or what the terminal's flash holds after a load.
using ByteMap = std::map<std::uint32_t, std::uint8_t>;

// Only reached when something hangs; a healthy load is over long before.
inline constexpr std::chrono::seconds kDownloadBound{60};
inline constexpr std::chrono::seconds kChildBound{10};

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Sets COM<n> for one test and puts the old value back afterwards.
class ScopedPortVariable {
  public:
    ScopedPortVariable(int port, const std::string& device);
    ~ScopedPortVariable();
    ScopedPortVariable(const ScopedPortVariable&) = delete;
    ScopedPortVariable& operator=(const ScopedPortVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// hhtsim started with --once (unless `once` is false: it then serves session after session),
// --flash-out and --log in the test's folder plus the given switches. The destructor kills and reaps
// it if it is still running.
class SimTerminal {
  public:
    SimTerminal(const TempDir& dir, const std::vector<std::string>& switches, bool once = true);
    ~SimTerminal();
    SimTerminal(const SimTerminal&) = delete;
    SimTerminal& operator=(const SimTerminal&) = delete;

    const std::string& device() const { return device_; }
    // Waits for the exchange to end; the exit status, or -1 when it had to be killed.
    int waitExit();
    // Asks a terminal that serves session after session to stop (SIGTERM), so that what it kept of
    // the last session is on disk, and waits for it; the exit status as waitExit.
    int stopAndWait();
    ByteMap flash() const;                 // the written flash, read from its S2 output
    std::vector<std::string> log() const;  // "rx FRAME DLE CLOSE bcc=OK", time stamps dropped

  private:
    void stop();

    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string device_;
    std::filesystem::path flashFile_;
    std::filesystem::path logFile_;
};

// An image file's text together with the bytes it describes, the two built side by side so that the
// expected flash does not depend on the parser that reads the terminal's flash back.
struct Image {
    std::string text;
    ByteMap bytes;
    std::uint32_t hexBase = 0;  // Intel HEX: the current extended address

    Image& s2(std::uint32_t address, const Bytes& data);
    Image& s2(std::uint32_t address, const std::string& data) {
        return s2(address, Bytes(data.begin(), data.end()));
    }
    Image& hex(std::uint8_t type, std::uint16_t offset, const Bytes& data);
    Image& raw(const std::string& lines);  // lines that describe no bytes (S0, S8, end records)
};

// Contents of every S2 record in an S-record text (other lines ignored).
ByteMap s2Contents(const std::string& text);

void writeFile(const std::filesystem::path& path, const std::string& text);
std::string readFile(const std::filesystem::path& path);

// Bytes `count` long whose values run through 0x00-0xFF from `seed`, so 0x10 turns up regularly.
Bytes pattern(std::size_t count, unsigned seed);

bool containsInOrder(const std::vector<std::string>& events, const std::vector<std::string>& wanted);
std::size_t countOf(const std::vector<std::string>& events, const std::string& event);
std::size_t countStartingWith(const std::vector<std::string>& events, const std::string& prefix);

// The progress hook's calls during one test; the hook can cancel the download from inside.
struct HookRecord {
    std::vector<std::int32_t> ports;
    std::vector<double> percents;
    bool cancelAtFirstCall = false;
};
class ScopedHook {
  public:
    explicit ScopedHook(bool cancelAtFirstCall = false);
    ~ScopedHook();
    ScopedHook(const ScopedHook&) = delete;
    ScopedHook& operator=(const ScopedHook&) = delete;
    const HookRecord& record() const;
};

// Each value above the one before (100 may repeat), all within 0-100, every call with the given port.
::testing::AssertionResult risingProgress(const HookRecord& record, std::int32_t port);

// formwell-cli with its standard output and error read back through pipes. The environment is the
// test's (COM<n> included).
class CliProcess {
  public:
    explicit CliProcess(std::vector<std::string> args);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Reads the output until `seen` says so or the program ends; false at kDownloadBound.
    bool readUntil(const std::function<bool()>& seen);
    void interrupt();
    // Reads everything, then the exit status (-1 when it had to be killed at the bound).
    int finish();
    pid_t pid() const { return pid_; }

    std::string out;
    std::string err;

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool outOpen_ = true;
    bool errOpen_ = true;
};

// True when the port opens at once, exclusively, as the next transfer would open it.
bool opensExclusively(int port);

// Download with 8 data bits, no parity, one stop bit. A load that takes longer than kDownloadBound
// fails the test (the terminal's time-outs should have ended it long before).
std::int32_t download(const std::filesystem::path& image, int port, int wakeMethod = 0,
                      std::int32_t baud = 19200);

}  // namespace e2e
