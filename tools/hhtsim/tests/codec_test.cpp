#include <gtest/gtest.h>

#include "hhtsim/loader_codec.h"
#include "hhtsim/terminal_codec.h"

namespace hhtsim {
namespace {

template <typename Reader>
bool feedAll(Reader& reader, const Bytes& bytes, std::size_t* consumed = nullptr) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (reader.feed(bytes[i]) == FeedStatus::Complete) {
            if (consumed) {
                *consumed = i + 1;
            }
            return true;
        }
    }
    return false;
}

TEST(HhtsimLinkFrame, BuildsTheFramesTheHostChecks) {
    EXPECT_EQ(buildLinkFrame("abc\r\n"), (Bytes{0x02, 0x61, 0x62, 0x63, 0x0D, 0x0A, 0x03, 0x66}));
    // An empty line's check byte happens to be ACK.
    EXPECT_EQ(buildLinkFrame("\r\n"), (Bytes{0x02, 0x0D, 0x0A, 0x03, 0x06}));
}

TEST(HhtsimLinkFrame, ReadsTextAndJudgesTheCheckByte) {
    struct Case {
        Bytes wire;
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {{0x02, 0x61, 0x62, 0x63, 0x0D, 0x0A, 0x03, 0x66}, "abc\r\n", true},
        {{0x02, 0x0D, 0x0A, 0x03, 0x06}, "\r\n", true},
        {{0x02, 0x61, 0x62, 0x63, 0x0D, 0x0A, 0x03, 0x67}, "abc\r\n", false},
        // A NUL inside the text is kept and counts in the XOR like any byte.
        {{0x02, 0x00, 0x41, 0x03, 0x40}, std::string("\0A", 2), true},
    };
    for (const auto& c : cases) {
        LinkFrameReader reader(64);
        std::size_t used = 0;
        ASSERT_TRUE(feedAll(reader, c.wire, &used));
        EXPECT_EQ(used, c.wire.size());
        EXPECT_EQ(reader.result().text, c.text);
        EXPECT_EQ(reader.result().checkOk, c.ok) << c.text;
    }
}

TEST(HhtsimLinkFrame, OverlongFrameIsRefusedButKeepsSync) {
    LinkFrameReader reader(4);
    Bytes wire = buildLinkFrame("abcdefgh\r\n");
    std::size_t used = 0;
    ASSERT_TRUE(feedAll(reader, wire, &used));
    EXPECT_EQ(used, wire.size());
    EXPECT_TRUE(reader.result().overlong);
    EXPECT_FALSE(reader.result().checkOk);
    EXPECT_EQ(reader.result().text, "abcd");
}

TEST(HhtsimLineFrame, BuildAndReadTheP1Frame) {
    const Bytes p1{0x02, 0x30, 0x30, 0x30, 0x30, 0x32, 0x50, 0x31, 0x03, 0x50};
    EXPECT_EQ(buildLineFrame(0, "P1"), p1);
    LineFrameReader reader(64);
    ASSERT_TRUE(feedAll(reader, p1));
    EXPECT_EQ(reader.result().sequence, 0);
    EXPECT_EQ(reader.result().text, "P1");
    EXPECT_TRUE(reader.result().bccOk);
    // The answer frame carries one ACK byte at offset 6, where the host looks.
    Bytes ack = buildLineFrame(12, "\x06");
    ASSERT_EQ(ack.size(), 9u);
    EXPECT_EQ(ack[1], '2');
    EXPECT_EQ(ack[6], 0x06);
}

TEST(HhtsimLineFrame, RefusesBadBccAndMalformedHeaders) {
    Bytes bad = buildLineFrame(3, "E");
    bad.back() ^= 0x01;
    LineFrameReader reader(64);
    ASSERT_TRUE(feedAll(reader, bad));
    EXPECT_FALSE(reader.result().bccOk);
    EXPECT_FALSE(reader.result().malformed);

    reader.reset();
    ASSERT_TRUE(feedAll(reader, Bytes{0x02, '0', '0', 'x'}));
    EXPECT_TRUE(reader.result().malformed);

    reader.reset();  // the length says 1 but no ETX follows the text
    ASSERT_TRUE(feedAll(reader, Bytes{0x02, '0', '0', '0', '0', '1', 'E', 'F'}));
    EXPECT_TRUE(reader.result().malformed);
}

TEST(HhtsimDleFrame, ReadsTheLoaderFrames) {
    struct Case {
        const char* name;
        Bytes wire;
        std::string described;
    };
    const Case cases[] = {
        {"close", {0x10, 0x02, 0x51, 0x50, 0x58, 0x03, 0x10, 0x03, 0x5B}, "CLOSE"},
        {"erase", {0x10, 0x02, 0x51, 0x50, 0x58, 0x01, 0x01, 0x10, 0x03, 0x58}, "ERASE block=1"},
        {"display",
         {0x10, 0x02, 0x51, 0x50, 0x58, 0x02, 0x0C, 0x45, 0x72, 0x61, 0x73, 0x69, 0x6E, 0x67, 0x00, 0x10,
          0x03, 0x13},
         "DISPLAY \"\\fErasing\""},
        {"clock with the day doubled",
         {0x10, 0x02, 0x51, 0x50, 0x58, 0x04, 0x05, 0x03, 0x10, 0x10, 0x0E, 0x05, 0x09, 0x10, 0x03, 0x58},
         "CLOCK 05-03-16 14:05:09"},
        {"record", {0x10, 0x02, 0x20, 0x00, 0x00, 0x00, 0x10, 0x03, 0x21}, "RECORD 200000 len=1"},
        {"flash query", buildDleFrame(Bytes{0x51, 0x50, 0x58, 0x05}), "FLASHQUERY"},
    };
    for (const auto& c : cases) {
        DleFrameReader reader(512);
        std::size_t used = 0;
        ASSERT_TRUE(feedAll(reader, c.wire, &used)) << c.name;
        EXPECT_EQ(used, c.wire.size()) << c.name;
        EXPECT_TRUE(reader.result().bccOk) << c.name;
        EXPECT_FALSE(reader.result().malformed) << c.name;
        EXPECT_EQ(describe(decodeDleBody(reader.result().body)), c.described) << c.name;
    }
}

