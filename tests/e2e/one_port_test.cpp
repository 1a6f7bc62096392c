// One port, two programs: while one formwell-cli loads a terminal, every other transfer that wants the
// same port is refused at once with the reason and the holder, and the load goes on untouched.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace e2e {
namespace {

constexpr int kPort = 6;

TEST(OnePortTwoPrograms, TheSecondOpenerIsToldWhoHoldsThePort) {
    TempDir dir;
    writeFile(dir / "mbx.dat", "Com6:19200 8N10");
    writeFile(dir / "fields.ini", "ARTICLE       Text  14YN010111111111111111\r\n");
    writeFile(dir / "import.txt", "4711;3\r\n");
    Image image;
    image.s2(0x200000, std::string("KTR by ZAN"));
    for (std::uint32_t i = 0; i < 300; ++i) {  // several seconds at the line's pace
        image.s2(0x200100 + 16 * i, pattern(16, i));
    }
    writeFile(dir / "app.s2", image.text);
    SimTerminal terminal(dir, {"--role", "auto", "--baud-throttle"}, false);
    ScopedPortVariable port(kPort, terminal.device());

    CliProcess first({"--dir", (dir / "").string(), "--yes", "load", (dir / "app.s2").string()});
    ASSERT_TRUE(first.readUntil([&] { return first.err.find("Load Program In HHT:") != std::string::npos; }))
        << first.err;
    const std::string holder = "in use by formwell-cli (pid " + std::to_string(first.pid()) + ")";

    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"send-ini", (dir / "fields.ini").string()},
          {"receive"},
          {"load", (dir / "app.s2").string()}}) {
        std::vector<std::string> args{"--dir", (dir / "").string(), "--yes"};
        args.insert(args.end(), command.begin(), command.end());
        CliProcess second(args);
        EXPECT_EQ(second.finish(), 1) << command[0] << ":\n" << second.err;
        EXPECT_NE(second.err.find(holder), std::string::npos) << command[0] << ":\n" << second.err;
        if (command[0] == "load") {
            EXPECT_EQ(second.out.rfind("result: -10 ", 0), 0u) << second.out;
        } else {
            EXPECT_NE(second.err.find("Failure to Initialize Serial Port!"), std::string::npos) << second.err;
        }
    }
    // The refused receive left the records not yet imported where they were, and made no copies.
    EXPECT_EQ(readFile(dir / "import.txt"), "4711;3\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "import.txt.bak"));

    EXPECT_EQ(first.finish(), 0) << first.err;
    EXPECT_EQ(first.out, "result: 14 (S-record image loaded)\n");
    terminal.stopAndWait();
    ByteMap expected = image.bytes;
    expected[0x20FFFF] = 0x00;  // the named kind's closing marker
    EXPECT_EQ(terminal.flash(), expected);
}

}  // namespace
}  // namespace e2e
