// The scripted terminal must keep the real port's read rules, or every timing test above it lies.
#include "pushkit/tests/support/scripted_terminal.h"

#include <gtest/gtest.h>

namespace pushkit::testing {
namespace {

struct ReadCase {
    const char* name;
    std::size_t asked;
    std::uint32_t answerDelayMs;
    std::uint32_t gapMs;
    std::size_t answerLength;  // 0: silent
    std::size_t expectedCount;
    std::uint64_t expectedElapsedMs;
};

TEST(ScriptedTerminalTest, ReadsEndByCountIntervalOrDeadline) {
    const ReadCase cases[] = {
        {"silent one byte", 1, 0, 0, 0, 0, 200},
        {"silent eighteen bytes", 18, 0, 0, 0, 0, 1900},
        {"bytes already there", 3, 0, 0, 5, 3, 0},
        {"late answer inside the deadline", 1, 150, 0, 1, 1, 150},
        {"answer after the deadline", 1, 250, 0, 1, 0, 200},
        {"short answer waits one interval", 9, 30, 0, 4, 4, 130},
        {"gap of exactly 100 ms still joins", 2, 0, 100, 2, 2, 100},
        {"gap over 100 ms ends the read", 3, 0, 101, 3, 1, 100},
        {"deadline cuts a slow stream", 2, 250, 60, 2, 1, 300},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTerminal terminal;
        auto port = terminal.openPort();
        terminal.answer(Bytes(c.answerLength, 0x41), c.answerDelayMs, c.gapMs);
        std::uint8_t buf[32] = {};
        EXPECT_EQ(port->read(buf, c.asked), c.expectedCount);
        EXPECT_EQ(terminal.nowMs(), c.expectedElapsedMs);
    }
}

TEST(ScriptedTerminalTest, ResponderSeesWritesAndLogKeepsOrder) {
    ScriptedTerminal terminal;
    terminal.setResponder(identifiesAs("VKD12345", silentAfter(1, ackEverything())));
    terminal.failWritesFrom(3);
    {
        auto port = terminal.openPort(2, {.baud = 19200});
        const Bytes query = bytesOf("\x1bZ1\r");
        std::uint8_t buf[16] = {};
        EXPECT_TRUE(port->write(query.data(), query.size()));
        EXPECT_EQ(port->read(buf, 8), 8u);
        EXPECT_EQ(Bytes(buf, buf + 8), bytesOf("VKD12345"));
        const std::uint8_t frame[] = {1, 2};
        EXPECT_TRUE(port->write(frame, 2));  // first other write: ACK
        EXPECT_TRUE(port->write(frame, 2));  // silent from here
        EXPECT_FALSE(port->write(frame, 2));
        EXPECT_EQ(port->read(buf, 2), 1u);
        EXPECT_EQ(buf[0], 0x06);
        port->sleepMs(50);
    }
    EXPECT_EQ(terminal.writes().size(), 3u);
    EXPECT_EQ(terminal.count(EventKind::WriteFailed), 1u);
    EXPECT_EQ(terminal.sleeps(), std::vector<std::uint32_t>{50});
    EXPECT_EQ(terminal.log().front().kind, EventKind::Open);
    EXPECT_EQ(terminal.log().back().kind, EventKind::Close);
}

TEST(ScriptedTerminalTest, PurgeDropsArrivedBytesAndCtsFollowsScript) {
    ScriptedTerminal terminal;
    terminal.setCts([](std::size_t query) { return query < 2; });
    auto port = terminal.openPort();
    terminal.answer({1, 2});
    terminal.answer({3}, 500);
    port->flushAndPurge();
    std::uint8_t buf[4] = {};
    EXPECT_EQ(port->read(buf, 1), 0u);  // byte 3 arrives after this read's 200 ms
    EXPECT_EQ(port->read(buf, 4), 1u);
    EXPECT_EQ(buf[0], 3);
    EXPECT_TRUE(port->cts());
    EXPECT_TRUE(port->cts());
    EXPECT_FALSE(port->cts());
}

TEST(ScriptedTerminalTest, OpenerCanFailAndPortsShareOneLog) {
    ScriptedTerminal terminal;
    terminal.failOpens(1);
    auto opener = terminal.opener();
    EXPECT_EQ(opener->open(3, {}), nullptr);
    auto port = opener->open(3, {.baud = 115200});
    ASSERT_NE(port, nullptr);
    port.reset();
    ASSERT_EQ(terminal.log().size(), 3u);
    EXPECT_EQ(terminal.log()[0].kind, EventKind::OpenFailed);
    EXPECT_EQ(terminal.log()[1].line.baud, 115200u);
    EXPECT_EQ(terminal.log()[2].kind, EventKind::Close);
}

}  // namespace
}  // namespace pushkit::testing
