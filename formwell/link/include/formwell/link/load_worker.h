// One program load on a thread of its own, so that whoever started it stays free to show progress,
// to react to Cancel or Ctrl-C, and to keep a window painted. Download blocks for seconds to
// minutes; the owner polls the worker instead, and shares nothing else with it.
//
// Progress arrives through pushkit's hook, a process-wide C function called on the worker thread;
// its values are handed over in atomics and read by poll() on the owner's thread. The loader runs
// one download per process, so there is one such hook and one worker at a time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "formwell/link/pushkit_table.h"

namespace formwell::link {

// Download's seven arguments, already in the loader's codes.
struct DownloadArguments {
    std::string imagePath;
    std::int32_t port = 0;
    std::int32_t baud = 0;
    std::int32_t dataBits = 0;
    std::int32_t parity = 0;    // 0 none, 1 odd, 2 even
    std::int32_t stopBits = 0;  // 0 one, 2 two
    std::int32_t wakeMethod = 0;

    bool operator==(const DownloadArguments&) const = default;
};

struct LoadSnapshot {
    bool finished = false;
    std::int32_t result = 0;                        // Download's result, once finished
    double percent = -1.0;                          // the hook's last value; negative before its first call
    std::int64_t hookCalls = 0;                     // progress reports so far
    std::chrono::steady_clock::duration elapsed{};  // since start, frozen when the load ended
    bool cancelRequested = false;
};

class LoadWorker {
  public:
    explicit LoadWorker(PushkitTable pushkit);
    // A load still running is cancelled and waited for: the port is never left to a thread nobody
    // waits on.
    ~LoadWorker();
    LoadWorker(const LoadWorker&) = delete;
    LoadWorker& operator=(const LoadWorker&) = delete;

    // Registers the progress hook and starts Download on the worker thread. Once per worker.
    void start(const DownloadArguments& arguments);

    // How far the load has got. While a cancel is pending the loader is asked again: a CancelAll that
    // came before Download armed itself would otherwise be lost.
    LoadSnapshot poll();

    // Waits up to `wait` for the load to end (at once when it has); true when it has ended.
    bool waitFor(std::chrono::milliseconds wait);

    // Asks the loader to stop (CancelAll). The load ends with -30 at its next poll point; steps the
    // loader cannot interrupt (the terminal queries, the hex-block protocol) run to their own bound.
    void cancel();

    // Waits for the end and returns Download's result.
    std::int32_t join();

    bool started() const { return started_; }

  private:
    void run(DownloadArguments arguments);

    PushkitTable pushkit_;
    std::thread thread_;
    bool started_ = false;
    std::chrono::steady_clock::time_point startedAt_{};
    std::atomic<bool> cancelRequested_{false};

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    bool finished_ = false;
    std::int32_t result_ = 0;
    std::chrono::steady_clock::duration elapsed_{};
};

// How a load ended: Download's result and the number of progress reports it made on the way.
struct LoadEnd {
    std::int32_t result = 0;
    std::int64_t progressReports = 0;
};

// Runs one load on a worker and tells how it ended: starts it, hands the worker to `watch` (the
// progress window, the console's progress line) until that returns, then waits for the end. `watch`
// may cancel; whatever it does, the load is over when this returns.
LoadEnd runLoadOnWorker(PushkitTable pushkit, const DownloadArguments& arguments,
                        const std::function<void(LoadWorker&)>& watch);

// The hook's latest report: what the process-wide hook was last called with. Reset by
// LoadWorker::start; read by poll().
struct HookReport {
    double percent = -1.0;
    std::int64_t calls = 0;
};
HookReport latestHookReport();

// The hook LoadWorker registers; a fake loader calls it as pushkit would.
extern "C" void PUSHKIT_CALL formwellProgressHook(std::int32_t port, double percent);

}  // namespace formwell::link
