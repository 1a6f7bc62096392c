#include "pumping_comrig.h"

#include <QCoreApplication>
#include <chrono>
#include <future>

namespace formwell::shell {

namespace {

// How often the window is serviced while a call waits: quick enough for painting and clicks,
// rare enough to cost nothing.
constexpr std::chrono::milliseconds kServiceInterval{15};

template <typename Call>
std::int32_t pumped(Call&& call) {
    std::future<std::int32_t> result = std::async(std::launch::async, std::forward<Call>(call));
    while (result.wait_for(kServiceInterval) != std::future_status::ready) {
        QCoreApplication::processEvents();
    }
    return result.get();  // an error the binding raised comes through here
}

}  // namespace

link::ComrigTable pumpingComrig(link::ComrigTable inner) {
    link::ComrigTable t = inner;
    t.ComSleepMS = [f = inner.ComSleepMS](std::int32_t port, std::int32_t ms) {
        return pumped([&] { return f(port, ms); });
    };
    t.ComPutc = [f = inner.ComPutc](std::int32_t port, std::int32_t byteValue) {
        return pumped([&] { return f(port, byteValue); });
    };
    t.ComWrite = [f = inner.ComWrite](std::int32_t port, const char* buf, std::int32_t n) {
        return pumped([&] { return f(port, buf, n); });
    };
    t.ComReadBuf = [f = inner.ComReadBuf](std::int32_t port, char* buf, std::int32_t terminator,
                                          std::int32_t max, std::int32_t wait) {
        return pumped([&] { return f(port, buf, terminator, max, wait); });
    };
    return t;
}

}  // namespace formwell::shell
