#include "image_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pushkit/testing/s2_image.h"

namespace formwell::cli {
namespace {

const std::string kIdent103 = "S20E2000004B5452206279205A414EDC\r\n";

// Names and header texts come from outside: neither report may carry a control sequence or bytes
// that are no UTF-8, and well-formed UTF-8 stays as it is.
TEST(ImageCheck, ReportsShowOutsideTextSafely) {
    const ImageReport r =
        checkImage("J\xC3\xBCrgen\x1B[2J\xFF.s2",
                   kIdent103 + pushkit::testing::applicationHeader(0x210000, "VKNV0100") +
                       pushkit::testing::s2Line(0x200200, std::vector<std::uint8_t>(16, 0x5A)));
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
