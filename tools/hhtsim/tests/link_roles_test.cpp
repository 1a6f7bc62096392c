// INI receive, data send and auto mode against a scripted host on the pty.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <random>
#include <sstream>

#include "sim_host.h"

namespace hhtsim::testing {
namespace {

constexpr std::uint8_t SOH = 0x01, STX = 0x02, ETX = 0x03, EOT = 0x04, ACK = 0x06;

// The host's frame, built here independently of the simulator's codec.
Bytes hostFrame(const std::string& line) {
    Bytes frame;
    frame.reserve(line.size() + 8);
    frame.push_back(STX);
    frame.insert(frame.end(), line.begin(), line.end());
    frame.push_back(0x0D);
    frame.push_back(0x0A);
    frame.push_back(ETX);
    std::uint8_t check = 0;
    for (auto b : frame) {
        check ^= b;
    }
    frame.push_back(check);
    return frame;
}

TEST(HhtsimIniReceiver, StoresGoodFramesAndRefusesABadCheckByte) {
    TempDir dir;
    SimHost sim({"--role", "ini-receiver", "--once", "--out", (dir / "got.ini").string(), "--log",
                 (dir / "log").string()});
    ASSERT_TRUE(sim.openDevice()) << sim.device();

    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    const std::string record = "QTY           Number5 YN1 0111111111111111";
    sim.send(hostFrame(record));
    EXPECT_EQ(sim.read(1), Bytes{ACK});

    Bytes damaged = hostFrame("abc");
    damaged.back() ^= 0x40;
    sim.send(damaged);
    EXPECT_TRUE(sim.silent()) << "a frame with a wrong check byte must not be acknowledged";
    Bytes good = hostFrame("abc");
    ASSERT_EQ(good, (Bytes{0x02, 0x61, 0x62, 0x63, 0x0D, 0x0A, 0x03, 0x66}));
    sim.send(good);
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(Bytes{0x02, 0x0D, 0x0A, 0x03, 0x06});  // a blank line
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(Bytes{EOT});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.closeDevice();
    EXPECT_EQ(sim.waitExit(), 0);

    EXPECT_EQ(readFile(dir / "got.ini"), record + "\r\nabc\r\n\r\n");
    auto events = logEvents(dir / "log");
    EXPECT_TRUE(containsInOrder(
        events,
        {"rx SOH", "tx ACK", "note SESSION ini-receiver", "rx FRAME STX \"" + record + "\\r\\n\" xor=OK",
         "tx ACK", "rx FRAME STX \"abc\\r\\n\" xor=BAD", "note NO ACK: check byte refused",
         "rx FRAME STX \"abc\\r\\n\" xor=OK", "tx ACK", "rx EOT", "tx ACK", "note EXCHANGE completed"}));
    for (const auto& e : events) {
        EXPECT_EQ(e.rfind("MALFORMED", 0), std::string::npos) << e;
    }
}

TEST(HhtsimIniReceiver, IncompleteReceiveLeavesTheOldFileAlone) {
    TempDir dir;
    writeFile(dir / "got.ini", "old\r\n");
    SimHost sim({"--role", "ini-receiver", "--once", "--idle-timeout", kIdleTimeoutArg, "--out",
                 (dir / "got.ini").string()});
    ASSERT_TRUE(sim.openDevice());
    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(hostFrame("new"));
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    // The host falls silent: the exchange is abandoned, not reported as done.
    EXPECT_EQ(sim.waitExit(), 1);
    EXPECT_EQ(readFile(dir / "got.ini"), "old\r\n");
}

TEST(HhtsimIniReceiver, HostClosingMidTransferEndsTheExchangeAtOnce) {
    TempDir dir;
    SimHost sim({"--role", "ini-receiver", "--once", "--log", (dir / "log").string()});
    ASSERT_TRUE(sim.openDevice());
    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.closeDevice();
    // Well inside the 15 s idle time-out: the close itself ends the exchange.
    EXPECT_EQ(sim.waitExit(), 1);
    EXPECT_TRUE(containsInOrder(logEvents(dir / "log"),
                                {"note HOST CLOSE", "note ABANDONED: the host closed the port"}));
}

// Noise before an exchange: however much of it arrives, it costs the log a few lines, and the exchange
// after it is logged as ever.
TEST(HhtsimIniReceiver, NoiseOnTheLineIsSummarisedInTheLog) {
    TempDir dir;
    SimHost sim({"--role", "ini-receiver", "--once", "--log", (dir / "log").string()});
    ASSERT_TRUE(sim.openDevice());
    std::mt19937 random(7);
    Bytes noise(10000);
    for (auto& byte : noise) {
        do {
            byte = static_cast<std::uint8_t>(random());
        } while (byte == SOH);  // the one byte that would start the exchange
    }
    sim.send(noise);
    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(hostFrame("QTY"));
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(Bytes{EOT});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    EXPECT_EQ(sim.waitExit(), 0);

    EXPECT_LT(std::filesystem::file_size(dir / "log"), 2048u);
    // Every noise byte is in the log, shown or counted (another event, such as the host's open being
    // noticed, may split the noise into more than one run).
    const std::vector<std::string> events = logEvents(dir / "log");
    std::size_t counted = 0;
    for (const std::string& event : events) {
        unsigned long more = 0;
        if (event.rfind("rx BYTE ", 0) == 0) {
            ++counted;
        } else if (std::sscanf(event.c_str(), "rx STRAY %lu more bytes", &more) == 1) {
            counted += more;
        }
    }
    EXPECT_EQ(counted, noise.size()) << readFile(dir / "log");
    EXPECT_TRUE(containsInOrder(
        events, {"rx SOH", "tx ACK", "rx FRAME STX \"QTY\\r\\n\" xor=OK", "tx ACK", "rx EOT", "tx ACK"}));
}

TEST(HhtsimDataSender, SendsEachRecordUntilAcknowledgedThenEot) {
    TempDir dir;
    writeFile(dir / "records", "abc\r\n\nSKU 42  \n");
    SimHost sim({"--role", "data-sender", "--once", "--records", (dir / "records").string(), "--log",
                 (dir / "log").string()});
    ASSERT_TRUE(sim.openDevice());
    EXPECT_TRUE(sim.silent()) << "the terminal speaks only after the host's SOH";
    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});

