#include "formwell/document/grid_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formwell/testing/recording_interaction.h"

namespace formwell {
namespace {

TEST(IsNumeric, GeneralNumberTest) {
    for (const char* text :
         {"0", "5", "14", "-1", "+3", "1.", ".5", "2.5", " 7", "7 ", "\t7", "1e1", "1E+2", "-0"}) {
        EXPECT_TRUE(isNumeric(text)) << '"' << text << '"';
    }
    for (const char* text :
         {"", " ", "ab", "-", "+", ".", "-.", "1a", "1.2.3", "1e", "e1", "1 2", "--1", "0x1"}) {
        EXPECT_FALSE(isNumeric(text)) << '"' << text << '"';
    }
}

TEST(ToWholeNumber16, RoundsHalfToEvenAndRefusesWhatDoesNotFit) {
    struct Case {
        const char* text;
        std::optional<std::int16_t> value;
    };
    const Case cases[] = {
        {"5", 5},
        {"0.5", 0},
        {"1.5", 2},
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"-.5", 0},
        {"2.51", 3},
        {" 14 ", 14},
        {"+7", 7},
        {"1e1", 10},
        {"32767", 32767},
        {"-32768", -32768},
        {"32767.5", std::nullopt},
        {"32768", std::nullopt},
        {"-32769", std::nullopt},
        {"1e999", std::nullopt},
        {"1e-999", 0},
        {"ab", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toWholeNumber16(c.text), c.value) << '"' << c.text << '"';
    }
}

FieldDefinition lengths(std::string min, std::string max) {
    FieldDefinition row;
    row.MinFieldLength = std::move(min);
    row.FieldLength = std::move(max);
    return row;
}

struct LengthCase {
    const char* what;
    FieldDefinition before;
    int column;
    std::string newText;
    std::string min;  // row afterwards
    std::string max;
    std::vector<std::string> transcript;
};

class LengthCheck : public ::testing::TestWithParam<LengthCase> {};

TEST_P(LengthCheck, CommitsCorrectsOrRestores) {
    const LengthCase& c = GetParam();
    FieldDefinition row = c.before;
    const std::string oldValue = cellText(row, c.column);
    testing::RecordingInteraction ui;
    applyLengthEdit(row, c.column, c.newText, oldValue, ui);
    EXPECT_EQ(row.MinFieldLength, c.min) << c.what;
    EXPECT_EQ(row.FieldLength, c.max) << c.what;
    EXPECT_EQ(ui.transcript(), c.transcript) << c.what;
}

constexpr int kMin = 2;
constexpr int kMax = 3;
const std::vector<std::string> kNone;
const std::vector<std::string> kNotNumeric = {"msg[Formwell|Please use numeric value ...|none]"};
const std::vector<std::string> kTooLong = {
    "beep", "msg[Invalid value|The length cannot be more than 14 characters long ...|info]"};

INSTANTIATE_TEST_SUITE_P(
    Cases, LengthCheck,
    ::testing::Values(
        LengthCase{"min into a new row copies to max", lengths("", ""), kMin, "3", "3", "3", kNone},
        LengthCase{"max into a new row copies to min", lengths("", ""), kMax, "7", "7", "7", kNone},
        LengthCase{"max above min is kept alone", lengths("3", "3"), kMax, "10", "3", "10", kNone},
        LengthCase{"max below min lowers min", lengths("5", "10"), kMax, "4", "4", "4", kNone},
        LengthCase{"min above max raises max", lengths("5", "10"), kMin, "12", "12", "12", kNone},
        LengthCase{"min equal to max", lengths("5", "10"), kMin, "10", "10", "10", kNone},
        LengthCase{"14 is allowed", lengths("1", "5"), kMax, "14", "1", "14", kNone},
        LengthCase{"15 refused", lengths("5", "10"), kMax, "15", "5", "10", kTooLong},
        LengthCase{"99 refused as min", lengths("5", "10"), kMin, "99", "5", "10", kTooLong},
        LengthCase{"14.5 rounds to 14 (even)", lengths("1", "5"), kMax, "14.5", "1", "14.5", kNone},
        LengthCase{"huge number refused as too long", lengths("5", "10"), kMin, "1e9", "5", "10", kTooLong},
        LengthCase{"letters refused", lengths("5", "10"), kMax, "ab", "5", "10", kNotNumeric},
        LengthCase{"clearing refused", lengths("5", "10"), kMin, "", "5", "10", kNotNumeric},
        LengthCase{"negative min passes and changes nothing else", lengths("5", "10"), kMin, "-1", "-1", "10",
                   kNone},
        LengthCase{"negative max lowers min", lengths("5", "10"), kMax, "-1", "-1", "-1", kNone},
        LengthCase{"decimal min copies its rounded value", lengths("", ""), kMin, "2.5", "2.5", "2", kNone},
        LengthCase{"non-numeric partner max counts as 0", lengths("", "xx"), kMin, "4", "4", "4", kNone},
        LengthCase{"non-numeric partner min counts as 15", lengths("zz", ""), kMax, "14", "14", "14",
                   kNone}));

TEST(LengthCheckDecision, OtherColumnsAreAcceptedUnchanged) {
    const FieldDefinition row = lengths("5", "10");
    for (const int column : {0, 1, 4, 5, 6, 7, -1}) {
        const LengthEditDecision d = checkLengthEdit(row, column, "ab", "old");
        EXPECT_EQ(d.outcome, LengthEditOutcome::Accept);
        EXPECT_EQ(d.editedText, "ab");
    }
}

TEST(AutoComplete, FirstLetterCompletesInEitherCase) {
    const auto types = listForColumn(1);
    const auto flags = listForColumn(5);
    ASSERT_EQ(listForColumn(4).size(), 2u);
    EXPECT_TRUE(listForColumn(2).empty());
    EXPECT_TRUE(listForColumn(6).empty());

    struct Case {
        std::span<const std::string_view> list;
        const char* typed;
        const char* result;
    };
    const Case cases[] = {
        {types, "t", "Text"},    {types, "N", "Number"},  {types, "d", "Date"},  {types, "x", "x"},
        {types, "nu", "Number"}, {types, "Numx", "Numx"}, {types, "?a", "Date"}, {types, "*", "Text"},
        {types, "[", "["},       {types, "", ""},         {flags, "y", "Y"},     {flags, "n", "N"},
        {flags, "?", "Y"},       {flags, "q", "q"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(autoComplete(c.typed, c.list), c.result) << '"' << c.typed << '"';
    }
}

}  // namespace
}  // namespace formwell
