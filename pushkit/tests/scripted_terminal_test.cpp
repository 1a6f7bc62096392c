// The scripted terminal must keep the real port's read rules, or every timing test above it lies.
#include "pushkit/testing/scripted_terminal.h"

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

TEST(ScriptedTerminalTest, PurgeDropsOnlyWhatHasArrived) {
    ScriptedTerminal terminal;
    auto port = terminal.openPort();
    terminal.answer({1, 2});
    terminal.answer({3}, 500);
    port->flushAndPurge();
    std::uint8_t buf[4] = {};
    EXPECT_EQ(port->read(buf, 1), 0u);  // byte 3 arrives after this read's 200 ms
    EXPECT_EQ(port->read(buf, 4), 1u);
    EXPECT_EQ(buf[0], 3);
}

struct DiscardCase {
    const char* name;
    std::uint32_t answerDelayMs;
    std::uint32_t gapMs;
    std::size_t answerLength;  // 0: silent
    std::size_t expectedCount;
    bool expectedCapped;
    std::uint64_t expectedElapsedMs;
};

TEST(ScriptedTerminalTest, DiscardingEndsAtAQuietWindowOrACap) {
    const DiscardCase cases[] = {
        {"silent", 0, 0, 0, 0, false, 20},
        {"burst already there", 0, 0, 5, 5, false, 20},
        {"late tail inside the window", 20, 0, 3, 3, false, 40},
        {"tail after the window stays", 21, 0, 3, 0, false, 20},
        {"USB chunks 16 ms apart join", 0, 16, 4, 4, false, 68},
        {"a pause of 21 ms ends it", 0, 21, 4, 1, false, 20},
        {"byte cap", 0, 1, 400, 256, true, 255},
        {"time cap", 0, 19, 100, 27, true, 500},
    };
    for (const DiscardCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTerminal terminal;
        auto port = terminal.openPort();
        terminal.answer(Bytes(c.answerLength, 0x41), c.answerDelayMs, c.gapMs);
        const Discarded discarded = port->discardUntilQuiet();
        EXPECT_EQ(discarded.bytes, c.expectedCount);
        EXPECT_EQ(discarded.capped, c.expectedCapped);
        EXPECT_EQ(terminal.nowMs(), c.expectedElapsedMs);
    }
}

TEST(ScriptedTerminalTest, WireTimeDelaysAnswersAndDrain) {
    ScriptedTerminal terminal;
    terminal.modelWireTime();
    // 9600 baud, 7 data bits, even parity, two stop bits: 11 bits a character.
    auto port = terminal.openPort(1, {9600, 7, kParityEven, kStopTwo});
    terminal.setResponder([](ScriptedTerminal& t, const Bytes&) { t.answer({0x06}); });
    const Bytes text(96, 'x');
    ASSERT_TRUE(port->write(text.data(), text.size()));
    EXPECT_EQ(terminal.nowMs(), 0u);  // the write itself does not wait
    std::uint8_t answer = 0;
    EXPECT_EQ(port->read(&answer, 1), 1u);
    EXPECT_EQ(terminal.nowMs(), 110u);  // the answer comes once the last character has arrived
    ASSERT_TRUE(port->write(text.data(), text.size()));
    port->drain();
    EXPECT_EQ(terminal.nowMs(), 220u);
}

}  // namespace
}  // namespace pushkit::testing
