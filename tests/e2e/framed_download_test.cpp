// S-record images loaded through the framed protocol into the simulated terminal: what ends up in its
// flash, what it was shown on its display, which blocks it erased and the clock it was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "e2e_support.h"

namespace e2e {
namespace {

constexpr int kPort = 5;
const std::string kS0 = "S00600004844521B\r\n";
const std::string kS8 = "S804000000FB\r\n";
// 0x10 in the address and data, and DLE ETX / DLE STX pairs in the data: each 0x10 must cross the
// line doubled and come out single.
constexpr std::uint32_t kDleOffset = 0x1010;
const Bytes kDleData{0x10, 0x10, 0x03, 0x10, 0x02, 0x00, 0x10};

// Forty records from `start` + 0x100, the DLE record at `start` + 0x1010.
Image& addRecords(Image& image, std::uint32_t start) {
    for (std::uint32_t i = 0; i < 40; ++i) {
        image.s2(start + 0x100 + 16 * i, pattern(16, i));
    }
    return image.s2(start + kDleOffset, kDleData);
}

// The two records at a kind's header address that say which terminal the image needs.
Image& addHeader(Image& image, std::uint32_t address, const std::string& requiredTerminal) {
    const std::string first = "APPLICATION;";
    image.s2(address, first);
    return image.s2(address + static_cast<std::uint32_t>(first.size()), requiredTerminal);
}

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

std::string record(std::uint32_t address, std::size_t length) {
    char text[64];
    std::snprintf(text, sizeof text, "rx FRAME DLE RECORD %06X len=%zu bcc=OK",
                  static_cast<unsigned>(address), length);
    return text;
}

std::vector<std::string> erased(const std::vector<int>& blocks) {
    std::vector<std::string> events;
    for (int block : blocks) {
        events.push_back("rx FRAME DLE ERASE block=" + std::to_string(block) + " bcc=OK");
    }
    return events;
}

// What every framed load must show, whichever way its kind was found: the records arrived whole (DLE
// doubling and BCC agreed on both sides), the display followed the hook, and the clock was the PC's
// local time during the load.
void expectCompleteFramedSession(const std::vector<std::string>& log, const HookRecord& hook,
                                 std::uint32_t dleAddress, const std::string& clockBefore,
                                 const std::string& clockAfter) {
    for (const auto& event : log) {
        EXPECT_EQ(event.find("bcc=BAD"), std::string::npos) << event;
        EXPECT_EQ(event.find("MALFORMED"), std::string::npos) << event;
    }
    EXPECT_TRUE(containsInOrder(log, {displayed("\\f0% ready.  "), record(dleAddress, kDleData.size())}));
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
    Image image;
    image.raw(kS0).s2(0x200000, std::string("KTR by ZAN"));
    ASSERT_EQ(image.text.substr(kS0.size(), 34), "S20E2000004B5452206279205A414EDC\r\n");
    addRecords(image, 0x200000).s2(0x210020, pattern(4, 99)).raw(kS8);
    writeFile(dir / "program.s2", image.text);
    SimTerminal terminal(dir, {"--role", "loader", "--flash-id", GetParam().flashId});
    ScopedPortVariable port(kPort, terminal.device());
    ScopedHook hook;

    const std::string before = clockNow();
    EXPECT_EQ(download(dir / "program.s2", kPort), 14);
    const std::string after = clockNow();
    EXPECT_EQ(terminal.waitExit(), 0);

    ByteMap expected = image.bytes;
    expected[0x20FFFF] = 0x00;  // the closing marker outlives the erase that wiped the opening ones
    EXPECT_EQ(terminal.flash(), expected);

    const auto log = terminal.log();
    std::vector<std::string> wanted{record(0x200000, 1), record(0x20FFFF, 1), "rx FRAME DLE CLOSE bcc=OK",
                                    "rx FRAME DLE FLASHQUERY bcc=OK", displayed("\\fErasing")};
    for (const auto& erase : erased(GetParam().erasedBlocks)) {
        wanted.push_back(erase);
    }
    wanted.insert(wanted.end(),
                  {displayed("\\f0% ready.  "), record(0x20FFFF, 1), displayed("\\r100% ready  ")});
    EXPECT_TRUE(containsInOrder(log, wanted));
    EXPECT_EQ(countStartingWith(log, "rx FRAME DLE ERASE"), GetParam().erasedBlocks.size());
    expectCompleteFramedSession(log, hook.record(), 0x200000 + kDleOffset, before, after);
}

// Large-block parts number their 64 KiB blocks from 8; any other id means 16 KiB blocks from 0.
INSTANTIATE_TEST_SUITE_P(FlashParts, FramedDownload,
                         ::testing::Values(BlockCase{"A40100", {8, 9}},
                                           BlockCase{"C22000", {0, 1, 2, 3, 4}}));

struct KindCase {
    const char* ident;
    std::uint32_t headerAddress;
    bool asksFlashPart;
    std::vector<int> erasedBlocks;  // with the default large-block flash
};
void PrintTo(const KindCase& value, std::ostream* out) {
    *out << value.ident;
}

class FramedDownloadByAsking : public ::testing::TestWithParam<KindCase> {};

// No identification record: the terminal names its kind, which decides where the image's header must
// be and how the flash is erased; the header must fit the terminal.
TEST_P(FramedDownloadByAsking, HeaderAcceptedLoadsWithoutMarkers) {
    const KindCase& kind = GetParam();
    TempDir dir;
    Image image;
    image.raw(kS0);
    addHeader(image, kind.headerAddress, std::string(kind.ident, 4) + "0100");
    addRecords(image, kind.headerAddress).raw(kS8);
    writeFile(dir / "program.s2", image.text);
    SimTerminal terminal(dir, {"--role", "loader", "--ident", kind.ident});
    ScopedPortVariable port(kPort, terminal.device());
    ScopedHook hook;

    const std::string before = clockNow();
    EXPECT_EQ(download(dir / "program.s2", kPort), 14);
    const std::string after = clockNow();
    EXPECT_EQ(terminal.waitExit(), 0);

    EXPECT_EQ(terminal.flash(), image.bytes);
    const auto log = terminal.log();
    EXPECT_EQ(countOf(log, "rx FRAME DLE FLASHQUERY bcc=OK"), kind.asksFlashPart ? 1u : 0u);
    EXPECT_EQ(countOf(log, displayed("\\fErasing")), kind.erasedBlocks.empty() ? 0u : 1u);
    std::vector<std::string> wanted{"rx IDENT-QUERY", "rx IDENT-QUERY"};
    for (const auto& erase : erased(kind.erasedBlocks)) {
        wanted.push_back(erase);
    }
    wanted.push_back(displayed("\\f0% ready.  "));
    EXPECT_TRUE(containsInOrder(log, wanted));
    EXPECT_EQ(countStartingWith(log, "rx FRAME DLE ERASE"), kind.erasedBlocks.size());
    EXPECT_EQ(countStartingWith(log, "rx FRAME DLE RECORD 20FFFF"), 0u) << "markers belong to named images";
    expectCompleteFramedSession(log, hook.record(), kind.headerAddress + kDleOffset, before, after);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FramedDownloadByAsking,
                         ::testing::Values(KindCase{"VKNV0105", 0x210000, true, {9}},  // blocks from 0x200000
                                           KindCase{"VKAV0105", 0x310000, true, {9}},  // blocks from 0x300000
                                           KindCase{
                                               "VKSV0105", 0x240000, false, {8}},  // one erase, whole part
                                           KindCase{"VKDV0105", 0x030000, false, {}}));  // never erased

// Woken by DTR pulses (no modem lines on the pty: nothing to see, nothing may fail) or by the code byte
// for 19200 baud, which the terminal gets before the first query.
TEST(FramedDownloadWakeUp, WokenTerminalLoads) {
    for (int method : {1, 2}) {
        SCOPED_TRACE("wake-up method " + std::to_string(method));
        TempDir dir;
        Image image;
        addRecords(addHeader(image, 0x210000, "VKNV0100"), 0x210000);
        writeFile(dir / "program.s2", image.text);
        SimTerminal terminal(dir, {"--role", "loader"});
        ScopedPortVariable port(kPort, terminal.device());

        EXPECT_EQ(download(dir / "program.s2", kPort, method), 14);
        EXPECT_EQ(terminal.waitExit(), 0);
        EXPECT_EQ(terminal.flash(), image.bytes);
        EXPECT_EQ(containsInOrder(terminal.log(), {"rx BYTE 0x13", "note SESSION loader"}), method == 2);
    }
}

TEST(FramedDownloadRefused, HeaderNeedingANewerTerminalErasesNothing) {
    TempDir dir;
    Image image;
    addHeader(image, 0x210000, "VKNV0200");
    addRecords(image, 0x210000);
    writeFile(dir / "program.s2", image.text);
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
