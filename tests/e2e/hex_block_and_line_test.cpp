// The two other ways into the terminal: the hex-block protocol for a terminal that answers "RMT", and
// the line protocol for VKS*.HEX images at 115200 baud.
#include <gtest/gtest.h>

#include <ctime>

#include "e2e_support.h"

namespace e2e {
namespace {

constexpr int kPort = 6;

std::string localTime(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

// The image names the terminal it is for in a record at 0x200034: ';' and eight characters.
Image hexBlockImage(const std::string& identification) {
    Image image;
    image.raw("S00600004844521B\r\n").s2(0x200034, ";" + identification);
    for (std::uint32_t i = 0; i < 40; ++i) {
        image.s2(0x200040 + 16 * i, pattern(16, 3 * i));
    }
    // Far beyond the last block line: the layout must start a new block here, not pad up to it.
    image.s2(0x204100, pattern(20, 77));
    return image.raw("S804000000FB\r\n");
}

TEST(HexBlockDownload, MatchingTerminalGetsEveryRecord) {
    TempDir dir;
    const Image image = hexBlockImage("RMTVKN01");
    writeFile(dir / "program.s2", image.text);
    SimTerminal terminal(dir, {"--role", "rmt-loader", "--ident", "RMT VKN01"});
    ScopedPortVariable port(kPort, terminal.device());
    ScopedHook hook;

    const std::string before = localTime("%y%m%d%H%M%S");
    EXPECT_EQ(download(dir / "program.s2", kPort, 0, 38400), 14);
    const std::string after = localTime("%y%m%d%H%M%S");
    EXPECT_EQ(terminal.waitExit(), 0);

    // Block lines are padded with 0xFF; anything else in the flash must be the image's own bytes.
    const ByteMap& expected = image.bytes;
    for (const auto& [address, value] : terminal.flash()) {
        const auto found = expected.find(address);
        if (found == expected.end()) {
            EXPECT_EQ(value, 0xFF) << std::hex << "stray byte at " << address;
        } else {
            EXPECT_EQ(value, found->second) << std::hex << "at " << address;
        }
    }
    const ByteMap flash = terminal.flash();
    for (const auto& [address, value] : expected) {
        EXPECT_TRUE(flash.count(address)) << std::hex << "missing " << address;
    }

    const auto log = terminal.log();
    EXPECT_TRUE(
        containsInOrder(log, {"rx CMD XLT 0x0B", "rx CMD XLT 0x00", "rx CMD XLT 0x08", "rx CMD XLT 0x09"}));
    EXPECT_EQ(countStartingWith(log, "note NO ACK"), 0u);
    ASSERT_EQ(countStartingWith(log, "rx CLOCK "), 1u);
    for (const auto& event : log) {
        EXPECT_EQ(event.find("xor=BAD"), std::string::npos) << event;
        if (event.rfind("rx CLOCK ", 0) == 0) {
            EXPECT_LE(before, event.substr(9));
            EXPECT_LE(event.substr(9), after);
        }
    }
    EXPECT_TRUE(containsInOrder(log, {"rx CMD XLT 0x09", "rx CMD XLT 0x0A", "note SESSION END"}));
    // One report per block line but the last.
    EXPECT_EQ(hook.record().percents.size() + 1, countStartingWith(log, "rx DATA "));
    EXPECT_TRUE(risingProgress(hook.record(), kPort));
}

TEST(HexBlockDownload, ImageForAnotherTerminalIsRefusedBeforeAnyCommand) {
    TempDir dir;
    writeFile(dir / "program.s2", hexBlockImage("QPXVKA01").text);
    SimTerminal terminal(dir, {"--role", "rmt-loader", "--ident", "RMT VKN01"});
    ScopedPortVariable port(kPort, terminal.device());

    EXPECT_EQ(download(dir / "program.s2", kPort, 0, 38400), -31);
    terminal.waitExit();
    EXPECT_TRUE(terminal.flash().empty());
    EXPECT_EQ(countStartingWith(terminal.log(), "rx CMD XLT 0x0"), 1u) << "only the first query";
}

// An Intel HEX image for the line loader: an extended linear address, data lines, the end record.
Image lineImage(std::size_t bytesPerLine) {
    Image image;
    image.hex(0x04, 0, {0x00, 0x20});
    for (std::uint16_t i = 0; i < 12; ++i) {
        image.hex(0x00, static_cast<std::uint16_t>(0x0100 + i * bytesPerLine), pattern(bytesPerLine, i));
    }
    return image.raw(":00000001FF\r\n");
}

struct LineCase {
    std::size_t bytesPerLine;
    int wakeMethod;
};
void PrintTo(const LineCase& value, std::ostream* out) {
    *out << value.bytesPerLine << " bytes a line, wake-up " << value.wakeMethod;
}

class LineDownload : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineDownload, EveryHexLineReachesTheFlash) {
    TempDir dir;
    const Image image = lineImage(GetParam().bytesPerLine);
    writeFile(dir / "VKS0001.HEX", image.text);
    SimTerminal terminal(dir, {"--role", "line-loader"});
    ScopedPortVariable port(kPort, terminal.device());
    ScopedHook hook;

    EXPECT_EQ(download(dir / "VKS0001.HEX", kPort, GetParam().wakeMethod), 10);
    EXPECT_EQ(terminal.waitExit(), 0);
    EXPECT_EQ(terminal.flash(), image.bytes);

    const auto log = terminal.log();
    EXPECT_TRUE(containsInOrder(log, {"rx LINEFRAME seq=0 \"P1\" bcc=OK", "rx LINEFRAME seq=0 \"E\" bcc=OK",
                                      "note SESSION END lines=14 bad=0"}));
    for (const auto& event : log) {
        EXPECT_EQ(event.find("HEX END RECORD missing"), std::string::npos) << event;
        EXPECT_EQ(event.find("REPEATED"), std::string::npos) << event;
        EXPECT_EQ(event.find("LINE COUNT MISMATCH"), std::string::npos) << event;
    }
    // The count announced is the number of line frames that follow (P1, the count and E aside): a
    // line longer than one frame counts once per frame, or the terminal would stop short of the end.
    const std::size_t lineFrames = countStartingWith(log, "rx LINEFRAME seq=") - 3;
    EXPECT_EQ(countOf(log, "note LINES " + std::to_string(lineFrames)), 1u);
    EXPECT_TRUE(risingProgress(hook.record(), kPort));
    ASSERT_FALSE(hook.record().percents.empty());
    EXPECT_DOUBLE_EQ(hook.record().percents.front(), 0.0);
}

// 16 data bytes make a 45-character line, one frame each; 32 make 77 characters, cut over two frames.
INSTANTIATE_TEST_SUITE_P(LineLengths, LineDownload,
                         ::testing::Values(LineCase{16, 0}, LineCase{32, 0}, LineCase{16, 1}));

TEST(LineDownload, CodeByteWakeUpIsRefusedWithoutAFrame) {
    TempDir dir;
    writeFile(dir / "vks0001.hex", lineImage(16).text);
    SimTerminal terminal(dir, {"--role", "line-loader"});
    ScopedPortVariable port(kPort, terminal.device());

    EXPECT_EQ(download(dir / "vks0001.hex", kPort, 2), -29);
    // The terminal is still waiting for a load that never began; reading its log is enough.
    EXPECT_EQ(countStartingWith(terminal.log(), "rx LINEFRAME"), 0u);
}

}  // namespace
}  // namespace e2e
