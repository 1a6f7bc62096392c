#include "image_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace formwell::cli {
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
    const ImageReport r = checkImage("dir.hex/app.s2", kSound);
    EXPECT_EQ(r.route, pushkit::ImageRoute::SRecord);
    EXPECT_EQ(r.s2Records, 5u);
    EXPECT_EQ(r.low, 0x200000u);
    EXPECT_EQ(r.high, 0x210014u);
    EXPECT_EQ(r.namedKind, 103);
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0].required, "VKNV0100");
    EXPECT_TRUE(r.findings.empty()) << formatImageReport(r);
    EXPECT_FALSE(r.refused());
}

struct Case {
    const char* what;
    std::string name;
    std::string image;
    std::size_t line;
    FindingLevel level;
    const char* says;
};

TEST(ImageCheck, EachProblemWithItsLineAndWhetherItRefusesTheLoad) {
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
        {"S2 checksum", "a.s2", kIdent103 + badS2, 2, FindingLevel::Refuse, "checksum"},
        {"S0 checksum", "a.s2", badS0 + kIdent103 + kHeader, 1, FindingLevel::Warning, "checksum"},
        {"lower-case digits", "a.s2", kIdent103 + lower, 2, FindingLevel::Refuse, "lower-case"},
        {"lower-case type", "a.s2", kIdent103 + "s21420" + s2(0x200200).substr(6), 2, FindingLevel::Refuse,
         "lower case"},
        {"lower-case header", "a.s2", "s0" + sRecord('0', 2, 0, {'x'}).substr(2) + kIdent103 + kHeader, 1,
         FindingLevel::Warning, "skips"},
        {"truncated", "a.s2", kIdent103 + s2(0x200200).substr(0, 20) + "\r\n", 2, FindingLevel::Refuse,
         "truncated"},
        {"outside the window", "a.s2", kIdent103 + s2(0x280000), 2, FindingLevel::Refuse,
         "outside the flash"},
        {"S1 data", "a.s2", kIdent103 + sRecord('1', 2, 0x100, {1, 2}), 2, FindingLevel::Refuse, "S1 data"},
        {"overlap", "a.s2", kIdent103 + s2(0x200200) + s2(0x200208), 3, FindingLevel::Warning, "overlaps"},
        {"33 data bytes", "a.s2", kIdent103 + s2(0x200200, 33), 2, FindingLevel::Warning, "longer than 79"},
        {"100 data bytes", "a.s2", kIdent103 + s2(0x200200, 100), 2, FindingLevel::Refuse, "cut"},
        {"no S2 record", "a.s2", sRecord('0', 2, 0, {}), 0, FindingLevel::Refuse, "(-15)"},
        {"no kind", "a.s2", s2(0x200200), 0, FindingLevel::Warning, "-26"},
        {"HEX data checksum", "VKS1.hex", ":0400000001020304F3\r\n" + hexEnd, 1, FindingLevel::Refuse,
         "checksum"},
        {"HEX end checksum", "VKS1.HEX", hexData + ":00000001FE\r\n", 2, FindingLevel::Warning, "checksum"},
        {"HEX lower case", "VKS1.HEX", ":0400000001020304f2\r\n" + hexEnd, 1, FindingLevel::Warning,
         "lower-case"},
        {"HEX line too long", "VKS1.HEX", ":18000000" + std::string(48, '0') + "E8\r\n" + hexEnd, 1,
         FindingLevel::Warning, "in pieces"},
        {"after the end", "VKS1.HEX", hexData + hexEnd + hexData, 3, FindingLevel::Warning, "never sends"},
        {"no end record", "VKD1.HEX", hexData, 0, FindingLevel::Warning, "no end record"},
        {"HEX name", "APP.HEX", hexData + hexEnd, 0, FindingLevel::Refuse, "(-12)"},
    };
    for (const Case& c : cases) {
        const ImageReport r = checkImage(c.name, c.image);
        bool found = false;
        for (const ImageFinding& f : r.findings) {
            found =
                found || (f.line == c.line && f.level == c.level && f.text.find(c.says) != std::string::npos);
        }
        EXPECT_TRUE(found) << c.what << "\n" << formatImageReport(r);
        if (c.level == FindingLevel::Warning) {
            EXPECT_FALSE(r.refused()) << c.what << "\n" << formatImageReport(r);
        }
    }
}

TEST(ImageCheck, AKindWithoutAWindowTakesEveryAddress) {
    // A header at kind 102's address says whom the image is for; kind 102 loads every address.
    const std::string header102 =
        sRecord('2', 3, 0x030000, {'A', 'P', 'P', 'L', 'I', 'C', 'A', 'T', 'I', 'O', 'N', ';'}) +
        sRecord('2', 3, 0x03000C, {'V', 'K', 'D', 'V', '0', '1', '0', '0'});
    const ImageReport kind102 = checkImage("a.s2", header102 + s2(0x100000));
    EXPECT_EQ(kind102.kind, 102);
    EXPECT_FALSE(kind102.refused()) << formatImageReport(kind102);
    // Without a kind, data must lie in one of the windows.
    EXPECT_TRUE(checkImage("a.s2", s2(0x100000)).refused());
}

// Names and header texts come from outside: neither report may carry a control sequence or bytes
// that are no UTF-8, and well-formed UTF-8 stays as it is.
TEST(ImageCheck, ReportsShowOutsideTextSafely) {
    const ImageReport r = checkImage("J\xC3\xBCrgen\x1B[2J\xFF.s2", kIdent103 + kHeader + s2(0x200200));
    const std::string text = formatImageReport(r);
    EXPECT_NE(text.find("image: J\xC3\xBCrgen\\x1B[2J\\xFF.s2\n"), std::string::npos) << text;
    const std::string json = formatImageReportJson(r);
    EXPECT_NE(json.find("\"J\xC3\xBCrgen\\u001b[2J\\u00ff.s2\""), std::string::npos) << json;
    for (const std::string& out : {text, json}) {
        EXPECT_EQ(out.find('\x1B'), std::string::npos);
    }
}

}  // namespace
}  // namespace formwell::cli
