#include "pushkit/image/image_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "pushkit/image/hex_block_layout.h"
#include "pushkit/image/image_name.h"
#include "pushkit/image/image_scans.h"

namespace pushkit {
namespace {

// Records written here, independently of the generator and the loader.
std::string sRecord(char type, int addressBytes, std::uint32_t address,
                    const std::vector<std::uint8_t>& data) {
    const unsigned count = static_cast<unsigned>(data.size() + addressBytes + 1);
    unsigned sum = count;
    char byte[4];
    std::string line = std::string("S") + type;
    std::snprintf(byte, sizeof byte, "%02X", count);
    line += byte;
    for (int shift = 8 * (addressBytes - 1); shift >= 0; shift -= 8) {
        std::snprintf(byte, sizeof byte, "%02X", (address >> shift) & 0xFFu);
        line += byte;
        sum += (address >> shift) & 0xFFu;
    }
    for (const std::uint8_t b : data) {
        std::snprintf(byte, sizeof byte, "%02X", b);
        line += byte;
        sum += b;
    }
    std::snprintf(byte, sizeof byte, "%02X", ~sum & 0xFFu);
    return line + byte + "\r\n";
}
std::string s2(std::uint32_t address, std::size_t bytes = 16) {
    return sRecord('2', 3, address, std::vector<std::uint8_t>(bytes, 0x5A));
}
std::string text(const std::string& s) {
    return sRecord('2', 3, 0x210000, std::vector<std::uint8_t>(s.begin(), s.end()));
}

const std::string kIdent103 = "S20E2000004B5452206279205A414EDC\r\n";
const std::string kHeader =
    text("APPLICATION;") + sRecord('2', 3, 0x21000C, {'V', 'K', 'N', 'V', '0', '1', '0', '0'});
const std::string kSound = sRecord('0', 2, 0, {'h', 'd', 'r'}) + kIdent103 + s2(0x200100) + s2(0x200110, 32) +
                           kHeader + sRecord('5', 2, 4, {}) + sRecord('8', 3, 0, {});

TEST(ImageCheck, ASoundImageAndWhatTheLoaderWouldSeeInIt) {
    const ImageCheck r = checkImage("dir.hex/app.s2", kSound);
    EXPECT_EQ(r.route, ImageRoute::SRecord);
    EXPECT_EQ(r.s2Records, 5u);
    EXPECT_EQ(r.low, 0x200000u);
    EXPECT_EQ(r.high, 0x210014u);
    EXPECT_EQ(r.namedKind, TerminalKind::Kind103);
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0].required, "VKNV0100");
    EXPECT_EQ(r.headers[0].address, 0x210000u);
    EXPECT_TRUE(r.findings.empty());
    EXPECT_FALSE(r.refused());
}

struct Case {
    const char* what;
    std::string name;
    std::string image;
    std::size_t line;
    FindingLevel level;
    FindingReason reason;
};

TEST(ImageCheck, EachProblemWithItsLineAndWhetherItRefusesTheLoad) {
    using enum FindingReason;
    std::string lower = s2(0x200200);
    lower[12] = 'a';
    lower[13] = 'a';  // the first data byte, 0x5A written as "aa": wrong digits and checksum
    std::string badS0 = sRecord('0', 2, 0, {'x'});
    badS0[badS0.size() - 3] ^= 1;
    std::string badS2 = s2(0x200200);
    badS2[badS2.size() - 3] ^= 1;
    const std::string hexData = ":0400000001020304F2\r\n";
    const std::string hexEnd = ":00000001FF\r\n";
    const Case cases[] = {
        {"S2 checksum", "a.s2", kIdent103 + badS2, 2, FindingLevel::Refuse, ChecksumMismatch},
        {"S0 checksum", "a.s2", badS0 + kIdent103 + kHeader, 1, FindingLevel::Warning, ChecksumMismatch},
        {"lower-case digits", "a.s2", kIdent103 + lower, 2, FindingLevel::Refuse, LowerCaseDigits},
        {"lower-case type", "a.s2", kIdent103 + "s21420" + s2(0x200200).substr(6), 2, FindingLevel::Refuse,
         LowerCaseRecordType},
        {"lower-case header", "a.s2", "s0" + sRecord('0', 2, 0, {'x'}).substr(2) + kIdent103 + kHeader, 1,
         FindingLevel::Warning, NotARecord},
        {"truncated", "a.s2", kIdent103 + s2(0x200200).substr(0, 20) + "\r\n", 2, FindingLevel::Refuse,
         Truncated},
        {"outside the window", "a.s2", kIdent103 + s2(0x280000), 2, FindingLevel::Refuse, OutsideWindow},
        {"S1 data", "a.s2", kIdent103 + sRecord('1', 2, 0x100, {1, 2}), 2, FindingLevel::Refuse,
         UnsentDataRecord},
        {"overlap", "a.s2", kIdent103 + s2(0x200200) + s2(0x200208), 3, FindingLevel::Warning, Overlap},
        {"33 data bytes", "a.s2", kIdent103 + s2(0x200200, 33), 2, FindingLevel::Warning, SplitByScans},
        {"100 data bytes", "a.s2", kIdent103 + s2(0x200200, 100), 2, FindingLevel::Refuse, CutBySendLoop},
        {"no S2 record", "a.s2", sRecord('0', 2, 0, {}), 0, FindingLevel::Refuse, NoS2Record},
        {"no kind", "a.s2", s2(0x200200), 0, FindingLevel::Warning, NoKind},
        {"HEX data checksum", "VKS1.hex", ":0400000001020304F3\r\n" + hexEnd, 1, FindingLevel::Refuse,
         ChecksumMismatch},
        {"HEX end checksum", "VKS1.HEX", hexData + ":00000001FE\r\n", 2, FindingLevel::Warning,
         ChecksumMismatch},
        {"HEX lower case", "VKS1.HEX", ":0400000001020304f2\r\n" + hexEnd, 1, FindingLevel::Warning,
         LowerCaseDigits},
        {"HEX line too long", "VKS1.HEX", ":18000000" + std::string(48, '0') + "E8\r\n" + hexEnd, 1,
         FindingLevel::Warning, SplitByLineProtocol},
        {"after the end", "VKS1.HEX", hexData + hexEnd + hexData, 3, FindingLevel::Warning, AfterEndRecord},
        {"no end record", "VKD1.HEX", hexData, 0, FindingLevel::Warning, NoEndRecord},
        {"HEX name", "APP.HEX", hexData + hexEnd, 0, FindingLevel::Refuse, UnknownHexName},
    };
    for (const Case& c : cases) {
        const ImageCheck r = checkImage(c.name, c.image);
        bool found = false;
        for (const ImageFinding& f : r.findings) {
            found = found || (f.line == c.line && f.level == c.level && f.reason == c.reason);
        }
        EXPECT_TRUE(found) << c.what;
        if (c.level == FindingLevel::Warning) {
            EXPECT_FALSE(r.refused()) << c.what;
        }
    }
}

