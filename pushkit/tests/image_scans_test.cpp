#include "pushkit/image/image_scans.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "frame_codec.h"
#include "pushkit/image/hex_block_layout.h"

namespace pushkit {
namespace {

using enum TerminalKind;
constexpr std::string_view kIdentRecord101 = terminalKind(Kind101).identRecord;
constexpr std::string_view kIdentRecord103 = terminalKind(Kind103).identRecord;

// One S2 record line with its checksum, as an image file holds it.
std::string s2(std::uint32_t address, const std::vector<std::uint8_t>& data, std::string_view end = "\n") {
    const unsigned count = static_cast<unsigned>(data.size() + 4);
    unsigned sum = count + (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF);
    char field[16];
    std::snprintf(field, sizeof field, "S2%02X%06X", count, address);
    std::string line = field;
    for (std::uint8_t b : data) {
        std::snprintf(field, sizeof field, "%02X", b);
        line += field;
        sum += b;
    }
    std::snprintf(field, sizeof field, "%02X", ~sum & 0xFFu);
    return line + field + std::string(end);
}

std::vector<std::uint8_t> textBytes(std::string_view text, std::size_t padTo = 0) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (bytes.size() < padTo) {
        bytes.resize(padTo, 0);
    }
    return bytes;
}

std::vector<std::string_view> split(std::string_view image, std::size_t limit) {
    LineReader reader(image, limit);
    std::vector<std::string_view> lines;
    std::string_view line;
    while (reader.next(line)) {
        lines.push_back(line);
    }
    return lines;
}

TEST(LineReader, SplitsAtLineFeedsAndAtTheReadersLimit) {
    const std::string exact78 = std::string(78, 'x') + "\n";  // 79 with its line end: one line
    const std::string long79 = std::string(79, 'y') + "\n";   // 80: a piece of 79, then the line end alone
    struct Case {
        std::string image;
        std::size_t limit;
        std::vector<std::string> expected;
    } cases[] = {
        {"", kScanLineLimit, {}},
        {"a\r\nb", kScanLineLimit, {"a\r\n", "b"}},
        {"\n\n", kScanLineLimit, {"\n", "\n"}},
        {exact78, kScanLineLimit, {exact78}},
        {long79, kScanLineLimit, {std::string(79, 'y'), "\n"}},
        {std::string(398, 'z'), kSendLineLimit, {std::string(199, 'z'), std::string(199, 'z')}},
        {std::string("a\0b\n", 4), kLineProtocolLimit, {std::string("a\0b\n", 4)}},
    };
    for (const Case& c : cases) {
        const auto lines = split(c.image, c.limit);
        ASSERT_EQ(lines.size(), c.expected.size()) << c.image;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i], c.expected[i]);
        }
    }

    LineReader reader("one\ntwo\n", kScanLineLimit);
    std::string_view line;
    ASSERT_TRUE(reader.next(line));
    reader.rewind();
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line, "one\n");
}

TEST(HexDecoding, DecodesUpperCaseAndTreatsEverythingElseByTheSameArithmetic) {
    EXPECT_EQ(hexByte("A5", 0), 0xA5);
    EXPECT_EQ(hexByte("0F", 0), 0x0F);
    // Lower case counts from 'A': 'a' is 42, so "0a" decodes as 0x2A, not 0x0A.
    EXPECT_EQ(hexByte("0a", 0), 0x2A);
    EXPECT_EQ(hexByte("G0", 0), 0x00);  // 'G' = 16: 16 * 16 wraps to 0
    EXPECT_EQ(hexByte("7", 0), 0x70);   // a missing digit counts as '0'
    EXPECT_EQ(hexByte("", 5), 0x00);

    const S2Fields lower = parseS2("S2080a0000112233445566\n");
    EXPECT_EQ(lower.address, 0x2A0000u);
    const S2Fields upper = parseS2("S2080A0000112233445566\n");
    EXPECT_EQ(upper.address, 0x0A0000u);
    EXPECT_EQ(upper.dataLength, 4u);
    EXPECT_EQ(parseS2("S203").dataLength, 0u);  // a count below 4 has no data
}

