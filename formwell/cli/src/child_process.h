// The station's processes: formwell-cli started again for one port, its output and its progress
// report read back through pipes. The loader runs one download per process, so loading several
// cradles at once takes one process per cradle.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace formwell::cli {

// The descriptor number a child finds its progress report pipe on.
inline constexpr int kChildReportFd = 3;

class ChildProcess {
  public:
    // Starts `program` with `arguments`: standard input from the null device, standard output and
    // error into one pipe (output()), and the report pipe as descriptor kChildReportFd (report()).
    // The child gets a process group of its own, so a Ctrl-C on the terminal reaches only the
    // station, which passes it on once. nullptr and the reason in `error` when it cannot be started.
    static std::unique_ptr<ChildProcess> start(const std::string& program,
                                               const std::vector<std::string>& arguments, std::string& error);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int output() const { return output_; }
    int report() const { return report_; }
    // Asks the child to stop, as Ctrl-C would.
    void interrupt();
    // The exit status once the child has ended (128 + n after signal n); nullopt while it runs.
    std::optional<int> poll();
    // Waits for the end.
    int wait();

  private:
    ChildProcess() = default;
    long pid_ = -1;
    int output_ = -1;
    int report_ = -1;
    std::optional<int> status_;
};

// The running program, to start it again.
std::string currentExecutable();

// Waits until one of `fds` has something to read (or has been closed by its writer), at most
// `timeout`; the ones that have. Interrupted by a signal: returns none.
std::vector<int> readableOf(const std::vector<int>& fds, std::chrono::milliseconds timeout);

// Appends what is waiting on `fd`; false at the end (the writer has closed it).
bool readAvailable(int fd, std::string& into);

// Writes all of `text`, or as much as a closed reader lets through: a station that went away must
// not end the child's load (no SIGPIPE; the write just fails).
void writeAll(int fd, const std::string& text);

// A load must not be ended half-way through a flash by its output going away: a reader that closed
// its pipe (`| head`) or a lost session (SIGHUP) turn into failed writes, and the load runs to its end.
void keepLoadingWhenOutputGoes();

}  // namespace formwell::cli
