#include "serial_terminal_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <vector>

#include "serial/testing/pty_pair.h"

namespace pushkit {
namespace {

using serial::testing::PtyPair;
using serial::testing::ScopedEnv;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr int kPortNumber = 6;
constexpr LineSettings k19200{19200, 8, kParityNone, kStopOne};
// Only a hung call gets near this; the time-outs under test are far shorter.
constexpr milliseconds kWayTooLong{3000};

milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class SerialTerminalPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        port_ = opener_.open(kPortNumber, k19200);
        ASSERT_NE(port_, nullptr) << opener_.lastError().text;
    }

    PtyPair pty_;
    ScopedEnv env_{"COM" + std::to_string(kPortNumber), pty_.slavePath()};
    SerialPortOpener opener_;
    std::unique_ptr<Port> port_;
};

TEST_F(SerialTerminalPortTest, SilentTerminalGivesNothingAfterTheWholeTotal) {
    std::uint8_t byte = 0xEE;
    const auto start = Clock::now();
    EXPECT_EQ(port_->read(&byte, 1), 0u);
    const milliseconds took = since(start);
    EXPECT_GE(took, milliseconds(200));
    EXPECT_LT(took, kWayTooLong);
    EXPECT_EQ(byte, 0xEE);
}

TEST_F(SerialTerminalPortTest, BurstArrivesWholeAndAShortAnswerEndsAtTheInterval) {
    std::vector<std::uint8_t> answer(18);
    for (std::size_t i = 0; i < answer.size(); ++i) {
        answer[i] = static_cast<std::uint8_t>(0x10 + i);  // DLE, XON and XOFF among them
    }
    pty_.send(answer);
    std::vector<std::uint8_t> got(answer.size());
    ASSERT_EQ(port_->read(got.data(), got.size()), answer.size());
    EXPECT_EQ(got, answer);

    // Five bytes of an eighteen-byte read: the read ends 100 ms after them, long before its 1.9 s total.
    pty_.send({'R', 'M', 'T', '0', '1'});
    const auto start = Clock::now();
    EXPECT_EQ(port_->read(got.data(), got.size()), 5u);
    EXPECT_LT(since(start), milliseconds(1500));
}

TEST_F(SerialTerminalPortTest, DiscardingTakesWhatIsThereUpToItsCap) {
    pty_.send(std::vector<std::uint8_t>(300, 0x06));
    const Discarded first = port_->discardUntilQuiet();
    EXPECT_EQ(first.bytes, 256u);
    EXPECT_TRUE(first.capped);
    const Discarded rest = port_->discardUntilQuiet();
    EXPECT_EQ(rest.bytes, 44u);
    EXPECT_FALSE(rest.capped);
    const Discarded none = port_->discardUntilQuiet();
    EXPECT_EQ(none.bytes, 0u);
    EXPECT_FALSE(none.capped);

    const std::vector<std::uint8_t> query{0x1B, 'Z', '1', '\r'};
    ASSERT_TRUE(port_->write(query.data(), query.size()));
    port_->drain();
    EXPECT_EQ(pty_.receive(query.size()), query);
    auto* serialPort = dynamic_cast<SerialTerminalPort*>(port_.get());
    ASSERT_NE(serialPort, nullptr);
    EXPECT_TRUE(serialPort->lastError().ok()) << serialPort->lastError().text;
}

TEST_F(SerialTerminalPortTest, WrittenBytesArrive) {
    const std::vector<std::uint8_t> wake{0x1B, 'X', 'L', 'T', 0x0B, '\r'};
    EXPECT_TRUE(port_->write(wake.data(), wake.size()));
    EXPECT_EQ(pty_.receive(wake.size()), wake);
    EXPECT_TRUE(port_->write(wake.data(), 0));
}

TEST_F(SerialTerminalPortTest, HungUpTerminalFailsWritesAndReadsAtOnce) {
    pty_.closeMaster();
    const std::uint8_t byte = 0x06;
    const auto start = Clock::now();
    EXPECT_FALSE(port_->write(&byte, 1));
    std::uint8_t got[10] = {};
    EXPECT_EQ(port_->read(got, sizeof(got)), 0u);
    EXPECT_LT(since(start), milliseconds(1000));
    auto* serialPort = dynamic_cast<SerialTerminalPort*>(port_.get());
    ASSERT_NE(serialPort, nullptr);
    EXPECT_EQ(serialPort->lastError().kind, serial::ErrorKind::HungUp);
}

TEST_F(SerialTerminalPortTest, LineControlOnAPtyIsHarmlessAndCtsReadsOn) {
    port_->setDtr(false);
    port_->setRts(false);
    port_->setDtr(true);
    port_->setRts(true);
    EXPECT_TRUE(port_->cts());
    port_->flushAndPurge();
    auto* serialPort = dynamic_cast<SerialTerminalPort*>(port_.get());
    ASSERT_NE(serialPort, nullptr);
    EXPECT_TRUE(serialPort->lastError().ok()) << serialPort->lastError().text;
}

TEST_F(SerialTerminalPortTest, BaudChangesReachTheLine) {
    port_->setBaud(115200);
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty_.slaveFd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), B115200);
    port_->setLine(LineSettings{9600, 8, kParityNone, kStopOne});
    ASSERT_EQ(::tcgetattr(pty_.slaveFd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), B9600);
}

TEST_F(SerialTerminalPortTest, ThePortIsHeldUntilItIsDestroyed) {
    SerialPortOpener second;
    EXPECT_EQ(second.open(kPortNumber, k19200), nullptr);
    EXPECT_EQ(second.lastError().kind, serial::ErrorKind::InUse);
    port_.reset();
    EXPECT_NE(second.open(kPortNumber, k19200), nullptr) << second.lastError().text;
}

TEST_F(SerialTerminalPortTest, ClockCountsMilliseconds) {
    const std::uint64_t before = port_->nowMs();
    port_->sleepMs(20);
    const std::uint64_t slept = port_->nowMs() - before;
    EXPECT_GE(slept, 20u);
    EXPECT_LT(slept, static_cast<std::uint64_t>(kWayTooLong.count()));
}

TEST(SerialPortOpener, NoPortWhenTheDeviceOrTheSettingsCannotBeUsed) {
    PtyPair pty;
    ScopedEnv env("COM" + std::to_string(kPortNumber), pty.slavePath());
    SerialPortOpener opener;
    EXPECT_EQ(opener.open(kPortNumber, LineSettings{19200, 8, 5, kStopOne}), nullptr);
    EXPECT_EQ(opener.lastError().kind, serial::ErrorKind::InvalidSetting);

    ScopedEnv missing("COM" + std::to_string(kPortNumber + 1), std::string("/nonexistent/ttyUSB0"));
    EXPECT_EQ(opener.open(kPortNumber + 1, k19200), nullptr);
    EXPECT_EQ(opener.lastError().kind, serial::ErrorKind::NoSuchDevice);

    // The codes callers pass for space parity and one and a half stop bits are ones the port takes.
    EXPECT_NE(opener.open(kPortNumber, LineSettings{57600, 7, kParitySpace, kStopOneAndHalf}), nullptr)
        << opener.lastError().text;
}

}  // namespace
}  // namespace pushkit
