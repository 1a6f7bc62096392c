// The misbehaviour switches as the host sees them on the wire, and the command line's failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>

#include "sim_host.h"

namespace hhtsim::testing {
namespace {

constexpr std::uint8_t SOH = 0x01, ACK = 0x06;

Bytes linkFrame(const std::string& line) {
    Bytes frame;
    frame.reserve(line.size() + 8);
    frame.push_back(0x02);
    frame.insert(frame.end(), line.begin(), line.end());
    frame.insert(frame.end(), {0x0D, 0x0A, 0x03});
    std::uint8_t check = 0;
    for (auto b : frame) {
        check ^= b;
    }
    frame.push_back(check);
    return frame;
}

TEST(HhtsimMisbehaviour, SilentNeverAnswers) {
    SimHost sim({"--role", "ini-receiver", "--silent"});
    ASSERT_TRUE(sim.openDevice());
    for (int tries = 0; tries < 3; ++tries) {
        sim.send(Bytes{SOH});
        EXPECT_TRUE(sim.silent()) << "try " << tries;
    }
}

TEST(HhtsimMisbehaviour, WrongAckReplacesTheAckEverywhere) {
    {
        SimHost sim({"--role", "ini-receiver", "--wrong-ack", "15"});
        ASSERT_TRUE(sim.openDevice());
        sim.send(Bytes{SOH});
        EXPECT_EQ(sim.read(1), Bytes{0x15});
    }
    {
        SimHost sim({"--role", "line-loader", "--wrong-ack", "0x15"});
        ASSERT_TRUE(sim.openDevice());
        sim.send(Bytes{0x02, 0x30, 0x30, 0x30, 0x30, 0x32, 0x50, 0x31, 0x03, 0x50});
        Bytes answer = sim.read(9);
        ASSERT_EQ(answer.size(), 9u);
        EXPECT_EQ(answer[6], 0x15);
        std::uint8_t bcc = 0;
        for (std::size_t i = 1; i < 8; ++i) {
            bcc ^= answer[i];
        }
        EXPECT_EQ(answer[8], bcc) << "the frame around the wrong byte stays well formed";
    }
}

TEST(HhtsimMisbehaviour, ChatterTalksOnceBeforeTheFirstAnswer) {
    SimHost sim({"--role", "ini-receiver", "--chatter"});
    ASSERT_TRUE(sim.openDevice());
    sim.send(Bytes{SOH});
    const std::string unasked = "HHT READY\r\n";
    Bytes expected(unasked.begin(), unasked.end());
    expected.push_back(ACK);
    EXPECT_EQ(sim.read(expected.size()), expected);
    sim.send(linkFrame("one"));
    EXPECT_EQ(sim.read(1), Bytes{ACK});
}

TEST(HhtsimMisbehaviour, StopAfterAnswersOnlyTheFirstFrames) {
    SimHost sim({"--role", "ini-receiver", "--stop-after", "2"});
    ASSERT_TRUE(sim.openDevice());
    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(linkFrame("one"));
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(linkFrame("two"));
    EXPECT_TRUE(sim.silent());
    sim.send(linkFrame("two"));
    EXPECT_TRUE(sim.silent());
}

TEST(HhtsimMisbehaviour, HangupAfterClosesTheLineMidTransfer) {
    TempDir dir;
    SimHost sim({"--role", "ini-receiver", "--once", "--hangup-after", "1", "--log", (dir / "log").string()});
    ASSERT_TRUE(sim.openDevice());
    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(linkFrame("one"));
    EXPECT_TRUE(sim.sawHangUp());
    sim.closeDevice();
    EXPECT_EQ(sim.waitExit(), 1);
    EXPECT_TRUE(containsInOrder(logEvents(dir / "log"), {"rx FRAME STX \"one\\r\\n\" xor=OK", "note HANGUP",
                                                         "note EXCHANGE hung-up", "note EXIT"}));
}

TEST(HhtsimMisbehaviour, BadCheckAndOverlongFramesFromTheDataSender) {
    TempDir dir;
    writeFile(dir / "records", "abc\n");
    {
        SimHost sim({"--role", "data-sender", "--bad-check", "--records", (dir / "records").string()});
        ASSERT_TRUE(sim.openDevice());
        sim.send(Bytes{SOH});
        EXPECT_EQ(sim.read(1), Bytes{ACK});
        EXPECT_EQ(sim.read(8), (Bytes{0x02, 0x61, 0x62, 0x63, 0x0D, 0x0A, 0x03, 0x66 ^ 0xFF}));
    }
    {
        SimHost sim({"--role", "data-sender", "--overlong", "--records", (dir / "records").string()});
        ASSERT_TRUE(sim.openDevice());
        sim.send(Bytes{SOH});
        EXPECT_EQ(sim.read(1), Bytes{ACK});
        Bytes frame = sim.read(305);
        ASSERT_EQ(frame.size(), 305u);
        EXPECT_EQ(frame, linkFrame("abc" + std::string(297, 'X')));
    }
    {
        SimHost sim({"--role", "loader", "--overlong"});
        ASSERT_TRUE(sim.openDevice());
        sim.send(std::string("\x1BZ1\r"));
        EXPECT_EQ(sim.read(100).size(), 64u);
    }
}

// Pacing is checked only from below: a slow machine can make the bytes later, never earlier. The
// wire keeps its own schedule, so it is timed from the host's SOH: the SOH, the ACK and the 100 bytes
// of the frame each take their byte time, whenever the host gets round to reading them.
TEST(HhtsimMisbehaviour, DripAndBaudThrottlePaceTheOutput) {
    TempDir dir;
    writeFile(dir / "records", std::string(95, 'D') + "\n");
    struct Case {
        std::vector<std::string> extra;
        speed_t hostSpeed;
        milliseconds atLeast;
    };
    const Case cases[] = {
        // 100 bytes with 5 ms between them.
        {{"--drip", "5"}, B19200, milliseconds(99 * 5)},
        // 102 bytes at 1200 baud, the speed the host set: 10 bits a byte.
        {{"--baud-throttle"}, B1200, milliseconds(102 * 10 * 1000 / 1200)},
        {{"--baud-throttle", "--baud", "2400"}, B19200, milliseconds(102 * 10 * 1000 / 2400)},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--role", "data-sender", "--records", (dir / "records").string()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        SimHost sim(args);
        ASSERT_TRUE(sim.openDevice());
        sim.setSpeed(c.hostSpeed);
        const auto start = std::chrono::steady_clock::now();
        sim.send(Bytes{SOH});
        ASSERT_EQ(sim.read(1, milliseconds(10000)), Bytes{ACK});
        EXPECT_EQ(sim.read(100, milliseconds(10000)).size(), 100u);
        EXPECT_GE(std::chrono::steady_clock::now() - start, c.atLeast) << c.extra[0];
    }
}

TEST(HhtsimCommandLine, BadArgumentsExitWithTwoAndOpenNoDevice) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--role", "printer"}, std::vector<std::string>{"--drip"},
          std::vector<std::string>{"extra"}}) {
        SimHost sim(args);
        EXPECT_TRUE(sim.device().empty());
        EXPECT_EQ(sim.waitExit(), 2) << args[0];
    }
}

TEST(HhtsimCommandLine, RefusesToReplaceAFileWithItsLink) {
    TempDir dir;
    writeFile(dir / "COM1", "keep");
    SimHost sim({"--link", (dir / "COM1").string()});
    EXPECT_EQ(sim.waitExit(), 1);
    EXPECT_EQ(readFile(dir / "COM1"), "keep");
}

TEST(HhtsimCommandLine, InterruptEndsCleanly) {
    TempDir dir;
    SimHost sim({"--role", "auto", "--log", (dir / "log").string()});
    ASSERT_FALSE(sim.device().empty());
    sim.signal(SIGINT);
    EXPECT_EQ(sim.waitExit(), 0);
    auto events = logEvents(dir / "log");
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "note EXIT");
}

}  // namespace
}  // namespace hhtsim::testing
