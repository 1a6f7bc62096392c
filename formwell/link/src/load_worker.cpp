#include "formwell/link/load_worker.h"

#include <exception>

namespace formwell::link {

namespace {

// Written on the worker thread inside Download, read by the owner: atomics, and no lock the hook
// could ever wait on in the middle of a transfer.
std::atomic<double> hookPercent{-1.0};
std::atomic<std::int64_t> hookCalls{0};

// A binding that threw instead of returning (a fake, a broken table) ends the load as a failure
// inside the loader would: the port is not held by anyone any more.
constexpr std::int32_t kNoResult = PUSHKIT_ERR_INTERNAL;

}  // namespace

extern "C" void PUSHKIT_CALL formwellProgressHook(std::int32_t port, double percent) {
    (void)port;
    hookPercent.store(percent);
    hookCalls.fetch_add(1);
}

HookReport latestHookReport() {
    return HookReport{hookPercent.load(), hookCalls.load()};
}

LoadWorker::LoadWorker(PushkitTable pushkit) : pushkit_(std::move(pushkit)) {}

LoadWorker::~LoadWorker() {
    if (thread_.joinable()) {
        if (!waitFor(std::chrono::milliseconds(0))) {
            cancel();
        }
        join();
    }
}

void LoadWorker::start(const DownloadArguments& arguments) {
    if (started_) {
        return;
    }
    hookPercent.store(-1.0);
    hookCalls.store(0);
    (void)pushkit_.SetDownloadProgressHook(&formwellProgressHook);  // returns what it was given
    started_ = true;
    startedAt_ = std::chrono::steady_clock::now();
    thread_ = std::thread([this, arguments] { run(arguments); });
}

void LoadWorker::run(DownloadArguments arguments) {
    std::int32_t result = kNoResult;
    try {
        result =
            pushkit_.Download(arguments.imagePath.c_str(), arguments.port, arguments.baud, arguments.dataBits,
                              arguments.parity, arguments.stopBits, arguments.wakeMethod);
    } catch (...) {
        // The library raises nothing; only a table of our own could, and the owner must still learn
        // that the load is over.
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    result_ = result;
    elapsed_ = std::chrono::steady_clock::now() - startedAt_;
    ended_.notify_all();
}

LoadSnapshot LoadWorker::poll() {
    LoadSnapshot snapshot;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        snapshot.finished = finished_;
        snapshot.result = result_;
        snapshot.elapsed = finished_ ? elapsed_ : std::chrono::steady_clock::now() - startedAt_;
    }
    const HookReport report = latestHookReport();
    snapshot.percent = report.percent;
    snapshot.hookCalls = report.calls;
    snapshot.cancelRequested = cancelRequested_.load();
    if (snapshot.cancelRequested && !snapshot.finished) {
        pushkit_.CancelAll();
    }
    return snapshot;
}

bool LoadWorker::waitFor(std::chrono::milliseconds wait) {
    if (!started_) {
        return true;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, wait, [this] { return finished_; });
}

void LoadWorker::cancel() {
    if (!started_) {
        return;
    }
    cancelRequested_.store(true);
    pushkit_.CancelAll();
}

std::int32_t LoadWorker::join() {
    if (!started_) {
        return kNoResult;
    }
    // While waiting, a pending cancel is repeated, in case it came before Download armed itself.
    while (!waitFor(std::chrono::milliseconds(100))) {
        if (cancelRequested_.load()) {
            pushkit_.CancelAll();
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    (void)pushkit_.SetDownloadProgressHook(nullptr);
    const std::lock_guard<std::mutex> lock(mutex_);
    return result_;
}

LoadEnd runLoadOnWorker(PushkitTable pushkit, const DownloadArguments& arguments,
                        const std::function<void(LoadWorker&)>& watch) {
    LoadWorker worker(std::move(pushkit));
    worker.start(arguments);
    if (watch) {
        watch(worker);
    }
    const std::int32_t result = worker.join();
    return LoadEnd{result, worker.poll().hookCalls};
}

}  // namespace formwell::link
