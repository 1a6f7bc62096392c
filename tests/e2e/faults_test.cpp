// Loads that go wrong: a terminal that is silent, refuses, hangs up or answers at the line's pace,
// a caller that cancels, an image or a port that is not there. Each ends with its own result, in
// bounded time, and never leaves the terminal with bytes other than the image's.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace e2e {
namespace {

constexpr int kPort = 7;

Image& addRecords(Image& image, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        image.s2(0x200100 + 16 * i, pattern(16, 5 * i));
    }
    return image;
}

Image records(std::uint32_t count) {
    Image image;
    return addRecords(image, count);
}

// The terminal names its kind and the header says which terminals may take the image.
Image askingImage() {
    Image image;
    image.s2(0x210000, std::string("APPLICATION;")).s2(0x21000C, std::string("VKNV0100"));
    return addRecords(image, 30);
}

Image namedImage() {
    Image image;
    image.s2(0x200000, std::string("KTR by ZAN"));
    return addRecords(image, 30);
}

// Whatever the terminal kept of an interrupted load is the image's own bytes or the load's markers.
void expectOnlyImageBytes(const ByteMap& flash, const Image& image) {
    const ByteMap& expected = image.bytes;
    for (const auto& [address, value] : flash) {
        // The opening markers stay where no erase came after them; the closing one always does.
        if (address == 0x20FFFF || (address == 0x200000 && value == 0x00)) {
            continue;
        }
        const auto found = expected.find(address);
        ASSERT_NE(found, expected.end()) << std::hex << "stray byte at " << address;
        EXPECT_EQ(value, found->second) << std::hex << "at " << address;
    }
}

struct Misbehaviour {
    const char* name;
    std::vector<std::string> switches;
    Image image;
    std::int32_t result;
};

void PrintTo(const Misbehaviour& value, std::ostream* out) {
    *out << value.name;
}

class MisbehavingTerminal : public ::testing::TestWithParam<Misbehaviour> {};

TEST_P(MisbehavingTerminal, EndsWithItsOwnResult) {
    TempDir dir;
    writeFile(dir / "program.s2", GetParam().image.text);
    SimTerminal terminal(dir, GetParam().switches);
    ScopedPortVariable port(kPort, terminal.device());

    EXPECT_EQ(download(dir / "program.s2", kPort), GetParam().result);
    terminal.waitExit();
    expectOnlyImageBytes(terminal.flash(), GetParam().image);
}

INSTANTIATE_TEST_SUITE_P(
    Framed, MisbehavingTerminal,
    ::testing::Values(
        // No answer to the identification query.
        Misbehaviour{"Silent", {"--role", "loader", "--silent"}, askingImage(), -14},
        // A refusal where the ACK belongs: at the opening markers of a named image, at the erase notice
        // of one whose kind the terminal named.
        Misbehaviour{"RefusedMarkers", {"--role", "loader", "--wrong-ack", "15"}, namedImage(), -18},
        Misbehaviour{"RefusedEraseNotice", {"--role", "loader", "--wrong-ack", "15"}, askingImage(), -23},
        // Both identifications, the flash query and the erase notice answered; the first erase no more.
        Misbehaviour{"EraseUnanswered", {"--role", "loader", "--stop-after", "4"}, askingImage(), -25}));

INSTANTIATE_TEST_SUITE_P(
    HexBlock, MisbehavingTerminal,
    // Identification, start of data and the first data line answered, the second no more.
    ::testing::Values(Misbehaviour{
        "DataLineUnanswered", {"--role", "rmt-loader", "--stop-after", "3"}, records(30), -34}));

TEST(MisbehavingTerminal, RefusedFrameIsSentFiftyOneTimes) {
    TempDir dir;
    writeFile(dir / "program.s2", namedImage().text);
    SimTerminal terminal(dir, {"--role", "loader", "--wrong-ack", "15"});
    ScopedPortVariable port(kPort, terminal.device());

    EXPECT_EQ(download(dir / "program.s2", kPort), -18);
    terminal.waitExit();
    EXPECT_EQ(countOf(terminal.log(), "rx FRAME DLE RECORD 200000 len=1 bcc=OK"), 51u);
}

