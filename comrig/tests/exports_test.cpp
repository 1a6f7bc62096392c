// The shared library through its ten exports, with a pseudo-terminal as the terminal's line.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "comrig.h"
#include "serial/testing/pty_pair.h"

namespace {

using serial::testing::PtyPair;
using serial::testing::ScopedEnv;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr int32_t kPort = 201;
const Bytes kFrame{0x02, 'a', 'b', 'c', 0x0D, 0x0A, 0x03};

// Waits until what the terminal sent can be read on the PC's side, without taking it.
bool arrivedAtPc(const PtyPair& terminal) {
    pollfd pfd{terminal.slaveFd(), POLLIN, 0};
    return ::poll(&pfd, 1, 5000) == 1 && (pfd.revents & POLLIN) != 0;
}

int32_t openPort(int32_t port) {
    return ComOpen("com", port, 9600, 8, 1, 1, 16384, 16384);
}

class ComrigExports : public ::testing::Test {
  protected:
    void TearDown() override { ComClose(kPort); }

    PtyPair terminal_;
    ScopedEnv device_{"COM" + std::to_string(kPort), terminal_.slavePath()};
};

TEST_F(ComrigExports, OpenFailuresNameTheirCause) {
    ScopedEnv missing("COM202", std::string("/nonexistent/tty-for-comrig"));
    ScopedEnv notSerial("COM203", std::string("/dev/null"));
    ScopedEnv sameDevice("COM204", terminal_.slavePath());
    EXPECT_EQ(openPort(202), COMRIG_ERR_NO_DEVICE);
    EXPECT_EQ(openPort(203), COMRIG_ERR_NOT_SERIAL);

    EXPECT_EQ(ComOpen("lpt", kPort, 9600, 8, 1, 1, 16384, 16384), COMRIG_ERR_INVALID);
    EXPECT_EQ(ComOpen(nullptr, kPort, 9600, 8, 1, 1, 16384, 16384), COMRIG_ERR_INVALID);
    EXPECT_EQ(ComOpen("com", kPort, 12345, 8, 1, 1, 16384, 16384), COMRIG_ERR_INVALID);
    EXPECT_EQ(ComOpen("com", kPort, 9600, 9, 1, 1, 16384, 16384), COMRIG_ERR_INVALID);
    EXPECT_EQ(ComOpen("com", kPort, 9600, 8, 0, 1, 16384, 16384), COMRIG_ERR_INVALID);
    EXPECT_EQ(ComOpen("com", kPort, 9600, 8, 4, 1, 16384, 16384), COMRIG_ERR_INVALID);
    EXPECT_EQ(ComOpen("com", kPort, 9600, 8, 1, 3, 16384, 16384), COMRIG_ERR_INVALID);
    EXPECT_EQ(ComOpen("com", kPort, 9600, 8, 1, 1, 0, 16384), COMRIG_ERR_INVALID);

    // Held by one port number, the device is in use for another; the same number (its low byte) is
    // closed and opened again.
    EXPECT_EQ(ComOpen("COM", kPort, 19200, 7, 3, 2, 16384, 16384), COMRIG_OK);
    EXPECT_EQ(openPort(204), COMRIG_ERR_IN_USE);
    EXPECT_EQ(openPort(kPort + 256), COMRIG_OK);
    EXPECT_EQ(ComClose(kPort), COMRIG_OK);
    EXPECT_EQ(ComClose(kPort), COMRIG_OK);
    EXPECT_EQ(openPort(204), COMRIG_OK);
    EXPECT_EQ(ComClose(204), COMRIG_OK);
}

TEST_F(ComrigExports, ClosedPortRefusesEveryCall) {
    ASSERT_EQ(openPort(kPort), COMRIG_OK);
    ASSERT_EQ(ComClose(kPort), COMRIG_OK);
    char buffer[201];
    std::fill(std::begin(buffer), std::end(buffer), ' ');
    EXPECT_EQ(ComSetFlow(kPort, 2), COMRIG_FAILED);
    EXPECT_EQ(ComFlush(kPort), COMRIG_FAILED);
    EXPECT_EQ(ComFlushImmediate(kPort), COMRIG_FAILED);
    EXPECT_EQ(ComPutc(kPort, 0x01), COMRIG_FAILED);
    EXPECT_EQ(ComWrite(kPort, "abc", 3), COMRIG_FAILED);
    EXPECT_EQ(ComGetc(kPort), COMRIG_ERR_NOT_OPEN);
    EXPECT_EQ(ComReadBuf(kPort, buffer, 3, 200, 5), COMRIG_FAILED);
    // Sleeping needs no open port; a negative pause is none.
    EXPECT_EQ(ComSleepMS(kPort, -5), COMRIG_OK);
    const auto start = Clock::now();
    EXPECT_EQ(ComSleepMS(kPort, 100), COMRIG_OK);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(ComrigExports, ExchangeWithTheTerminal) {
    ASSERT_EQ(openPort(kPort), COMRIG_OK);
    EXPECT_EQ(ComSetFlow(kPort, 2), COMRIG_OK);
    EXPECT_EQ(ComSetFlow(kPort, 0), COMRIG_OK);
    EXPECT_EQ(ComSetFlow(kPort, 1), COMRIG_ERR_INVALID);

    // Left-overs of an earlier exchange are gone after the flushes; nothing waits, and ComGetc says so
    // at once.
    terminal_.send({'o', 'l', 'd'});
    ASSERT_TRUE(arrivedAtPc(terminal_));
    EXPECT_EQ(ComFlush(kPort), COMRIG_OK);
    EXPECT_EQ(ComFlushImmediate(kPort), COMRIG_OK);
    const auto before = Clock::now();
    EXPECT_EQ(ComGetc(kPort), COMRIG_NO_BYTE);
    EXPECT_LT(Clock::now() - before, seconds(2));

    // The PC's bytes reach the terminal whole.
    const std::string frame(kFrame.begin(), kFrame.end());
    EXPECT_EQ(ComWrite(kPort, frame.data(), static_cast<int32_t>(frame.size())), 7);
    EXPECT_EQ(ComPutc(kPort, 0x06), 1);
    EXPECT_EQ(ComPutc(kPort, 0x100), COMRIG_ERR_INVALID);
    EXPECT_EQ(ComWrite(kPort, nullptr, 0), 0);
    Bytes expected = kFrame;
    expected.push_back(0x06);
    EXPECT_EQ(terminal_.receive(expected.size(), seconds(5)), expected);

    // A frame and its check byte: the frame and a NUL in the buffer, the check byte for ComGetc.
    Bytes reply = kFrame;
    reply.push_back(0x66);
    terminal_.send(reply);
    char buffer[201];
    std::fill(std::begin(buffer), std::end(buffer), ' ');
    ASSERT_EQ(ComReadBuf(kPort, buffer, 3, 200, 5), COMRIG_READ_FRAME);
    EXPECT_EQ(std::string(buffer, 8), frame + '\0');
    EXPECT_TRUE(std::all_of(buffer + 8, buffer + 201, [](char c) { return c == ' '; }));
    EXPECT_EQ(ComSleepMS(kPort, 1), COMRIG_OK);
    EXPECT_EQ(ComGetc(kPort), 0x66);

    // The terminal's lone EOT ends the receive well before the 5 s wait.
    terminal_.send({0x04});
    std::fill(std::begin(buffer), std::end(buffer), ' ');
    const auto eotStart = Clock::now();
    EXPECT_EQ(ComReadBuf(kPort, buffer, 3, 200, 5), COMRIG_READ_WAIT_ENDED);
    EXPECT_LT(Clock::now() - eotStart, seconds(4));
    EXPECT_EQ(buffer[0], 0x04);
}

TEST_F(ComrigExports, SendThatCannotFinishIsCutAndItsRestDiscarded) {
    // The terminal reads nothing: the line's buffers fill and the send ends at its bound (wire time
    // plus 2 s) with fewer bytes taken. Received bytes survive the discard of the unsent ones.
    ASSERT_EQ(ComOpen("com", kPort, 2000000, 8, 1, 1, 16384, 16384), COMRIG_OK);
    const std::string flood(256 * 1024, 'x');
    const int32_t taken = ComWrite(kPort, flood.data(), static_cast<int32_t>(flood.size()));
    EXPECT_GE(taken, 0);
    EXPECT_LT(taken, static_cast<int32_t>(flood.size()));
    terminal_.send({'k'});
    ASSERT_TRUE(arrivedAtPc(terminal_));
    EXPECT_EQ(ComFlushImmediate(kPort), COMRIG_OK);
    EXPECT_EQ(ComGetc(kPort), 'k');
    EXPECT_EQ(ComPutc(kPort, 0x06), 1);
}

TEST_F(ComrigExports, HangUpFailsTheReads) {
    ASSERT_EQ(openPort(kPort), COMRIG_OK);
    terminal_.closeMaster();
    char buffer[201];
    const auto start = Clock::now();
    EXPECT_EQ(ComReadBuf(kPort, buffer, 3, 200, 5), COMRIG_FAILED);
    EXPECT_LT(Clock::now() - start, seconds(4));
    EXPECT_EQ(ComGetc(kPort), COMRIG_ERR_READ);
    // Still open, and still telling the lost line from a port that is not open after a failed write.
    EXPECT_EQ(ComPutc(kPort, 0x01), COMRIG_FAILED);
    EXPECT_EQ(ComGetc(kPort), COMRIG_ERR_READ);
}

TEST_F(ComrigExports, ClosedFromAnotherThreadWhileInUse) {
    ASSERT_EQ(openPort(kPort), COMRIG_OK);
    // Polls the open port until it is closed under it; then every call reports it not open.
    std::thread reader([] {
        while (ComGetc(kPort) != COMRIG_ERR_NOT_OPEN) {
        }
        EXPECT_EQ(ComPutc(kPort, 0x01), COMRIG_FAILED);
    });
    EXPECT_EQ(ComClose(kPort), COMRIG_OK);
    reader.join();
    // The table is whole again: the port opens and works at once.
    ASSERT_EQ(openPort(kPort), COMRIG_OK);
    EXPECT_EQ(ComPutc(kPort, 0x01), 1);
    EXPECT_EQ(terminal_.receive(1, seconds(5)), Bytes{0x01});
}

}  // namespace
