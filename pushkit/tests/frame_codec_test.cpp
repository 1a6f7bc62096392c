// Golden bytes the terminal relies on, one row per frame kind.
#include "frame_codec.h"

#include <gtest/gtest.h>

namespace pushkit {
namespace {

struct GoldenFrame {
    const char* name;
    Frame built;
    Frame expected;
};

TEST(FrameCodecTest, FramesMatchTheBytesOnTheWire) {
    const LocalTime march2005{.year = 2005, .month = 3, .day = 16, .hour = 14, .minute = 5, .second = 9};
    const GoldenFrame cases[] = {
        {"close", closeFrame(), {0x10, 0x02, 0x51, 0x50, 0x58, 0x03, 0x10, 0x03, 0x5B}},
        {"erase block 1", eraseFrame(1), {0x10, 0x02, 0x51, 0x50, 0x58, 0x01, 0x01, 0x10, 0x03, 0x58}},
        {"erase block 16 doubles its number",
         eraseFrame(0x10),
         {0x10, 0x02, 0x51, 0x50, 0x58, 0x01, 0x10, 0x10, 0x10, 0x03, 0x59}},
        {"display erasing",
         displayFrame("\fErasing"),
         {0x10, 0x02, 0x51, 0x50, 0x58, 0x02, 0x0C, 0x45, 0x72, 0x61, 0x73, 0x69, 0x6E, 0x67, 0x00, 0x10,
          0x03, 0x13}},
        {"clock with the day doubled",
         clockFrame(march2005),
         {0x10, 0x02, 0x51, 0x50, 0x58, 0x04, 0x05, 0x03, 0x10, 0x10, 0x0E, 0x05, 0x09, 0x10, 0x03, 0x58}},
        {"flash query", flashQueryFrame(), {0x10, 0x02, 0x51, 0x50, 0x58, 0x05, 0x10, 0x03, 0x5D}},
        {"record",
         *recordFrame("S20520000000DA\r\n"),
         {0x10, 0x02, 0x20, 0x00, 0x00, 0x00, 0x10, 0x03, 0x21}},
        {"record with 0x10 in address and data",
         *recordFrame("S2052010001099"),
         {0x10, 0x02, 0x20, 0x10, 0x10, 0x00, 0x10, 0x10, 0x10, 0x03, 0x21}},
        {"line frame P1", lineFrame("P1", 0), {0x02, 0x30, 0x30, 0x30, 0x30, 0x32, 0x50, 0x31, 0x03, 0x50}},
        {"line frame sequence wraps at 10",
         lineFrame("E", 12),
         {0x02, 0x32, 0x30, 0x30, 0x30, 0x31, 0x45, 0x03, 0x32 ^ 0x30 ^ 0x30 ^ 0x30 ^ 0x31 ^ 0x45 ^ 0x03}},
    };
    for (const GoldenFrame& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.built, c.expected);
    }
}

TEST(FrameCodecTest, OnlyS2LinesBecomeRecordFrames) {
    EXPECT_FALSE(recordFrame("S9030000FC").has_value());
    EXPECT_FALSE(recordFrame("s20520000000DA").has_value());
    EXPECT_FALSE(recordFrame("").has_value());
    // Without its three address bytes a record has nowhere to go: no frame.
    EXPECT_FALSE(recordFrame("S200").has_value());
    EXPECT_FALSE(recordFrame("S2032000\r\n").has_value());
}

TEST(FrameCodecTest, ClockYearStaysWithinTheCentury) {
    EXPECT_EQ(clockYearByte(1999), 99);
    EXPECT_EQ(clockYearByte(2000), 0);
    EXPECT_EQ(clockYearByte(2026), 26);
}

TEST(FrameCodecTest, HexBlockTextCommands) {
    EXPECT_EQ(hexBlockCommand(kHexStartOfData), std::string("\x1bXLT\x08\r"));
    const LocalTime time{.year = 2026, .month = 1, .day = 2, .hour = 3, .minute = 4, .second = 5};
    const std::string clock = hexBlockClockCommand(time);
    EXPECT_EQ(clock, std::string("\x1bXLT\x0C") + "260102030405\r");
    EXPECT_EQ(clock.size(), 18u);

    HexBlockData data;
    data.fill(0xFF);
    data[0] = 0x12;
    data[127] = 0xAB;
    const std::string line = hexBlockLine(0x200010, data);
    ASSERT_EQ(line.size(), 266u);
    EXPECT_EQ(line.substr(0, 9),
              "\x1b"
              "20001012");
    EXPECT_EQ(line.substr(259, 7),
              "FFAB"
              "B9\r");  // 0x12 ^ 0xAB ^ (126 x 0xFF) = 0xB9
}

}  // namespace
}  // namespace pushkit
