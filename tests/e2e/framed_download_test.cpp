// S-record images loaded through the framed protocol into the simulated terminal: what ends up in its
// flash, what it was shown on its display, which blocks it erased and the clock it was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

constexpr int kPort = 5;
constexpr const char* kKind103Identification = "S20E2000004B5452206279205A414EDC\r\n";
// A record full of DLE, DLE ETX and DLE STX pairs: each 0x10 must cross the line doubled.
constexpr std::uint32_t kDleAddress = 0x201010;
const Bytes kDleData{0x10, 0x10, 0x03, 0x10, 0x02, 0x00, 0x10};

std::string dataRecords() {
    std::string text;
    for (std::uint32_t i = 0; i < 40; ++i) {
        text += s2Line(0x200100 + 16 * i, pattern(16, i));
    }
    text += s2Line(kDleAddress, kDleData);
    // In the second 64 KiB block, after where an application header sits.
    text += s2Line(0x210020, pattern(4, 99));
    return text;
}

std::string headerRecords(const std::string& requiredTerminal) {
    const std::string first = "APPLICATION;";
    return s2Line(0x210000, Bytes(first.begin(), first.end())) +
           s2Line(0x210000 + static_cast<std::uint32_t>(first.size()),
                  Bytes(requiredTerminal.begin(), requiredTerminal.end()));
}

const std::string kS0 = "S00600004844521B\r\n";
const std::string kS8 = "S804000000FB\r\n";

std::string clockNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string displayed(const std::string& escapedText) {
    return "rx FRAME DLE DISPLAY \"" + escapedText + "\" bcc=OK";
}

std::string record(const char* address, int length) {
    return std::string("rx FRAME DLE RECORD ") + address + " len=" + std::to_string(length) + " bcc=OK";
}

// What every framed load must show, whichever way its kind was found: the records arrived whole
// (DLE doubling and BCC agreed on both sides), the display followed the hook, and the clock was the
// PC's local time when the load ended.
void expectCompleteFramedSession(const std::vector<std::string>& log, const HookRecord& hook,
                                 const std::string& clockBefore, const std::string& clockAfter) {
    for (const auto& event : log) {
        EXPECT_EQ(event.find("bcc=BAD"), std::string::npos) << event;
        EXPECT_EQ(event.find("MALFORMED"), std::string::npos) << event;
    }
    EXPECT_TRUE(containsInOrder(log, {displayed("\\f0% ready.  "), record("201010", 7)}));
    // The terminal's display follows the hook: one update per call, then the closing 100 %.
    EXPECT_EQ(countStartingWith(log, "rx FRAME DLE DISPLAY \"\\r"), hook.percents.size() + 1);
    EXPECT_TRUE(risingProgress(hook, kPort));
    ASSERT_FALSE(hook.percents.empty());
    EXPECT_LT(hook.percents.front(), hook.percents.back());

    ASSERT_EQ(countStartingWith(log, "rx FRAME DLE CLOCK "), 1u);
    const auto clock = std::find_if(
        log.begin(), log.end(), [](const std::string& e) { return e.rfind("rx FRAME DLE CLOCK ", 0) == 0; });
    const std::string when = clock->substr(19, 17);
    EXPECT_LE(clockBefore, when);
    EXPECT_LE(when, clockAfter);
    EXPECT_TRUE(containsInOrder(
        log, {displayed("\\r100% ready  "), *clock, "rx FRAME DLE CLOSE bcc=OK", "note SESSION END"}));
}

struct BlockCase {
    const char* flashId;
    std::vector<int> erasedBlocks;
};
void PrintTo(const BlockCase& value, std::ostream* out) {
    *out << "flash id " << value.flashId;
}

class FramedDownload : public ::testing::TestWithParam<BlockCase> {};