    EXPECT_EQ(sim.read(8), (Bytes{0x02, 0x61, 0x62, 0x63, 0x0D, 0x0A, 0x03, 0x66}));
    sim.send(Bytes{ACK});
    EXPECT_EQ(sim.read(5), (Bytes{0x02, 0x0D, 0x0A, 0x03, 0x06}));
    // No answer: the terminal sends the same frame again after its wait.
    EXPECT_EQ(sim.read(5), (Bytes{0x02, 0x0D, 0x0A, 0x03, 0x06}));
    sim.send(Bytes{ACK});
    EXPECT_EQ(sim.read(hostFrame("SKU 42  ").size()), hostFrame("SKU 42  "));
    sim.send(Bytes{ACK});
    EXPECT_EQ(sim.read(1), Bytes{EOT});
    EXPECT_TRUE(sim.silent()) << "nothing follows the EOT";
    sim.closeDevice();
    EXPECT_EQ(sim.waitExit(), 0);
    EXPECT_TRUE(
        containsInOrder(logEvents(dir / "log"),
                        {"note SESSION data-sender", "tx FRAME STX \"abc\\r\\n\" xor=OK", "rx ACK",
                         "tx FRAME STX \"\\r\\n\" xor=OK", "note NO ACK", "tx FRAME STX \"\\r\\n\" xor=OK",
                         "rx ACK", "tx FRAME STX \"SKU 42  \\r\\n\" xor=OK", "rx ACK", "tx EOT"}));
}

TEST(HhtsimDataSender, GivesUpAfterThreeUnansweredSends) {
    TempDir dir;
    writeFile(dir / "records", "one\n");
    SimHost sim({"--role", "data-sender", "--once", "--records", (dir / "records").string()});
    ASSERT_TRUE(sim.openDevice());
    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    const Bytes frame = hostFrame("one");
    for (int send = 0; send < 3; ++send) {
        EXPECT_EQ(sim.read(frame.size()), frame) << "send " << send;
    }
    EXPECT_EQ(sim.waitExit(), 1);
}

