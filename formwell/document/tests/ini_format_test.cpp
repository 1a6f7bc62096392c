#include <gtest/gtest.h>

#include "formwell/document/ini_file.h"

namespace formwell {
namespace {

TEST(IniRecord, QtyExampleIsExactBytes)
{
    const FieldDefinition qty{"QTY", "Number", "1", "5", "Y", "N", ""};
    EXPECT_EQ(formatIniRecord(qty), "QTY           Number5 YN1 0111111111111111\r\n");
}

}  // namespace
}  // namespace formwell
