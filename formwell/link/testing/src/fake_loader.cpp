#include "formwell/testing/fake_loader.h"

namespace formwell::testing {

void FakeLoader::Session::progress(double percent) {
    DownloadProgressHook hook = nullptr;
    {
        const std::lock_guard<std::mutex> lock(loader_.mutex_);
        hook = loader_.hook_;
    }
    if (hook != nullptr) {
        hook(1, percent);
    }
}

bool FakeLoader::Session::waitForCancel(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(loader_.mutex_);
    return loader_.changed_.wait_for(lock, bound, [this] { return !loader_.runFlag_; });
}

bool FakeLoader::Session::cancelled() const {
    const std::lock_guard<std::mutex> lock(loader_.mutex_);
    return !loader_.runFlag_;
}

std::int32_t FakeLoader::untilCancelled(const link::DownloadArguments&, Session& session) {
    for (const double percent : {0.0, 25.0, 50.0}) {
        session.progress(percent);
    }
    return session.waitForCancel() ? -30 : -19;
}

link::PushkitTable FakeLoader::table() {
    link::PushkitTable t;
    t.Download = [this](const char* imagePath, std::int32_t port, std::int32_t baud, std::int32_t dataBits,
                        std::int32_t parity, std::int32_t stopBits, std::int32_t wakeMethod) {
        const link::DownloadArguments arguments{imagePath, port,     baud,      dataBits,
                                                parity,    stopBits, wakeMethod};
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            downloads_.push_back(arguments);
            running_ = true;
            runFlag_ = true;
        }
        changed_.notify_all();
        Session session(*this);
        const std::int32_t r = behaviour ? behaviour(arguments, session) : result;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            running_ = false;
        }
        changed_.notify_all();
        return r;
    };
    t.SetDownloadProgressHook = [this](DownloadProgressHook hook) {
        const std::lock_guard<std::mutex> lock(mutex_);
        hook_ = hook;
        return hook;
    };
    t.CancelAll = [this] {
        cancelAllCalls_.fetch_add(1);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            runFlag_ = false;
        }
        changed_.notify_all();
    };
    return t;
}

std::vector<link::DownloadArguments> FakeLoader::downloads() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return downloads_;
}

bool FakeLoader::waitUntilRunning(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, bound, [this] { return !downloads_.empty(); });
}

}  // namespace formwell::testing
