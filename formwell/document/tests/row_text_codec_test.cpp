#include "formwell/document/row_text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace formwell {
namespace {

// Cells a grid holds after Open ini, and the bytes a file may carry that a grid never shows typed.
const std::vector<FieldDefinition> kAwkwardRows = {
    {"QTY           ", "Number", "1 ", "5 ", "Y", "N", "0111111111111111"},
    {"say \"hi\", ok", "a\\b", "", "", "", "", ""},
    {" lead", "\t", "\x01", "\x7f", "\r", "\n", "x"},
    {"caf\xE9 \xFF", "\x80\xA0", "1", "14", "y", "n", "0100000000000000"},
};

TEST(RowTextCodec, JsonAndCsvBringEveryByteBack) {
    for (const auto& [name, text, parsed] :
         {std::tuple{"json", formatRowsJson(kAwkwardRows), parseRowsJson(formatRowsJson(kAwkwardRows))},
          std::tuple{"csv", formatRowsCsv(kAwkwardRows), parseRowsCsv(formatRowsCsv(kAwkwardRows))}}) {
        ASSERT_FALSE(parsed.error) << name << ": " << describeReadError(*parsed.error) << "\n" << text;
        EXPECT_EQ(parsed.rows, kAwkwardRows) << name;
        EXPECT_TRUE(parsed.replaced.empty()) << name;
    }
    EXPECT_EQ(formatRowsJson({}), "[]\n");
    EXPECT_TRUE(parseRowsJson(" [ ] ").rows.empty());
    EXPECT_EQ(formatRowsCsv({}), "Field Name,Type,Min Length,Max Length,Required ?,Loopback ?,Barcodes\r\n");
}

TEST(RowTextCodec, ReadsWhatPeopleAndToolsWrite) {
    // A byte-order mark, LF line ends, a blank last line, escapes of every kind, a character beyond
    // the single-byte set (a euro sign, and a pair of surrogate escapes) in the third cell.
    const RowsReadResult json = parseRowsJson(
        "\xEF\xBB\xBF[[\"A\\u00e9\\/\", \"\\t\", \"\xE2\x82\xAC\\ud83d\\ude00\", \"5\", \"Y\", \"N\", "
        "\"\"]]\n");
    ASSERT_FALSE(json.error);
    EXPECT_EQ(json.rows.at(0), (FieldDefinition{"A\xE9/", "\t", "??", "5", "Y", "N", ""}));
    ASSERT_EQ(json.replaced.size(), 1u);
    EXPECT_EQ(json.replaced[0].column, 2);

    const RowsReadResult csv = parseRowsCsv(
        "Field Name,Type,Min Length,Max Length,Required ?,Loopback ?,Barcodes\n"
        "\"two\nlines\",Text,,,,,\n"
        "\n"
        "Caf\xC3\xA9,\"say \"\"x\"\"\",1,2,Y,N,0111111111111111\n\n");
    ASSERT_FALSE(csv.error) << describeReadError(*csv.error);
    ASSERT_EQ(csv.rows.size(), 2u);
    EXPECT_EQ(csv.rows[0].FieldName, "two\nlines");
    EXPECT_EQ(csv.rows[1], (FieldDefinition{"Caf\xE9", "say \"x\"", "1", "2", "Y", "N", "0111111111111111"}));
}

struct BadText {
    const char* text;
    std::size_t line;
    std::size_t column;
    const char* says;
};

TEST(RowTextCodec, JsonErrorsSayWhere) {
    const BadText cases[] = {
        {"", 1, 1, "JSON array"},
        {"{}", 1, 1, "JSON array"},
        {"[[\"a\",\"b\"]]", 1, 2, "this one has 2"},
        {"[\n  [\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",\"7\",\"8\"]]", 2, 32, "more"},
        {"[[\"1\",2,\"3\",\"4\",\"5\",\"6\",\"7\"]]", 1, 7, "double quotes"},
        {"[[\"a\tb\"]]", 1, 5, "control character"},
        {"[[\"\\q\"]]", 1, 4, "unknown escape"},
        {"[[\"\\ud800x\"]]", 1, 4, "second half"},
        {"[[\"open]]", 1, 10, "no closing"},
        {"[] []", 1, 4, "nothing may follow"},
        {"[[\"caf\xE9\"]]", 1, 7, "not UTF-8"},
    };
    for (const BadText& c : cases) {
        const RowsReadResult r = parseRowsJson(c.text);
        ASSERT_TRUE(r.error) << c.text;
        EXPECT_EQ(r.error->line, c.line) << c.text;
        EXPECT_EQ(r.error->column, c.column) << c.text;
        EXPECT_NE(r.error->what.find(c.says), std::string::npos) << c.text << " -> " << r.error->what;
        EXPECT_TRUE(r.rows.empty());
    }
}

TEST(RowTextCodec, CsvErrorsSayWhere) {
    const std::string header = "Field Name,Type,Min Length,Max Length,Required ?,Loopback ?,Barcodes\r\n";
    const struct {
        std::string text;
        std::size_t line;
        std::size_t column;
        const char* says;
    } cases[] = {
        {"", 1, 1, "header line is missing"},
        {"Name;Type\r\n", 1, 1, "column captions"},
        {header + "a,b,c\r\n", 2, 1, "this one has 3"},
        {header + "a,b,c,d,e,f,g,h\r\n", 2, 1, "this one has 8"},
        {header + "\"a\"x,b,c,d,e,f,g\r\n", 2, 4, "closing double quote"},
        {header + "a\"b,b,c,d,e,f,g\r\n", 2, 2, "whole field quoted"},
        {header + "\"a,b,c,d,e,f,g\r\n", 2, 1, "no closing"},
    };
    for (const auto& c : cases) {
        const RowsReadResult r = parseRowsCsv(c.text);
        ASSERT_TRUE(r.error) << c.text;
        EXPECT_EQ(r.error->line, c.line) << c.text;
        EXPECT_EQ(r.error->column, c.column) << c.text;
        EXPECT_NE(r.error->what.find(c.says), std::string::npos) << c.text << " -> " << r.error->what;
    }
}

}  // namespace
}  // namespace formwell
