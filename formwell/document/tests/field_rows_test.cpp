#include "formwell/document/field_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formwell/document/ini_file.h"

namespace formwell {
namespace {

FieldRows readRows(std::string_view text) {
    IniDocumentParser parser;
    parser.feed(text);
    IniRowsResult read = parser.finish();
    EXPECT_FALSE(read.error);
    return std::move(read.rows);
}

std::vector<FieldDefinition> parsedLines(std::string_view text) {
    std::vector<FieldDefinition> rows;
    for (const std::string& line : splitIniLines(text)) {
        rows.push_back(parseIniLine(line));
    }
    return rows;
}

// Lines in the saved form and lines the save rewrites (two lines that fill a record's place before a
// CR LF, short, blank Min Length, incomplete mask, longer than a record, a tab in a value).
const std::string kMixedDocument =
    "QTY           Number5 YN1 0111111111111111\r\n"
    "ITEM          Text  14NN1 0111111111111111\r\n"
    "SPLIT         Text  9 NN2 \n111111111111111\r\n"
    "SHORT\r\n"
    "LOT           Date  2 YN  0111111111111111\r\n"
    "MASK          Text  9 NN2  111111111111111\r\n"
    "WIDE          Text  9 NN2 0111111111111111 and a comment\n"
    "\tTAB          Text  9 NN2 0000000000000001\r";

TEST(FieldRows, ReadRowsAreTheirLinesValuesAndSaveAsTheValuesGive) {
    const FieldRows rows = readRows(kMixedDocument);
    const std::vector<FieldDefinition> expected = parsedLines(kMixedDocument);
    ASSERT_EQ(rows.toVector(), expected);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (int column = 0; column < kFieldColumnCount; ++column) {
            EXPECT_EQ(rows.cellText(i, column), cellText(expected[i], column)) << i << ", " << column;
        }
    }
    EXPECT_EQ(rows.cellText(0, kFieldColumnCount), "");
    // Lines already in the saved form are copied, the others written from their values: the same
    // bytes as a save of the values.
    const std::string saved = formatIniDocument(rows);
    EXPECT_EQ(saved, formatIniDocument(FieldRows(expected)));
    EXPECT_EQ(saved.substr(0, 44), "QTY           Number5 YN1 0111111111111111\r\n");
}

TEST(FieldRows, ChangedRowsAreHeldApartAndCopiesAreIndependent) {
    FieldRows rows = readRows(kMixedDocument);
    const FieldRows before = rows;
    FieldDefinition row = rows.row(0);
    row.FieldName = "COUNT";
    rows.set(0, row);
    rows.erase(4, 2);
    rows.append({"NEW", "Text", "1", "4", "N", "N", ""});
    rows.set(7, {"NEWER", "Text", "1", "4", "N", "N", ""});

    std::vector<FieldDefinition> expected = parsedLines(kMixedDocument);
    expected[0].FieldName = "COUNT";
    expected.erase(expected.begin() + 4, expected.begin() + 6);
    expected.push_back({"NEWER", "Text", "1", "4", "N", "N", ""});
    EXPECT_EQ(rows.toVector(), expected);
    EXPECT_FALSE(rows.unchangedLine(0));
    EXPECT_EQ(rows.unchangedLine(4), "MASK          Text  9 NN2  111111111111111");
    EXPECT_EQ(formatIniDocument(rows), formatIniDocument(FieldRows(expected)));
    EXPECT_EQ(before.toVector(), parsedLines(kMixedDocument));
    EXPECT_THROW(rows.erase(7, 2), std::out_of_range);
}

// However a file arrives in pieces (a CR LF torn apart, a line longer than a record spread over
// three reads), the rows are those of its lines.
TEST(FieldRows, EveryCutOfTheInputGivesTheSameRows) {
    const std::string_view all(kMixedDocument);
    const std::vector<FieldDefinition> expected = parsedLines(all);
    for (std::size_t i = 0; i <= all.size(); ++i) {
        for (std::size_t j = i; j <= all.size(); ++j) {
            IniDocumentParser parser;
            parser.feed(all.substr(0, i));
            parser.feed(all.substr(i, j - i));
            parser.feed(all.substr(j));
            ASSERT_EQ(parser.finish().rows.toVector(), expected) << "cut at " << i << " and " << j;
        }
    }
}

std::vector<FieldDefinition> withLoopbacks(std::vector<std::string> flags) {
    std::vector<FieldDefinition> rows(flags.size());
    for (std::size_t i = 0; i < flags.size(); ++i) {
        rows[i].Loopback = flags[i];
    }
    return rows;
}

std::vector<std::string> loopbacksOf(const FieldRows& rows) {
    std::vector<std::string> flags;
    for (const FieldDefinition& row : rows.toVector()) {
        flags.push_back(row.Loopback);
    }
    return flags;
}

TEST(SingleLoopback, ChoosingYClearsEveryOtherY) {
    FieldRows rows = withLoopbacks({"Y", "N", "Y", "", "y", "x"});
    EXPECT_EQ(applySingleLoopback(rows, 2), 2);
    EXPECT_EQ(loopbacksOf(rows), (std::vector<std::string>{"N", "N", "Y", "", "N", "x"}));

    // From the grid's new-row line every stored row is another row; rows still as read count too.
    rows = readRows("A                     NY\r\nB                     Ny\r\n");
    EXPECT_EQ(applySingleLoopback(rows, 2), 2);
    EXPECT_EQ(loopbacksOf(rows), (std::vector<std::string>{"N", "N"}));
}

TEST(CountMatches, IgnoresCaseAndNeedsTheWholeText) {
    const FieldRows rows = withLoopbacks({"Y", "y", "N", "", "YY", " Y"});
    EXPECT_EQ(countMatches(rows, 5, "Y"), 2);
    EXPECT_EQ(countMatches(rows, 5, "n"), 1);
    EXPECT_EQ(countMatches(rows, 5, ""), 1);
    EXPECT_EQ(countMatches(rows, 9, "Y"), 0);
    EXPECT_EQ(countMatches(readRows("A                     NY\r\n"), 5, "y"), 1);
    EXPECT_EQ(countMatches({}, 5, "Y"), 0);
}

}  // namespace
}  // namespace formwell