// A 64-byte identification: its rest is never read as the flash answer or as ACKs.
TEST(MisbehavingTerminal, OverlongIdentification) {
    {
        // The image names the terminal: the presence check takes what it needs and drops the rest.
        TempDir dir;
        const Image image = namedImage();
        writeFile(dir / "program.s2", image.text);
        SimTerminal terminal(dir, {"--role", "loader", "--overlong"});
        ScopedPortVariable port(kPort, terminal.device());

        EXPECT_EQ(download(dir / "program.s2", kPort), 14);
        EXPECT_EQ(terminal.waitExit(), 0);
        const auto log = terminal.log();
        EXPECT_EQ(countOf(log, "rx FRAME DLE RECORD 200000 len=1 bcc=OK"), 1u);
        EXPECT_EQ(countStartingWith(log, "rx FRAME DLE ERASE"), 1u);
        EXPECT_EQ(countOf(log, "rx FRAME DLE ERASE block=8 bcc=OK"), 1u);
        ByteMap expected = image.bytes;
        expected[0x20FFFF] = 0x00;  // the closing marker
        EXPECT_EQ(terminal.flash(), expected);
    }
    {
        // The terminal is asked: an answer longer than an identification names no kind.
        TempDir dir;
        writeFile(dir / "program.s2", askingImage().text);
        SimTerminal terminal(dir, {"--role", "loader", "--overlong"});
        ScopedPortVariable port(kPort, terminal.device());

        EXPECT_EQ(download(dir / "program.s2", kPort), -13);
        terminal.waitExit();
        EXPECT_EQ(countStartingWith(terminal.log(), "rx FRAME"), 0u);
        EXPECT_TRUE(terminal.flash().empty());
    }
}

TEST(MisbehavingTerminal, HangUpAmongTheRecordsFailsTheLoad) {
    TempDir dir;
    const Image image = namedImage();
    writeFile(dir / "program.s2", image.text);
    // Both identifications, markers, close, flash query, erase notice, erase, 0 %, then a few records
    // with their display updates.
    SimTerminal terminal(dir, {"--role", "loader", "--hangup-after", "14"});
    ScopedPortVariable port(kPort, terminal.device());

    // The next frame cannot be written to a line that is gone: a failure, never a count of 0.
    EXPECT_EQ(download(dir / "program.s2", kPort), -22);
    terminal.waitExit();
    const ByteMap flash = terminal.flash();
    EXPECT_FALSE(flash.empty());
    EXPECT_LT(flash.size(), image.bytes.size());
    expectOnlyImageBytes(flash, image);
    EXPECT_EQ(countStartingWith(terminal.log(), "rx FRAME DLE CLOCK"), 0u);
}

// Every answer paced at the line's speed, as a real terminal's bytes come: the reads gather them
// whole. (How late or how far apart bytes may come is checked exactly on the virtual clock.)
TEST(PacedTerminal, StillLoads) {
    TempDir dir;
    const Image image = askingImage();
    writeFile(dir / "program.s2", image.text);
    SimTerminal terminal(dir, {"--role", "loader", "--baud-throttle"});
    ScopedPortVariable port(kPort, terminal.device());

    EXPECT_EQ(download(dir / "program.s2", kPort), 14);
    EXPECT_EQ(terminal.waitExit(), 0);
    EXPECT_EQ(terminal.flash(), image.bytes);
}

TEST(MisbehavingTerminal, LineLoaderRefusingTheFirstFrame) {
    TempDir dir;
    writeFile(dir / "VKS0002.HEX", Image().hex(0x00, 0x0100, pattern(16, 1)).raw(":00000001FF\r\n").text);
    SimTerminal terminal(dir, {"--role", "line-loader", "--wrong-ack", "15"});
    ScopedPortVariable port(kPort, terminal.device());

    EXPECT_EQ(download(dir / "VKS0002.HEX", kPort), -23);
    terminal.waitExit();
    EXPECT_TRUE(terminal.flash().empty());
}

TEST(CallerFaults, CancelFromTheHookStopsBeforeTheNextRecord) {
    TempDir dir;
    const Image image = namedImage();
    writeFile(dir / "program.s2", image.text);
    SimTerminal terminal(dir, {"--role", "loader"});
    ScopedPortVariable port(kPort, terminal.device());
    ScopedHook hook(/*cancelAtFirstCall=*/true);

    EXPECT_EQ(download(dir / "program.s2", kPort), -30);
    terminal.waitExit();
    EXPECT_EQ(hook.record().percents.size(), 1u);
    const auto log = terminal.log();
    // The first record brought the first report; the display frame after it is the last thing sent.
    EXPECT_EQ(countStartingWith(log, "rx FRAME DLE RECORD 2001"), 0u);
    EXPECT_EQ(countStartingWith(log, "rx FRAME DLE CLOCK"), 0u);
    expectOnlyImageBytes(terminal.flash(), image);
}

TEST(CallerFaults, MissingImageAndMissingPort) {
    TempDir dir;
    {
        SimTerminal terminal(dir, {"--role", "loader"});
        ScopedPortVariable port(kPort, terminal.device());
        EXPECT_EQ(download(dir / "absent.s2", kPort), -11);
    }
    ScopedPortVariable nowhere(kPort, (dir / "no-such-tty").string());
    writeFile(dir / "program.s2", namedImage().text);
    EXPECT_EQ(download(dir / "program.s2", kPort), -10);
}

}  // namespace
}  // namespace e2e
