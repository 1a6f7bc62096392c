// formwell-cli load against the simulated terminal: the program, the real loader library and hhtsim
// each in a process of their own, as a service bench runs them. Real time on both sides of the line;
// the bounds are wide and only reached when something hangs.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace e2e {
namespace {

std::vector<std::string> loadArgs(const TempDir& dir, const std::string& image,
                                  std::vector<std::string> extra) {
    std::vector<std::string> args{"--dir", (dir / "").string(), "--yes", "load", (dir / image).string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// An image the terminal's loader takes without asking: the kind-103 record names it.
Image framedImage(std::size_t records) {
    Image image;
    image.s2(0x200000, std::string("KTR by ZAN"));
    for (std::size_t i = 0; i < records; ++i) {
        image.s2(0x200100 + 16 * static_cast<std::uint32_t>(i), pattern(16, static_cast<unsigned>(i)));
    }
    return image;
}

// A kind-103 image leaves its closing marker in the flash: 0x00 at 0x20FFFF.
ByteMap withMarker(ByteMap bytes) {
    bytes[0x20FFFF] = 0x00;
    return bytes;
}

TEST(CliLoad, AnSRecordImageByTheFramedProtocolAndAHexImageByTheLineProtocol) {
    TempDir dir;
    writeFile(dir / "mbx.dat", "Com6:19200 8N10");
    {
        const Image image = framedImage(40);
        writeFile(dir / "app.s2", image.text);
        SimTerminal terminal(dir, {"--role", "auto"});
        ScopedPortVariable port(6, terminal.device());
        CliProcess cli(loadArgs(dir, "app.s2", {}));
        EXPECT_EQ(cli.finish(), 0) << cli.err;
        EXPECT_EQ(cli.out, "result: 14 (S-record image loaded)\n");
        EXPECT_EQ(terminal.waitExit(), 0);
        EXPECT_EQ(terminal.flash(), withMarker(image.bytes));
    }
    {
        Image image;
        image.hex(0x04, 0, {0x00, 0x24});
        for (std::uint16_t i = 0; i < 20; ++i) {
            image.hex(0x00, static_cast<std::uint16_t>(16 * i), pattern(16, i));
        }
        image.raw(":00000001FF\r\n");
        writeFile(dir / "VKSAPP.HEX", image.text);
        SimTerminal terminal(dir, {"--role", "auto"});
        ScopedPortVariable port(6, terminal.device());
        CliProcess cli(loadArgs(dir, "VKSAPP.HEX", {"--port", "6"}));
        EXPECT_EQ(cli.finish(), 0) << cli.err;
        EXPECT_EQ(cli.out, "result: 10 (Intel HEX image loaded)\n");
        EXPECT_EQ(terminal.waitExit(), 0);
        EXPECT_EQ(terminal.flash(), image.bytes);
    }
}

TEST(CliLoad, CtrlCMidWayEndsWithMinus30AndThePortOpensAgainAtOnce) {
    TempDir dir;
    writeFile(dir / "mbx.dat", "Com6:19200 8N10");
    writeFile(dir / "app.s2", framedImage(600).text);  // about 15 s at the line's speed
    writeFile(dir / "small.s2", framedImage(4).text);
    SimTerminal terminal(dir, {"--role", "auto", "--baud-throttle"}, false);
    ScopedPortVariable port(6, terminal.device());
    CliProcess cli(loadArgs(dir, "app.s2", {}));
    // Into a pipe the progress comes as a line per quarter, the first once records flow.
    ASSERT_TRUE(cli.readUntil([&] { return cli.err.find("Load Program In HHT:") != std::string::npos; }))
        << cli.err;
    cli.interrupt();
    EXPECT_EQ(cli.finish(), 130) << cli.err;
    // Records had gone out: the terminal's program is partial, and the result says so.
    EXPECT_EQ(cli.out.rfind("result: -30 (cancelled)\nterminal: The loader had begun to erase or write", 0),
              0u)
        << cli.out;
    EXPECT_NE(cli.err.find("Formwell: File Name: "), std::string::npos) << cli.err;

    // The port was closed on the way out: the next load opens it at once.
    CliProcess again(loadArgs(dir, "small.s2", {}));
    EXPECT_EQ(again.finish(), 0) << again.err;
    EXPECT_EQ(again.out, "result: 14 (S-record image loaded)\n");
}

TEST(CliLoad, TwoCradlesAtOnceAndATableOfResults) {
    TempDir one;
    TempDir two;
    writeFile(one / "mbx.dat", "Com1:19200 8N10");
    const Image image = framedImage(60);
    writeFile(one / "app.s2", image.text);
    SimTerminal first(one, {"--role", "auto", "--baud-throttle"});
    SimTerminal second(two, {"--role", "auto", "--baud-throttle"});
    ScopedPortVariable port6(6, first.device());
    ScopedPortVariable port7(7, second.device());
    ScopedPortVariable port8(8, (two / "no-such-device").string());
    CliProcess cli(loadArgs(one, "app.s2", {"--ports", "6,7,8"}));
    EXPECT_EQ(cli.finish(), 1) << cli.err;  // COM8 has no device
    EXPECT_EQ(first.waitExit(), 0);
    EXPECT_EQ(second.waitExit(), 0);
    EXPECT_EQ(first.flash(), withMarker(image.bytes));
    EXPECT_EQ(second.flash(), withMarker(image.bytes));
    EXPECT_NE(cli.out.find("COM6    " + first.device()), std::string::npos) << cli.out;
    std::size_t loaded = 0;
    for (std::size_t at = 0; (at = cli.out.find("14 S-record image loaded", at)) != std::string::npos; ++at) {
        ++loaded;
    }
    EXPECT_EQ(loaded, 2u) << cli.out;
    EXPECT_NE(cli.out.find("-10 the serial port could not be opened"), std::string::npos) << cli.out;
}

}  // namespace
}  // namespace e2e
