#include "pumping_comrig.h"

#include <QCoreApplication>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace formwell::shell {

namespace {

// How often the window is serviced while a call waits: quick enough for painting and clicks,
// rare enough to cost nothing.
constexpr std::chrono::milliseconds kServiceInterval{15};

// The one helper thread of a table: started by the first call, joined when the last copy of the
// table goes. Calls run on it one at a time, in the order they were handed over.
class CallThread {
  public:
    CallThread() = default;
    CallThread(const CallThread&) = delete;
    CallThread& operator=(const CallThread&) = delete;

    ~CallThread() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    template <typename Call>
    std::int32_t run(Call&& call) {
        std::packaged_task<std::int32_t()> task(std::forward<Call>(call));
        std::future<std::int32_t> result = task.get_future();
        {
            const std::lock_guard lock(mutex_);
            if (!thread_.joinable()) {
                thread_ = std::thread([this] { serve(); });
            }
            // A queue, not one slot: a call made from an event handled below still finds its turn.
            calls_.push_back(std::move(task));
        }
        wake_.notify_one();
        while (result.wait_for(kServiceInterval) != std::future_status::ready) {
            QCoreApplication::processEvents();
        }
        return result.get();  // an error the binding raised comes through here
    }

  private:
    void serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !calls_.empty(); });
            if (calls_.empty()) {
                return;
            }
            std::packaged_task<std::int32_t()> call = std::move(calls_.front());
            calls_.pop_front();
            lock.unlock();
            call();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<std::int32_t()>> calls_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace

link::ComrigTable pumpingComrig(link::ComrigTable inner) {
    const auto helper = std::make_shared<CallThread>();
    link::ComrigTable t = inner;
    t.ComSleepMS = [helper, f = inner.ComSleepMS](std::int32_t port, std::int32_t ms) {
        return helper->run([&] { return f(port, ms); });
    };
    t.ComPutc = [helper, f = inner.ComPutc](std::int32_t port, std::int32_t byteValue) {
        return helper->run([&] { return f(port, byteValue); });
    };
    t.ComWrite = [helper, f = inner.ComWrite](std::int32_t port, const char* buf, std::int32_t n) {
        return helper->run([&] { return f(port, buf, n); });
    };
    t.ComReadBuf = [helper, f = inner.ComReadBuf](std::int32_t port, char* buf, std::int32_t terminator,
                                                  std::int32_t max, std::int32_t wait) {
        return helper->run([&] { return f(port, buf, terminator, max, wait); });
    };
    return t;
}

}  // namespace formwell::shell