// The image names kind 103: opening markers and close, erase by the flash's block size, the records,
// the closing marker at 0x20FFFF, 100 %, clock and close.
TEST_P(FramedDownload, KindNamedByTheImageLoadsEveryRecord) {
    TempDir dir;
    const std::string image = kS0 + kKind103Identification + dataRecords() + kS8;
    writeFile(dir / "program.s2", image);
    SimTerminal terminal(dir, {"--role", "loader", "--flash-id", GetParam().flashId});
    ScopedPortVariable port(kPort, terminal.device());
    ScopedHook hook;

    const std::string before = clockNow();
    EXPECT_EQ(download(dir / "program.s2", kPort), 14);
    const std::string after = clockNow();
    EXPECT_EQ(terminal.waitExit(), 0);

    ByteMap expected = s2Contents(image);
    expected[0x20FFFF] = 0x00;  // the closing marker outlives the erase that wiped the opening ones
    EXPECT_EQ(terminal.flash(), expected);

    const auto log = terminal.log();
    std::vector<std::string> wanted{record("200000", 1), record("20FFFF", 1), "rx FRAME DLE CLOSE bcc=OK",
                                    "rx FRAME DLE FLASHQUERY bcc=OK", displayed("\\fErasing")};
    for (int block : GetParam().erasedBlocks) {
        wanted.push_back("rx FRAME DLE ERASE block=" + std::to_string(block) + " bcc=OK");
    }
    wanted.insert(wanted.end(),
                  {displayed("\\f0% ready.  "), record("20FFFF", 1), displayed("\\r100% ready  ")});
    EXPECT_TRUE(containsInOrder(log, wanted));
    EXPECT_EQ(countStartingWith(log, "rx FRAME DLE ERASE"), GetParam().erasedBlocks.size());
    expectCompleteFramedSession(log, hook.record(), before, after);
}

// Large-block parts number their 64 KiB blocks from 8; any other id means 16 KiB blocks from 0.
INSTANTIATE_TEST_SUITE_P(FlashParts, FramedDownload,
                         ::testing::Values(BlockCase{"A40100", {8, 9}},
                                           BlockCase{"C22000", {0, 1, 2, 3, 4}}));

// No identification record: the terminal names its kind and the image's header must fit it.
TEST(FramedDownloadByAsking, HeaderAcceptedLoadsWithoutMarkers) {
    TempDir dir;
    const std::string image = kS0 + headerRecords("VKNV0100") + dataRecords() + kS8;
    writeFile(dir / "program.s2", image);
    SimTerminal terminal(dir, {"--role", "loader", "--ident", "VKNV0105"});
    ScopedPortVariable port(kPort, terminal.device());
    ScopedHook hook;

    const std::string before = clockNow();
    EXPECT_EQ(download(dir / "program.s2", kPort), 14);
    const std::string after = clockNow();
    EXPECT_EQ(terminal.waitExit(), 0);

    EXPECT_EQ(terminal.flash(), s2Contents(image));
    const auto log = terminal.log();
    EXPECT_TRUE(
        containsInOrder(log, {"rx IDENT-QUERY", "rx FRAME DLE FLASHQUERY bcc=OK", displayed("\\fErasing"),
                              "rx FRAME DLE ERASE block=8 bcc=OK", "rx FRAME DLE ERASE block=9 bcc=OK"}));
    EXPECT_EQ(countStartingWith(log, "rx FRAME DLE RECORD 20FFFF"), 0u) << "markers belong to named images";
    expectCompleteFramedSession(log, hook.record(), before, after);
}

TEST(FramedDownloadByAsking, HeaderNeedingANewerTerminalErasesNothing) {
    TempDir dir;
    writeFile(dir / "program.s2", kS0 + headerRecords("VKNV0200") + dataRecords() + kS8);
    SimTerminal terminal(dir, {"--role", "loader", "--ident", "VKNV0105"});
    ScopedPortVariable port(kPort, terminal.device());

    EXPECT_EQ(download(dir / "program.s2", kPort), -16);
    terminal.waitExit();
    EXPECT_TRUE(terminal.flash().empty());
    const auto log = terminal.log();
    // The first query's ESC "Z1", then the framed loader's own question.
    EXPECT_EQ(countOf(log, "rx IDENT-QUERY"), 2u);
    EXPECT_EQ(countStartingWith(log, "rx FRAME DLE"), 0u) << "refused before any frame went out";
}

}  // namespace
}  // namespace e2e
