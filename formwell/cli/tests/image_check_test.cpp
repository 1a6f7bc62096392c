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
