// Loads that go wrong, where the library's own view is needed (the terminal's log, the progress hook):
// a refused frame sent again and again, an identification too long, a caller that cancels, an image or
// a port that is not there. The terminal's misbehaviour seen through formwell-cli is one table in
// hostile_terminals_test.cpp.
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
        // The terminal is asked: an answer longer than an identification is refused as such.
        TempDir dir;
        writeFile(dir / "program.s2", askingImage().text);
        SimTerminal terminal(dir, {"--role", "loader", "--overlong"});
        ScopedPortVariable port(kPort, terminal.device());

        EXPECT_EQ(download(dir / "program.s2", kPort), -39);
        terminal.waitExit();
        EXPECT_EQ(countStartingWith(terminal.log(), "rx FRAME"), 0u);
        EXPECT_TRUE(terminal.flash().empty());
    }
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
