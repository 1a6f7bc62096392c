// The three loader terminals against a scripted host on the pty.
#include <gtest/gtest.h>

#include "sim_host.h"

namespace hhtsim::testing {
namespace {

constexpr std::uint8_t ACK = 0x06;
const std::string kEsc = "\x1B";

// DLE framing built here independently of the simulator's codec.
Bytes dleFrame(const Bytes& body) {
    Bytes frame;
    frame.reserve(2 * body.size() + 8);
    frame.push_back(0x10);
    frame.push_back(0x02);
    for (auto b : body) {
        frame.push_back(b);
        if (b == 0x10) {
            frame.push_back(b);
        }
    }
    frame.push_back(0x10);
    frame.push_back(0x03);
    std::uint8_t bcc = 0;
    for (auto b : frame) {
        bcc ^= b;
    }
    frame.push_back(bcc);
    return frame;
}

Bytes lineFrame(int sequence, const std::string& text) {
    char header[8];
    std::snprintf(header, sizeof header, "%d%04zu", sequence % 10, text.size());
    Bytes frame;
    frame.reserve(text.size() + 8);
    frame.push_back(0x02);
    frame.insert(frame.end(), header, header + 5);
    frame.insert(frame.end(), text.begin(), text.end());
    frame.push_back(0x03);
    std::uint8_t bcc = 0;
    for (std::size_t i = 1; i < frame.size(); ++i) {
        bcc ^= frame[i];
    }
    frame.push_back(bcc);
    return frame;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

TEST(HhtsimFramedLoader, PlaysAWholeSessionIntoItsFlash) {
    TempDir dir;
    SimHost sim({"--role", "loader", "--once", "--ident", "VKNV0105", "--flash-id", "E22000", "--flash-out",
                 (dir / "flash.s2").string(), "--log", (dir / "log").string()});
    ASSERT_TRUE(sim.openDevice());

    sim.send(kEsc + "XLT\x0B\r");
    EXPECT_TRUE(sim.silent()) << "a framed terminal does not answer the first query";
    sim.send(kEsc + "Z1\r");
    std::string ident = "VKNV0105" + std::string(10, ' ');
    EXPECT_EQ(sim.read(18), Bytes(ident.begin(), ident.end()));
    sim.send(kEsc + "*0\r");
    EXPECT_TRUE(sim.silent());

    // Opening markers and the close after them: the session goes on.
    sim.send(Bytes{0x10, 0x02, 0x20, 0x00, 0x00, 0x00, 0x10, 0x03, 0x21});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(Bytes{0x10, 0x02, 0x51, 0x50, 0x58, 0x03, 0x10, 0x03, 0x5B});
    EXPECT_EQ(sim.read(1), Bytes{ACK});

    sim.send(dleFrame({0x51, 0x50, 0x58, 0x05}));
    EXPECT_EQ(sim.read(3), (Bytes{0xE2, 0x20, 0x00}));
    sim.send(Bytes{0x10, 0x02, 0x51, 0x50, 0x58, 0x02, 0x0C, 0x45, 0x72, 0x61, 0x73, 0x69, 0x6E, 0x67, 0x00,
                   0x10, 0x03, 0x13});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    // Large blocks are numbered from 8: block 8 is the first 64 KiB, which wipes the marker at 0x200000.
    sim.send(dleFrame({0x51, 0x50, 0x58, 0x01, 0x08}));
    EXPECT_EQ(sim.read(1), Bytes{ACK});

    Bytes bad = dleFrame({0x20, 0x00, 0x10, 0xAA});
    bad.back() ^= 0x01;
    sim.send(bad);
    EXPECT_TRUE(sim.silent()) << "a wrong BCC gets no answer";
    sim.send(dleFrame({0x20, 0x00, 0x10, 0xAA}));
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(dleFrame({0x20, 0x10, 0x10, 0x10, 0x01, 0x02}));  // 0x10 in address and data
    EXPECT_EQ(sim.read(1), Bytes{ACK});

    sim.send(Bytes{0x10, 0x02, 0x51, 0x50, 0x58, 0x04, 0x05, 0x03, 0x10, 0x10, 0x0E, 0x05, 0x09, 0x10, 0x03,
                   0x58});
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(Bytes{0x10, 0x02, 0x51, 0x50, 0x58, 0x03, 0x10, 0x03, 0x5B});
    sim.read(1);  // the final close is acknowledged too; the host does not wait for it
    EXPECT_EQ(sim.waitExit(), 0);

    EXPECT_EQ(lines(readFile(dir / "flash.s2")),
              (std::vector<std::string>{"S205200010AA20", "S207201010100102A5", "S804000000FB"}));
    EXPECT_TRUE(
        containsInOrder(logEvents(dir / "log"),
                        {"rx QUERY XLT 0x0B", "rx IDENT-QUERY", "tx IDENT \"VKNV0105          \"",
                         "rx PRESENCE", "rx FRAME DLE RECORD 200000 len=1 bcc=OK",
                         "rx FRAME DLE CLOSE bcc=OK", "rx FRAME DLE FLASHQUERY bcc=OK", "tx FLASHID E2 20 00",
                         "rx FRAME DLE DISPLAY \"\\fErasing\" bcc=OK", "rx FRAME DLE ERASE block=8 bcc=OK",
                         "note ERASED 200000-20FFFF", "rx FRAME DLE RECORD 200010 len=1 bcc=BAD",
                         "rx FRAME DLE CLOCK 05-03-16 14:05:09 bcc=OK", "note SESSION END"}));
}

TEST(HhtsimFramedLoader, SmallBlockFlashErasesSixteenKilobytes) {
    TempDir dir;
    SimHost sim({"--role", "loader", "--once", "--flash-id", "01224F", "--idle-timeout", kIdleTimeoutArg,
                 "--flash-out", (dir / "flash.s2").string()});
    ASSERT_TRUE(sim.openDevice());
    sim.send(dleFrame({0x20, 0x3F, 0xFF, 0x11}));  // last byte of block 0
    sim.send(dleFrame({0x20, 0x40, 0x00, 0x22}));  // first byte of block 1
    EXPECT_EQ(sim.read(2), (Bytes{ACK, ACK}));
    sim.send(dleFrame({0x51, 0x50, 0x58, 0x01, 0x01}));
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    EXPECT_EQ(sim.waitExit(), 1) << "no close: the session was abandoned";
    EXPECT_EQ(lines(readFile(dir / "flash.s2")),
              (std::vector<std::string>{"S205203FFF118B", "S804000000FB"}));
}

std::string hexLine(std::uint32_t address, const std::vector<std::uint8_t>& data, int checkAdjust = 0) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", address);
    std::string line = kEsc + text;
    std::uint8_t check = 0;
    for (auto b : data) {
        std::snprintf(text, sizeof text, "%02X", b);
        line += text;
        check ^= b;
    }
    std::snprintf(text, sizeof text, "%02X", static_cast<std::uint8_t>(check + checkAdjust));
    return line + text + "\r";
}

TEST(HhtsimRmtLoader, AnswersRmtAndWritesHexBlocks) {
    TempDir dir;
    SimHost sim({"--role", "rmt-loader", "--once", "--ident", "VKNV0105", "--flash-out",
                 (dir / "flash.s2").string(), "--log", (dir / "log").string()});
    ASSERT_TRUE(sim.openDevice());
    sim.send(kEsc + "XLT\x0B\r");
    EXPECT_EQ(sim.read(10), Bytes({'R', 'M', 'T', 'V', 'K', 'N', 'V', '0', '1', '0'}));
    sim.send(kEsc + "Z1\r");
    EXPECT_TRUE(sim.silent());
    sim.send(kEsc + "XLT\x01\r");
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(kEsc + "XLT\x08\r");
    EXPECT_EQ(sim.read(1), Bytes{ACK});

    std::vector<std::uint8_t> data(128, 0xFF);
    for (int i = 0; i < 16; ++i) {
        data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
    }
    ASSERT_EQ(hexLine(0x204000, data).size(), 266u);
    sim.send(hexLine(0x204000, data, 1));
    EXPECT_TRUE(sim.silent()) << "a wrong XOR gets no answer";
    sim.send(hexLine(0x204000, data));
    EXPECT_EQ(sim.read(1), Bytes{ACK});

    sim.send(kEsc + "XLT\x09\r");
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(kEsc + "XLT\x0C" + "050316140509\r");
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    sim.send(kEsc + "XLT\x0A\r");
    EXPECT_EQ(sim.read(1), Bytes{ACK});
    EXPECT_EQ(sim.waitExit(), 0);

    auto records = lines(readFile(dir / "flash.s2"));
    ASSERT_EQ(records.size(), 5u);  // 128 bytes in four records of 32, then the end record
    EXPECT_EQ(records[0].substr(0, 42), "S2242040000102030405060708090A0B0C0D0E0F10");
    EXPECT_EQ(records[3].substr(0, 10), "S224204060");
    EXPECT_TRUE(
        containsInOrder(logEvents(dir / "log"),
                        {"tx IDENT \"RMTVKNV010\"", "note ERASED 204000-207FFF", "rx DATA 204000 xor=BAD",
                         "rx DATA 204000 xor=OK", "rx CLOCK 050316140509", "note SESSION END"}));
}

TEST(HhtsimLineLoader, AcknowledgesFramesAndDecodesTheHexLines) {
    TempDir dir;
    SimHost sim({"--role", "line-loader", "--once", "--flash-out", (dir / "flash.s2").string(), "--log",
                 (dir / "log").string()});
    ASSERT_TRUE(sim.openDevice());

    const Bytes p1{0x02, 0x30, 0x30, 0x30, 0x30, 0x32, 0x50, 0x31, 0x03, 0x50};
    ASSERT_EQ(lineFrame(0, "P1"), p1);
    sim.send(p1);
    EXPECT_EQ(sim.read(9), lineFrame(0, "\x06"));
    sim.send(lineFrame(1, "5OT4"));
    EXPECT_EQ(sim.read(9), lineFrame(1, "\x06"));

    sim.send(lineFrame(2, ":020000040001F9\r\n"));
    EXPECT_EQ(sim.read(9), lineFrame(2, "\x06"));
    Bytes bad = lineFrame(3, ":0400100001020304E2\r\n");
    bad.back() ^= 0x01;
    sim.send(bad);
    EXPECT_TRUE(sim.silent()) << "a wrong BCC gets no answer";
    for (int copy = 0; copy < 2; ++copy) {  // sent again as if the answer had been missed
        sim.send(lineFrame(3, ":0400100001020304E2\r\n"));
        EXPECT_EQ(sim.read(9), lineFrame(3, "\x06"));
    }
    // A line longer than the host's reader arrives in two frames.
    sim.send(lineFrame(4, ":04002000050607"));
    EXPECT_EQ(sim.read(9), lineFrame(4, "\x06"));
    sim.send(lineFrame(5, "08C2\r\n"));
    EXPECT_EQ(sim.read(9), lineFrame(5, "\x06"));
    sim.send(lineFrame(6, ":00000001FF\r\n"));
    EXPECT_EQ(sim.read(9), lineFrame(6, "\x06"));
    sim.send(lineFrame(0, "E"));
    EXPECT_EQ(sim.read(9), lineFrame(0, "\x06"));
    EXPECT_EQ(sim.waitExit(), 0);

    EXPECT_EQ(lines(readFile(dir / "flash.s2")),
              (std::vector<std::string>{"S20801001001020304DC", "S20801002005060708BC", "S804000000FB"}));
    EXPECT_TRUE(containsInOrder(
        logEvents(dir / "log"),
        {"rx LINEFRAME seq=0 \"P1\" bcc=OK", "tx LINEFRAME seq=0 ACK", "note LINES 4",
         "note NO ACK: frame refused", "note REPEATED frame", "note SESSION END lines=4 bad=0"}));
}

}  // namespace
}  // namespace hhtsim::testing
