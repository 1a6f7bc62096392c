// Child processes of the transfer benchmark: the simulated terminal, and the command-line program for
// the link's transfers, each started, waited for within a bound, and measured.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace bench {

// A child started with posix_spawn; killed and reaped when it is not waited for.
class Child {
  public:
    // `captureStdout`: the child's standard output comes to firstLine() through a pipe. Otherwise
    // its standard output and error go to `outputFile` (when given), so nothing it says can stall it.
    Child(const std::vector<std::string>& args, bool captureStdout, const std::string& outputFile = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    // The first line the child printed, waiting at most `bound`; empty when none came.
    std::string firstLine(std::chrono::milliseconds bound);

    struct Exit {
        int status = -1;  // exit status; -1 when it had to be killed
        double cpuSeconds = 0;
    };
    // Waits for the child to end, at most `bound`, then kills it.
    Exit wait(std::chrono::milliseconds bound);

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

// CPU seconds this process has used so far, all threads.
double processCpuSeconds();

}  // namespace bench
