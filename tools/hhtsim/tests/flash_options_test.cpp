#include <gtest/gtest.h>

#include <utility>

#include "hhtsim/flash_image.h"
#include "hhtsim/options.h"

namespace hhtsim {
namespace {

TEST(HhtsimFlashImage, WritesTheMarkerRecordsAsTheLoaderSpellsThem) {
    FlashImage flash;
    const std::uint8_t zero = 0x00;
    const std::uint8_t ff = 0xFF;
    flash.write(0x200000, std::span(&zero, 1));
    flash.write(0x20FFFF, std::span(&ff, 1));
    // The host's own marker line for 0x20FFFF ends in DA, a checksum nobody verifies; the record's
    // true checksum is DD.
    EXPECT_EQ(flash.toS2Text(), "S20520000000DA\r\nS20520FFFFFFDD\r\nS804000000FB\r\n");
    flash.write(0x20FFFF, std::span(&zero, 1));
    EXPECT_EQ(flash.toS2Text(), "S20520000000DA\r\nS20520FFFF00DC\r\nS804000000FB\r\n");
}

TEST(HhtsimFlashImage, SplitsRangesIntoRecordsAndForgetsErasedBytes) {
    FlashImage flash;
    std::vector<std::uint8_t> bytes(40);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    // Straddles a page boundary of the emulation.
    flash.write(0x200FF0, bytes);
    auto ranges = flash.writtenRanges();
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].first, 0x200FF0u);
    EXPECT_EQ(ranges[0].endExclusive, 0x201018u);
    std::string text = flash.toS2Text();
    EXPECT_EQ(text.substr(0, 10), "S224200FF0");                // 32 data bytes
    EXPECT_NE(text.find("\r\nS20C201010"), std::string::npos);  // the remaining 8

    flash.erase(0x201000, 0x202000);
    EXPECT_EQ(flash.read(0x201000), 0xFF);
    EXPECT_FALSE(flash.isWritten(0x201000));
    EXPECT_EQ(flash.read(0x200FFF), 15);
    ASSERT_EQ(flash.writtenRanges().size(), 1u);
    EXPECT_EQ(flash.writtenRanges()[0].endExclusive, 0x201000u);

    flash.eraseAll();
    EXPECT_TRUE(flash.writtenRanges().empty());
}

TEST(HhtsimFlashImage, DropsBytesBeyondTheAddressSpace) {
    FlashImage flash;
    std::vector<std::uint8_t> bytes(4, 0x11);
    EXPECT_EQ(flash.write(FlashImage::kSize - 2, bytes), 2u);
    EXPECT_EQ(flash.writtenRanges().back().endExclusive, FlashImage::kSize);
}

Options parsed(std::vector<std::string> args) {
    auto result = parseOptions(args);
    EXPECT_TRUE(std::holds_alternative<Options>(result));
    return std::holds_alternative<Options>(result) ? std::get<Options>(result) : Options{};
}

TEST(HhtsimOptions, ReadsValuesInBothSpellings) {
    Options o = parsed({"--role", "loader", "--flash-id=E22000", "--wrong-ack", "0x15", "--stop-after=3",
                        "--drip", "5", "--once"});
    EXPECT_EQ(o.role, Role::Loader);
    EXPECT_EQ(o.flashId, (std::array<std::uint8_t, 3>{0xE2, 0x20, 0x00}));
    EXPECT_EQ(o.misbehaviour.wrongAck, 0x15);
    EXPECT_EQ(o.misbehaviour.stopAfter, 3);
    EXPECT_EQ(o.misbehaviour.drip.count(), 5);
    EXPECT_TRUE(o.once);
}

TEST(HhtsimOptions, RejectsBadArgumentsWithAMessage) {
    const std::vector<std::string> bad[] = {
        {"--role", "modem"},
        {"--role"},
        {"--flash-id", "A401"},
        {"--flash-id", "A4010Z"},
        {"--stop-after", "-1"},
        {"--drip", "x"},
        {"--wrong-ack", "100"},
        {"--once=yes"},
        {"--bogus"},
        {"--baud", "12abc"},
        {"--ident", ""},
    };
    for (const auto& args : bad) {
        auto result = parseOptions(args);
        ASSERT_TRUE(std::holds_alternative<UsageError>(result)) << args[0];
        EXPECT_EQ(std::get<UsageError>(result).message.rfind("hhtsim: ", 0), 0u);
    }
}

TEST(HhtsimOptions, NamesWhatABadValueLacks) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--role", "modem"}, "hhtsim: unknown role \"modem\" (see --help)"},
        {{"--role="}, "hhtsim: --role needs a role (see --help)"},
        {{"--out"}, "hhtsim: --out needs a file name (see --help)"},
        {{"--chaos", "-1"}, "hhtsim: --chaos needs a seed, a number from 0 (see --help)"},
        {{"--idle-timeout=99"}, "hhtsim: --idle-timeout needs milliseconds from 100 to 3600000 (see --help)"},
        {{"--flash-id", "A4010Z"},
         "hhtsim: --flash-id needs six hexadecimal digits, e.g. A40100 (see --help)"},
        {{"--once=yes"}, "hhtsim: --once takes no value (see --help)"},
        {{"-h=1"}, "hhtsim: unknown argument \"-h=1\" (see --help)"},
    };
    for (const auto& [args, message] : cases) {
        auto result = parseOptions(args);
        ASSERT_TRUE(std::holds_alternative<UsageError>(result)) << args[0];
        EXPECT_EQ(std::get<UsageError>(result).message, message);
    }
}

TEST(HhtsimOptions, HelpNamesEveryOption) {
    const std::string help = helpText();
    for (const char* option :
         {"--role",      "--once",          "--link",      "--out",          "--records",
          "--ident",     "--flash-id",      "--flash-out", "--log",          "--rmt",
          "--auto-data", "--idle-timeout",  "--silent",    "--stop-after",   "--wrong-ack",
          "--bad-check", "--overlong",      "--drip",      "--hangup-after", "--baud-throttle",
          "--baud",      "--latency-timer", "--help"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace hhtsim
