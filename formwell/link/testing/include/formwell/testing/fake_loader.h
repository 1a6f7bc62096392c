// A pushkit stand-in for the tests of the program load (link, window, console): Download runs a
// scripted behaviour on whatever thread calls it, reports progress through the registered hook and
// honours CancelAll as the loader does (Download arms the run flag when it starts, so a CancelAll
// before that is lost).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "formwell/link/load_worker.h"
#include "formwell/link/pushkit_table.h"

namespace formwell::testing {

class FakeLoader {
  public:
    // What the behaviour can do while its Download runs.
    class Session {
      public:
        explicit Session(FakeLoader& loader) : loader_(loader) {}
        // Calls the registered hook, as a transfer does between records.
        void progress(double percent);
        // Waits until CancelAll clears the run flag, or at most `bound`; true when cancelled.
        bool waitForCancel(std::chrono::milliseconds bound = std::chrono::seconds(20));
        bool cancelled() const;

      private:
        FakeLoader& loader_;
    };

    // Download's behaviour; by default it returns `result` at once.
    std::int32_t result = 14;
    std::function<std::int32_t(const link::DownloadArguments&, Session&)> behaviour;

    // Reports 0, 25 and 50 %, then waits for CancelAll: -30, or -19 if none comes within the bound.
    static std::int32_t untilCancelled(const link::DownloadArguments&, Session& session);

    link::PushkitTable table();

    std::vector<link::DownloadArguments> downloads() const;
    int cancelAllCalls() const { return cancelAllCalls_.load(); }
    // Blocks until a Download has been called; false after `bound`.
    bool waitUntilRunning(std::chrono::milliseconds bound = std::chrono::seconds(20));

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<link::DownloadArguments> downloads_;
    bool running_ = false;
    bool runFlag_ = false;
    DownloadProgressHook hook_ = nullptr;
    std::atomic<int> cancelAllCalls_{0};
};

}  // namespace formwell::testing