// The record is what the soak holds the host to, so a record is delivered only on an ACK that came
// after its frame: the second of two ACKs for one frame was already waiting and answers nothing.
TEST(HhtsimDataSender, RecordsWhatWasSentAndWhatWasAcknowledged) {
    TempDir dir;
    writeFile(dir / "records", "one\ntwo\n");
    SimHost sim({"--role", "data-sender", "--once", "--records", (dir / "records").string(), "--record",
                 (dir / "record").string()});
    ASSERT_TRUE(sim.openDevice());
    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    EXPECT_EQ(sim.read(hostFrame("one").size()), hostFrame("one"));
    sim.send(Bytes{ACK, ACK});
    EXPECT_EQ(sim.read(hostFrame("two").size()), hostFrame("two"));
    sim.closeDevice();
    EXPECT_EQ(sim.waitExit(), 1);

    std::vector<std::string> events;
    std::istringstream in(readFile(dir / "record"));
    for (std::string line; std::getline(in, line);) {
        events.push_back(line.substr(line.find(' ') + 1));
    }
    EXPECT_EQ(events, (std::vector<std::string>{"SESSION data-sender", "SENT 1 try=1 \"one\"", "ACKED 1",
                                                "SENT 2 try=1 \"two\"", "EXCHANGE abandoned"}));
}

TEST(HhtsimAutoMode, TellsTheExchangesApartAndServesOneAfterAnother) {
    TempDir dir;
    writeFile(dir / "records", "R1\n");
    const auto link = dir / "COM1";
    SimHost sim({"--role", "auto", "--link", link.string(), "--records", (dir / "records").string(), "--out",
                 (dir / "got.ini").string(), "--log", (dir / "log").string()});
    ASSERT_EQ(std::filesystem::read_symlink(link).string(), sim.device());

    // An INI send: the frame follows the ACK at once. Sent together with the SOH here, so that a slow
    // test machine cannot make it miss the terminal's listening spell.
    ASSERT_TRUE(sim.openDevice());
    Bytes opening{SOH};
    Bytes frame = hostFrame("L1");
    opening.insert(opening.end(), frame.begin(), frame.end());
    sim.send(opening);
    EXPECT_EQ(sim.read(2), (Bytes{ACK, ACK}));
    sim.send(Bytes{EOT});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.closeDevice();

    // A data receive after the host reopened the port: the host stays quiet after the ACK.
    ASSERT_TRUE(sim.openDevice());
    sim.send(Bytes{SOH});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    EXPECT_EQ(sim.read(hostFrame("R1").size()), hostFrame("R1"));
    sim.send(Bytes{ACK});
    EXPECT_EQ(sim.read(1), Bytes{EOT});
    sim.closeDevice();

    // An empty INI file: EOT straight after the handshake is an INI send too.
    ASSERT_TRUE(sim.openDevice());
    sim.send(Bytes{SOH, EOT});
    EXPECT_EQ(sim.read(2), (Bytes{ACK, ACK}));
    sim.closeDevice();

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << "link left behind";
    EXPECT_EQ(readFile(dir / "got.ini"), "");
    EXPECT_TRUE(containsInOrder(logEvents(dir / "log"),
                                {"note SESSION ini-receiver", "note EXCHANGE completed", "note HOST CLOSE",
                                 "note SESSION data-sender", "tx EOT", "note EXCHANGE completed",
                                 "note SESSION ini-receiver", "note EXCHANGE completed", "note EXIT"}));
}

}  // namespace
}  // namespace hhtsim::testing

namespace hhtsim::testing {
namespace {

TEST(HhtsimAutoMode, RoutesLoaderSessionsByTheirFirstBytes) {
    const std::string firstQuery = "\x1BXLT\x0B\r";
    {
        SimHost sim({"--role", "auto", "--once", "--rmt", "--ident", "RMT 3300"});
        ASSERT_TRUE(sim.openDevice());
        sim.send(firstQuery);
        EXPECT_EQ(sim.read(8), Bytes({'R', 'M', 'T', ' ', '3', '3', '0', '0'}));
    }
    {
        SimHost sim({"--role", "auto", "--once"});
        ASSERT_TRUE(sim.openDevice());
        sim.send(firstQuery);
        EXPECT_TRUE(sim.silent());
        sim.send(std::string("\x1BZ1\r"));
        EXPECT_EQ(sim.read(18).size(), 18u);
    }
    {
        SimHost sim({"--role", "auto", "--once"});
        ASSERT_TRUE(sim.openDevice());
        sim.send(Bytes{0x02, 0x30, 0x30, 0x30, 0x30, 0x32, 0x50, 0x31, 0x03, 0x50});
        Bytes answer = sim.read(9);
        ASSERT_EQ(answer.size(), 9u);
        EXPECT_EQ(answer[6], 0x06);
    }
}

}  // namespace
}  // namespace hhtsim::testing
