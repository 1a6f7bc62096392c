#include "formwell/document/barcode_mask.h"

#include <gtest/gtest.h>

#include <string>

namespace formwell {
namespace {

std::string checksAsBits(const SymbologyChecks& checks) {
    std::string bits;
    for (const bool checked : checks) {
        bits += checked ? '1' : '0';
    }
    return bits;
}

TEST(BarcodeMask, LoadReadsPositionsTwoToSixteenAndOnlyOneChecks) {
    struct Case {
        const char* mask;
        const char* checked;  // positions 2..16
    };
    const Case cases[] = {
        {"0111111111111111", "111111111111111"},
        {"0000000000000000", "000000000000000"},
        {"1000000000000000", "000000000000000"},
        {"0100000000000001", "100000000000001"},
        {"0000001001000000", "000001001000000"},
        {"01", "100000000000000"},
        {"", "000000000000000"},
        {"0a1Y2 1-1111111111111", "010001011111111"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(checksAsBits(checkedFromMask(c.mask)), c.checked) << c.mask;
    }
}

TEST(BarcodeMask, OkBuildsMaskWithReservedPositionCleared) {
    SymbologyChecks checks{};
    EXPECT_EQ(maskFromChecked(checks), std::nullopt);

    checks[0] = true;  // EAN / UPC
    EXPECT_EQ(maskFromChecked(checks), "0100000000000000");

    checks = {};
    checks[14] = true;  // Chinese Post
    EXPECT_EQ(maskFromChecked(checks), "0000000000000001");
}

}  // namespace
}  // namespace formwell
