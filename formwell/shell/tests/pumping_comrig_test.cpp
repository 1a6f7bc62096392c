#include "pumping_comrig.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

namespace formwell::shell {
namespace {

// The window's events are handled while a comrig call waits: the call below can only end early
// when a timer event of this thread has run during it.
TEST(PumpingComrig, TheWindowIsServedWhileACallWaits) {
    std::atomic<bool> served{false};
    link::ComrigTable inner;
    inner.ComReadBuf = [&](std::int32_t, char* buf, std::int32_t, std::int32_t, std::int32_t) {
        const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!served && std::chrono::steady_clock::now() < bound) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        buf[0] = 'x';
        return served ? 2 : -1;
    };
    QTimer::singleShot(0, [&] { served = true; });
    char buffer[2] = {};
    EXPECT_EQ(pumpingComrig(inner).ComReadBuf(1, buffer, 3, 1, 5), 2);
    EXPECT_EQ(buffer[0], 'x');
}

}  // namespace
}  // namespace formwell::shell