TEST(S2Count, CountsOnlyLinesStartingWithUpperCaseS2) {
    struct Case {
        std::string image;
        std::size_t expected;
    } cases[] = {
        {"", 0},
        {s2(0x200000, {1, 2}) + s2(0x200002, {3}), 2},
        {"S00600004844521B\n" + s2(0x200000, {1}) + "S804200000DB\n", 1},
        {"s2080000001122334455\nS1\n S2\nS\n2\n", 0},
        {"S2\nS2", 2},
        {std::string("\0S2\n\xff\xfeS2\n", 10), 0},
        // A line longer than the reader's limit is split and each piece counts on its own.
        {std::string(79, 'x') + "S2rest of the line\n", 1},
        {std::string(78, 'x') + "S2rest of the line\n", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(countS2Records(c.image), c.expected) << c.image;
    }
}

TEST(AddressRange, TakesEachKindsWindowButAnswersForTheWholeImage) {
    const std::string image = "S0030000FC\n" + s2(0x27FFF0, std::vector<std::uint8_t>(16, 0xAA)) +
                              s2(0x200010, {1, 2, 3, 4}) + s2(0x300000, std::vector<std::uint8_t>(8, 0)) +
                              s2(0x380000, {9, 9, 9, 9}) + s2(0x1FFFFF, {7});
    struct Case {
        TerminalKind kind;
        std::uint32_t low;
        std::uint32_t high;
    } cases[] = {
        {Kind103, 0x200010, 0x280000},
        {Kind101, 0x300000, 0x300008},
        {Kind102, 0x1FFFFF, 0x380004},
        {Kind104, 0x1FFFFF, 0x380004},
    };
    for (const Case& c : cases) {
        const AddressRange range = addressRange(image, c.kind);
        EXPECT_EQ(range.result, RangeResult::Found) << kindNumber(c.kind);
        EXPECT_EQ(range.low, c.low) << kindNumber(c.kind);
        EXPECT_EQ(range.high, c.high) << kindNumber(c.kind);
    }

    const AddressRange outside = addressRange(s2(0x100000, {1}), Kind103);
    EXPECT_EQ(outside.result, RangeResult::Found);
    EXPECT_GT(outside.low, outside.high);

    EXPECT_EQ(addressRange("S1130000\nhello\n", Kind102).result, RangeResult::NoS2Record);
    EXPECT_EQ(addressRange("", Kind103).result, RangeResult::NoS2Record);
}

TEST(IdentificationRecord, MatchesTheFirst32CharactersOfAnyLineWithinTheSendLimit) {
    const std::string record(kIdentRecord103);
    EXPECT_TRUE(containsIdentificationRecord("S0030000FC\n" + record + "\n", kIdentRecord103));
    EXPECT_TRUE(containsIdentificationRecord(record + "TRAILING TEXT\r\n", kIdentRecord103));
    EXPECT_FALSE(containsIdentificationRecord(record + "\n", kIdentRecord101));
    EXPECT_FALSE(containsIdentificationRecord(record.substr(0, 31) + "\n", kIdentRecord103));
    EXPECT_FALSE(containsIdentificationRecord(" " + record + "\n", kIdentRecord103));
    // 199 characters fill the reader, so the record starts a line of its own; one fewer and it does not.
    EXPECT_TRUE(containsIdentificationRecord(std::string(199, 'x') + record, kIdentRecord103));
    EXPECT_FALSE(containsIdentificationRecord(std::string(198, 'x') + record, kIdentRecord103));
}

// A header as the tools write it: "APPLICATION;" in the first record, the terminal's
// identification in the second, both padded with zero bytes.
std::string header(std::uint32_t address, std::string_view first, std::string_view second,
                   std::string_view end = "\n") {
    return s2(address, textBytes(first, 16), end) + s2(address + 16, textBytes(second, 16), end);
}

TEST(ApplicationHeader, ComparesTerminalLettersAndVersion) {
    using enum HeaderCheck;
    const std::string body = s2(0x200000, {1, 2, 3}) + s2(0x220000, {4});
    const std::string header103 = body + header(0x210000, "APPLICATION;", "KTRV0100") + s2(0x230000, {5});
    struct Case {
        std::string name;
        std::string image;
        TerminalKind kind;
        std::string terminal;
        HeaderCheck expected;
    } cases[] = {
        {"newer terminal", header103, Kind103, "KTRV0105", Accepted},
        {"same version", header103, Kind103, "KTRV0100", Accepted},
        {"older terminal", header103, Kind103, "KTRV0099", VersionTooLow},
        {"other letters", header103, Kind103, "QPXV0200", NoFit},
        {"digit after letters", header103, Kind103, "KTR12345", Accepted},
        {"neither V nor digit", header103, Kind103, "KTRX0200", NoFit},
        {"header of another kind", header103, Kind101, "KTRV0105", NoFit},
        {"no header", body, Kind103, "KTRV0105", NoFit},
        {"CR LF line ends", header(0x210000, "APPLICATION;", "KTRV0100", "\r\n"), Kind103, "KTRV0100",
         Accepted},
        {"kind 104 address", header(0x240000, "APPLICATION;", "VKSV0002"), Kind104, "VKSV0003", Accepted},
        {"kind 102 address", header(0x030000, "APPLICATION;", "VKD1"), Kind102, "VKD2AB  ", Accepted},
        {"kind 101 address", header(0x310000, "APPLICATION;", "VKAV0002"), Kind101, "VKAV0001",
         VersionTooLow},
        {"no tag", header(0x210000, "APPLICATIOM;", "KTRV0100"), Kind103, "KTRV0100", NoFit},
        {"no separator", header(0x210000, "APPLICATION ", "KTRV0100"), Kind103, "KTRV0100", NoFit},
        // Text ends at each record's first zero byte: here "APPLICATION" + ";KTRV0100".
        {"separator in second record", header(0x210000, std::string("APPLICATION\0XX", 14), ";KTRV0100"),
         Kind103, "KTRV0100", Accepted},
        // The second record is missing: the header line is the last line of the image.
        {"one record only", body + s2(0x210000, textBytes("APPLICATION;KTRV0100")), Kind103, "KTRV0101",
         Accepted},
        {"one record, no identification", body + s2(0x210000, textBytes("APPLICATION;", 16)), Kind103,
         "KTRV0101", NoFit},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(checkApplicationHeader(c.image, c.kind, c.terminal), c.expected) << c.name;
    }
}

TEST(ApplicationHeader, LooksOnlyAtTheFirstOccurrenceOfTheAddressAndLimitsTheLength) {
    using enum HeaderCheck;
    // "210000" first found in the count field of this line, so it is not the header.
    const std::string misplaced =
        "S221000000" + std::string(40, '4') + "00\n" + s2(0x210010, textBytes("APPLICATION;KTRV0100"));
    EXPECT_EQ(checkApplicationHeader(misplaced, Kind103, "KTRV0100"), NoFit);

    const std::string tooLong =
        s2(0x210000, textBytes("APPLICATION;KTRV0100")) + s2(0x210014, textBytes("", 15));
    EXPECT_EQ(checkApplicationHeader(tooLong, Kind103, "KTRV0100"), NoFit);
    const std::string justFits =
        s2(0x210000, textBytes("APPLICATION;KTRV0100")) + s2(0x210014, textBytes("", 14));
    EXPECT_EQ(checkApplicationHeader(justFits, Kind103, "KTRV0100"), Accepted);

    // Version digits run to the first non-digit; a huge number saturates rather than wrapping.
    const std::string huge = s2(0x210000, textBytes("APPLICATION;KTRV99999999999999"));
    EXPECT_EQ(checkApplicationHeader(huge, Kind103, "KTRV0001"), VersionTooLow);
    EXPECT_EQ(checkApplicationHeader(s2(0x210000, textBytes("APPLICATION;KTRV12x9")), Kind103, "KTRV0013"),
              Accepted);
}

TEST(HexLineCount, StopsAfterTheEndRecordOrCountsEverything) {
    const std::string data = ":10000000000102030405060708090A0B0C0D0E0F78\r\n";
    EXPECT_EQ(countHexLines(data + data + ":00000001FF\r\n"), 3u);
    EXPECT_EQ(countHexLines(data + ":00000001FF\r\n" + data + data), 2u);
    EXPECT_EQ(countHexLines(data + data + data), 3u);
    EXPECT_EQ(countHexLines(data + data + data.substr(0, 10)), 3u);
    EXPECT_EQ(countHexLines(""), 0u);
    EXPECT_EQ(countHexLines(":00000001ff\n" + data), 2u);  // lower case is not the end record
    EXPECT_EQ(countHexLines(std::string(100, 'x') + "\n" + ":00000001FF\n"), 3u);
}

TEST(ImageScans, HostileBytesNeverReadPastTheImage) {
    // Each case sits in a buffer of its own size, so ASan catches any read past it.
    const std::vector<std::string> hostile = {
        "S2",
        "S2F",
        "S2FF",
        "S2FF21000",
        "S2FF210000",
        "S2052100004",
        std::string("S2\0\0\0\0\0\0\0\0\0\0\0", 13),
        std::string(300, '\xff'),
        std::string(300, '\0'),
        "S2FF210000" + std::string(200, 'Z'),
        "S2052100004150504C49434154494F4E3B",
        "\r\r\r\n\n\nS2\r",
    };
    for (const std::string& text : hostile) {
        const std::vector<char> exact(text.begin(), text.end());
        const std::string_view image(exact.data(), exact.size());
        (void)countS2Records(image);
        (void)addressRange(image, Kind103);
        (void)containsIdentificationRecord(image, kIdentRecord103);
        (void)countHexLines(image);
        for (const TerminalKind kind : {Kind101, Kind102, Kind103, Kind104}) {
            const HeaderCheck result = checkApplicationHeader(image, kind, "KTRV0100");
            EXPECT_TRUE(result == HeaderCheck::Accepted || result == HeaderCheck::VersionTooLow ||
                        result == HeaderCheck::NoFit)
                << static_cast<int>(result);
        }
        EXPECT_EQ(checkApplicationHeader(image, Kind103, ""), HeaderCheck::NoFit);
    }
}

// One rule for every user of a record's bytes: at most count - 1 after the count field (address, then
// data), and no more than the whole digit pairs before the line end. Record frames, the hex-block list
// and the address range must all take exactly these bytes.
TEST(S2Record, CarriesOnlyTheBytesTheLineHolds) {
    struct Case {
        const char* name;
        std::string line;
        std::size_t carried;  // address + data bytes; 3 or more means the address is there
    } cases[] = {
        {"exact, CR LF", "S208200020A1A2A3A4F6\r\n", 7},
        {"exact, no line end at the end of the file", "S208200020A1A2A3A4F6", 7},
        {"longer line: digits after the checksum", "S208200020A1A2A3A4F6CCEE\n", 7},
        {"cut before the checksum", "S208200020A1A2A3A4\r\n", 7},
        {"cut after two data bytes", "S208200020A1A2\n", 5},
        {"cut inside a data byte", "S208200020A1A", 4},
        {"line end inside the data", "S208200020A1\rA2A3A4F6\n", 4},
        {"cut inside the address", "S20820002\n", 2},
        {"count FF with no data", "S2FF200020\n", 3},
        {"count larger than the line", "S2FF200020A1A2\r\n", 5},
        {"count 4: address only", "S204200020B0\n", 3},
        {"count below 4", "S203200020A1A2\n", 2},
        {"count 0", "S200200020\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const S2Fields fields = parseS2(c.line);
        const bool hasAddress = c.carried >= 3;
        const std::size_t dataLength = hasAddress ? c.carried - 3 : 0;
        EXPECT_EQ(fields.carried, c.carried);
        EXPECT_EQ(fields.hasAddress, hasAddress);
        EXPECT_EQ(fields.dataLength, dataLength);

        const std::optional<Frame> frame = recordFrame(c.line);
        ASSERT_EQ(frame.has_value(), hasAddress);
        BlockImage blocks;
        ASSERT_EQ(buildBlockImage(c.line, blocks), BlockListResult::Built);
        const AddressRange range = addressRange(c.line, std::nullopt);
        EXPECT_EQ(range.result, RangeResult::Found);
        if (!hasAddress) {
            EXPECT_TRUE(blocks.records.empty());
            EXPECT_GT(range.low, range.high);
            continue;
        }
        EXPECT_EQ(fields.address, 0x200020u);
        // DLE STX, the bytes (no 0x10 among them), DLE ETX, BCC.
        EXPECT_EQ(frame->size(), c.carried + 5);
        ASSERT_EQ(blocks.records.size(), 1u);
        EXPECT_EQ(blocks.records[0].data.size(), dataLength);
        EXPECT_EQ(blocks.highest, 0x200020u + dataLength + 4);
        EXPECT_EQ(range.high, 0x200020u + dataLength);
        if (dataLength > 0) {
            EXPECT_EQ((*frame)[5], 0xA1);
            EXPECT_EQ(blocks.records[0].data[0], 0xA1);
        }
    }
}

}  // namespace
}  // namespace pushkit
