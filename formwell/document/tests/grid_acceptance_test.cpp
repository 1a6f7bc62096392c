#include "formwell/document/grid_acceptance.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace formwell {
namespace {

FieldDefinition sound() {
    return FieldDefinition{"QTY           ", "Number", "1 ", "5 ", "Y", "N", "0111111111111111"};
}

TEST(GridAcceptance, CellsAsOpenIniShowsThemAndEmptyCellsPass) {
    FieldDefinition empty;
    FieldDefinition typed{"Q", "Numb", "3", "3", "y", "x", ""};  // any type or flag text is taken
    EXPECT_TRUE(cellsTheGridWouldRefuse({sound(), empty, typed}).empty());
}

TEST(GridAcceptance, NamesEachCellTheGridWouldNotTake) {
    struct Case {
        const char* what;
        FieldDefinition row;
        int column;
        const char* says;
    };
    auto with = [](int column, std::string text) {
        FieldDefinition row = sound();
        setCellText(row, column, text);
        return row;
    };
    const Case cases[] = {
        {"name over 14", with(0, "FIFTEEN_CHARS__"), 0, "longer than the 14"},
        {"type over 6", with(1, "Numbers"), 1, "longer than the 6"},
        {"flag over 1", with(4, "YES"), 4, "longer than the 1"},
        {"min not a number", with(2, "ab"), 2, "Please use numeric value ..."},
        {"max above 14", with(3, "15"), 3, "cannot be more than 14"},
        {"min above max", with(2, "9"), 2, "above Max Length \"5 \""},
        {"line break", with(0, "A\r\nB"), 0, "reads back as more rows"},
        {"mask of 15", with(6, "011111111111111"), 6, "16 characters"},
        {"mask with a 2", with(6, "0111111111111112"), 6, "16 characters"},
        {"reserved position", with(6, "1111111111111111"), 6, "reserved"},
        {"no symbology", with(6, "0000000000000000"), 6, "no barcode type"},
    };
    for (const Case& c : cases) {
        const std::vector<CellWarning> warnings = cellsTheGridWouldRefuse({sound(), c.row});
        ASSERT_EQ(warnings.size(), 1u) << c.what;
        EXPECT_EQ(warnings[0].row, 1u) << c.what;
        EXPECT_EQ(warnings[0].column, c.column) << c.what;
        EXPECT_NE(warnings[0].reason.find(c.says), std::string::npos) << c.what << ": " << warnings[0].reason;
    }
}

TEST(GridAcceptance, DescribesTheCellItNames) {
    std::vector<FieldDefinition> rows = {sound(), sound()};
    rows[1].FieldLength = "1\n";
    const std::vector<CellWarning> warnings = cellsTheGridWouldRefuse(rows);
    ASSERT_FALSE(warnings.empty());
    EXPECT_EQ(describeCellWarning(warnings[0], rows).substr(0, 30), "row 2, Max Length \"1\\x0A\": hol");
}

}  // namespace
}  // namespace formwell