TEST(HhtsimDleFrame, DoublesDleAndComputesBccOverTheDoubledStream) {
    const Bytes body{0x20, 0x10, 0x00, 0x10};
    const Bytes wire = buildDleFrame(body);
    const Bytes expectedHead{0x10, 0x02, 0x20, 0x10, 0x10, 0x00, 0x10, 0x10, 0x10, 0x03};
    ASSERT_EQ(wire.size(), expectedHead.size() + 1);
    EXPECT_TRUE(std::equal(expectedHead.begin(), expectedHead.end(), wire.begin()));
    EXPECT_EQ(wire.back(), xorOf(expectedHead));

    DleFrameReader reader(512);
    ASSERT_TRUE(feedAll(reader, wire));
    EXPECT_EQ(reader.result().body, body);
    auto record = std::get<loader::Record>(decodeDleBody(reader.result().body));
    EXPECT_EQ(record.address, 0x201000u);
    EXPECT_EQ(record.data, (Bytes{0x10}));
}

TEST(HhtsimDleFrame, RefusesBadBccLoneDleAndOddCommands) {
    Bytes bad{0x10, 0x02, 0x51, 0x50, 0x58, 0x03, 0x10, 0x03, 0x5A};
    DleFrameReader reader(512);
    ASSERT_TRUE(feedAll(reader, bad));
    EXPECT_FALSE(reader.result().bccOk);

    reader.reset();  // DLE followed by 0x41 breaks the stuffing rule
    Bytes lone{0x10, 0x02, 0x20, 0x10, 0x41, 0x10, 0x03};
    lone.push_back(xorOf(lone));
    ASSERT_TRUE(feedAll(reader, lone));
    EXPECT_TRUE(reader.result().malformed);

    const std::pair<Bytes, const char*> odd[] = {
        {{0x51, 0x50, 0x58, 0x01}, "UNKNOWN erase frame without exactly one block byte"},
        {{0x51, 0x50, 0x58, 0x02, 0x41}, "UNKNOWN display text without its end byte"},
        {{0x51, 0x50, 0x58, 0x04, 1, 2, 3}, "UNKNOWN clock frame without six values"},
        {{0x51, 0x50, 0x58, 0x09}, "UNKNOWN command 0x09"},
        {{0x20, 0x00}, "UNKNOWN record shorter than its address"},
    };
    for (const auto& [body, text] : odd) {
        EXPECT_EQ(describe(decodeDleBody(body)), text);
    }
}

std::string hexBlockBody(std::uint32_t address, std::uint8_t fill, int checkAdjust = 0) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", address);
    std::string body = text;
    for (std::size_t i = 0; i < kHexBlockBytes; ++i) {
        body += (fill == 0xFF ? "FF" : "A5");
    }
    // 128 equal bytes XOR to zero.
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(checkAdjust));
    return body + text;
}

TEST(HhtsimHexBlockLine, ParsesAddressDataAndCheck) {
    auto line = parseHexBlockLine(hexBlockBody(0x200040, 0xA5));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->address, 0x200040u);
    EXPECT_EQ(line->data[0], 0xA5);
    EXPECT_EQ(line->data[127], 0xA5);
    EXPECT_TRUE(line->checkOk);

    auto wrong = parseHexBlockLine(hexBlockBody(0x200040, 0xA5, 1));
    ASSERT_TRUE(wrong);
    EXPECT_FALSE(wrong->checkOk);

    std::string badDigit = hexBlockBody(0x200040, 0xA5);
    badDigit[20] = 'G';
    EXPECT_FALSE(parseHexBlockLine(badDigit));
    EXPECT_FALSE(parseHexBlockLine(hexBlockBody(0x200040, 0xA5).substr(1)));
}

TEST(HhtsimIntelHex, DecodesRecordsAndChecksums) {
    auto data = parseIntelHexLine(":0400100001020304E2\r\n");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->type, 0);
    EXPECT_EQ(data->offset, 0x0010);
    EXPECT_EQ(data->data, (Bytes{1, 2, 3, 4}));
    EXPECT_TRUE(data->checksumOk);

    auto end = parseIntelHexLine(":00000001FF");
    ASSERT_TRUE(end);
    EXPECT_EQ(end->type, 1);
    EXPECT_TRUE(end->checksumOk);

    auto wrongSum = parseIntelHexLine(":0400100001020304E3\r\n");
    ASSERT_TRUE(wrongSum);
    EXPECT_FALSE(wrongSum->checksumOk);

    EXPECT_FALSE(parseIntelHexLine("0400100001020304E2"));   // no colon
    EXPECT_FALSE(parseIntelHexLine(":0500100001020304E2"));  // count disagrees with the data
    EXPECT_FALSE(parseIntelHexLine(":04001000010203G4E2"));  // not hexadecimal
}

TEST(HhtsimLogText, EscapesControlBytesStably) {
    EXPECT_EQ(escapeText(std::string("a\"\\\r\n\f\x1B\x01\xFF", 9)), "a\\\"\\\\\\r\\n\\f\\e\\x01\\xFF");
    EXPECT_EQ(hexBytes(Bytes{0xA4, 0x01, 0x00}), "A4 01 00");
}

}  // namespace
}  // namespace hhtsim