const std::string kHeader102 =
    sRecord('2', 3, 0x030000, {'A', 'P', 'P', 'L', 'I', 'C', 'A', 'T', 'I', 'O', 'N', ';'}) +
    sRecord('2', 3, 0x03000C, {'V', 'K', 'D', 'V', '0', '1', '0', '0'});

TEST(ImageCheck, AKindWithoutAWindowTakesEveryAddress) {
    // A header at kind 102's address says whom the image is for; kind 102 loads every address.
    const ImageCheck kind102 = checkImage("a.s2", kHeader102 + s2(0x100000));
    EXPECT_EQ(kind102.kind, TerminalKind::Kind102);
    EXPECT_FALSE(kind102.refused());
    // Without a kind, data must lie in one of the windows.
    EXPECT_TRUE(checkImage("a.s2", s2(0x100000)).refused());
}

// What the loader's own scans refuse an image for before anything is loaded: on every terminal (a
// HEX name no transfer takes, no S2 record), on every framed-protocol terminal (no identification
// record and no header a terminal would accept), on a hex-block terminal (records that overlap in
// its layout). The check must give exactly these results, and no other.
std::set<pushkit_result> scansRefuse(std::string_view name, std::string_view image) {
    const ImageRoute route = imageRoute(name);
    if (route == ImageRoute::UnknownHexPrefix) {
        return {PUSHKIT_ERR_HEX_PREFIX};
    }
    if (route != ImageRoute::SRecord) {
        return {};
    }
    if (countS2Records(image) == 0) {
        return {PUSHKIT_ERR_NO_S2_RECORD};
    }
    std::set<pushkit_result> results;
    bool framedTakes = false;
    for (const TerminalKindRow& row : kTerminalKinds) {
        const std::optional<std::string> required = requiredTerminal(image, row.kind);
        framedTakes =
            framedTakes ||
            (!row.identRecord.empty() && containsIdentificationRecord(image, row.identRecord)) ||
            (required && checkApplicationHeader(image, row.kind, *required) == HeaderCheck::Accepted);
    }
    if (!framedTakes) {
        results.insert(PUSHKIT_ERR_HEADER);
    }
    BlockImage blockImage;
    std::vector<HexBlock> blocks;
    if (buildBlockImage(image, blockImage) == BlockListResult::Built &&
        layoutHexBlocks(blockImage, blocks) == LayoutResult::Overlap) {
        results.insert(PUSHKIT_ERR_OVERLAP);
    }
    return results;
}

TEST(ImageCheck, GivesTheResultsTheLoadersScansRefuseWith) {
    const std::string kIdent101 = "S20E300000515058206279205A414EC4\r\n";
    const std::string hex = ":0400000001020304F2\r\n:00000001FF\r\n";
    const struct {
        std::string name;
        std::string image;
    } images[] = {
        {"app.s2", kSound},
        {"app.s2", sRecord('0', 2, 0, {'x'}) + sRecord('9', 2, 0, {})},
        {"APP.HEX", hex},
        {"vks1.hex", hex},
        {"app.s2", s2(0x200200)},
        {"app.s2", kIdent103 + s2(0x200200) + s2(0x200208)},
        {"app.s2", s2(0x200200) + s2(0x200208)},
        // Overlapping records outside the hex-block window: only a framed-protocol terminal loads them.
        {"app.s2", kIdent101 + s2(0x300000) + s2(0x300008)},
        {"app.s2", kHeader102 + s2(0x100000)},
        {"app", kHeader + s2(0x2000F0, 32) + s2(0x200100)},
    };
    for (const auto& image : images) {
        std::set<pushkit_result> results;
        for (const ImageFinding& f : checkImage(image.name, image.image).findings) {
            if (f.result) {
                results.insert(*f.result);
            }
        }
        EXPECT_EQ(results, scansRefuse(image.name, image.image)) << image.name << "\n" << image.image;
    }
}

}  // namespace
}  // namespace pushkit
