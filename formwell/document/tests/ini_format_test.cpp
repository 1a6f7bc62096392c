#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formwell/document/ini_file.h"
#include "ini_line_splitter.h"

namespace formwell {
namespace {

const std::string kDefaultMask(kDefaultBarcodeMask);

struct RecordCase {
    const char* what;
    FieldDefinition row;
    std::string line;  // without CR LF
};

class IniRecordFormat : public ::testing::TestWithParam<RecordCase> {};

TEST_P(IniRecordFormat, WritesFixedColumns) {
    const RecordCase& c = GetParam();
    EXPECT_EQ(formatIniRecord(c.row), c.line + "\r\n") << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRecordFormat,
    ::testing::Values(RecordCase{"max length before the flags, min length after them",
                                 {"QTY", "Number", "1", "5", "Y", "N", ""},
                                 "QTY           Number5 YN1 0111111111111111"},
                      RecordCase{"empty min length is two blanks",
                                 {"A", "Text", "", "12", "N", "N", "0100000000000000"},
                                 "A             Text  12NN  0100000000000000"},
                      RecordCase{"all empty", {}, std::string(26, ' ') + "0111111111111111"},
                      RecordCase{"blank mask is kept as blanks",
                                 {"A", "", "", "", "", "", std::string(16, ' ')},
                                 "A" + std::string(41, ' ')},
                      RecordCase{"case and partial type kept",
                                 {"name", "Numb", "3", "4", "y", "y", ""},
                                 "name          Numb  4 yy3 0111111111111111"},
                      RecordCase{"overlong values push the rest right",
                                 {"FIFTEEN_CHARS__", "Numbers", "123", "4", "Y", "N", "01"},
                                 "FIFTEEN_CHARS__Numbers4 YN12301" + std::string(14, ' ')}));

struct LineCase {
    const char* what;
    std::string line;
    FieldDefinition row;
};

class IniLineParse : public ::testing::TestWithParam<LineCase> {};

TEST_P(IniLineParse, CutsTrimsAndDefaults) {
    const LineCase& c = GetParam();
    EXPECT_EQ(parseIniLine(c.line), c.row) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniLineParse,
    ::testing::Values(
        LineCase{"full record keeps padding of stored cuts",
                 "QTY           Number5 YN1 0111111111111111",
                 {"QTY           ", "Number", "1 ", "5 ", "Y", "N", "0111111111111111"}},
        LineCase{"empty line", "", {"", "", "1", "", "", "", kDefaultMask}},
        LineCase{"24 characters: no min length, no mask",
                 "ID            Text  9 NY",
                 {"ID            ", "Text  ", "1", "9 ", "N", "Y", kDefaultMask}},
        LineCase{"26 characters: no mask",
                 "ID            Text  9 NY3 ",
                 {"ID            ", "Text  ", "3 ", "9 ", "N", "Y", kDefaultMask}},
        LineCase{"cut through the type",
                 "ID            Te",
                 {"ID            ", "Te", "1", "", "", "", kDefaultMask}},
        LineCase{"15-character mask",
                 "ID            Text  9 NY3 011111111111111",
                 {"ID            ", "Text  ", "3 ", "9 ", "N", "Y", kDefaultMask}},
        LineCase{"15-character mask and a blank",
                 "ID            Text  9 NY3 011111111111111 ",
                 {"ID            ", "Text  ", "3 ", "9 ", "N", "Y", kDefaultMask}},
        LineCase{"non-binary 16-character mask kept",
                 "ID            Text  9 NY3 ab2?xyz..1111111",
                 {"ID            ", "Text  ", "3 ", "9 ", "N", "Y", "ab2?xyz..1111111"}},
        LineCase{"blank mask",
                 "ID            Text  9 NY3                 ",
                 {"ID            ", "Text  ", "3 ", "9 ", "N", "Y", kDefaultMask}},
        LineCase{"characters after 42 ignored",
                 "ID            Text  9 NY3 0100000000000000EXTRA",
                 {"ID            ", "Text  ", "3 ", "9 ", "N", "Y", "0100000000000000"}},
        LineCase{"leading blanks kept in a cut; a 14-character mask inside blanks is short",
                 std::string("  X           ") + "Date  " + " 5" + " " + " " + "1 " + "  01000000000000  ",
                 {"  X           ", "Date  ", "1 ", " 5", "", "", kDefaultMask}},
        LineCase{"tab is a value, not a blank",
                 std::string("\t             ") + "\t     " + "\t " + "Y" + " " + "\t " + "0100000000000000",
                 {"\t             ", "\t     ", "\t ", "\t ", "Y", "", "0100000000000000"}}));

TEST(IniLineSplit, LineEndings) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(splitIniLines(""), Lines{});
    EXPECT_EQ(splitIniLines("a"), Lines{"a"});
    EXPECT_EQ(splitIniLines("a\r\n"), Lines{"a"});
    EXPECT_EQ(splitIniLines("a\r\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(splitIniLines("a\rb\nc\r\n"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(splitIniLines("\r\n"), Lines{""});
    EXPECT_EQ(splitIniLines("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(splitIniLines("a\r\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(splitIniLines("a\n\r"), (Lines{"a", ""}));
    EXPECT_EQ(splitIniLines("a\n\n"), (Lines{"a", ""}));
    EXPECT_EQ(splitIniLines(std::string("a\0b", 3)), Lines{std::string("a\0b", 3)});
}

// However the stream is cut into chunks (a CR LF torn apart, a line in three pieces), the lines are
// those of the whole text, each cut to the kept length.
TEST(IniLineSplit, EveryCutOfTheStreamGivesTheSameLines) {
    const std::string text = "one\r\ntwo\rthree\n\r\n\nlonger line\r\r\nlast";
    for (const std::size_t kept : {std::size_t{3}, std::size_t{100}}) {
        const auto split = [kept](const std::vector<std::string_view>& chunks) {
            IniLineSplitter splitter(kept);
            std::vector<std::string> lines;
            const auto keep = [&lines](std::string_view line) {
                lines.emplace_back(line);
                return true;
            };
            for (const std::string_view chunk : chunks) {
                splitter.feed(chunk, keep);
            }
            splitter.finish(keep);
            return lines;
        };
        const std::vector<std::string> whole = split({text});
        const auto cut = [kept](std::string line) { return line.substr(0, kept); };
        ASSERT_EQ(whole, (std::vector<std::string>{"one", cut("two"), cut("three"), "", "",
                                                   cut("longer line"), "", cut("last")}));
        const std::string_view all(text);
        for (std::size_t i = 0; i <= all.size(); ++i) {
            for (std::size_t j = i; j <= all.size(); ++j) {
                EXPECT_EQ(split({all.substr(0, i), all.substr(i, j - i), all.substr(j)}), whole)
                    << "cut at " << i << " and " << j << ", kept " << kept;
            }
        }
    }
}

// Endings found a block of characters at a time: lines of every length from 0 to 130 put CRs and
// LFs at every place of a block, at its edges and across them.
TEST(IniLineSplit, EndingsAtEveryPlaceOfLongText) {
    std::vector<std::string> lines;
    std::string text;
    const std::string_view endings[] = {"\r\n", "\n", "\r"};
    for (std::size_t length = 0; length <= 130; ++length) {
        lines.emplace_back(length, static_cast<char>('a' + length % 26));
        // An empty line ends with CR LF, so that it never turns a CR before it into a CR LF.
        text += lines.back() + std::string(length == 0 ? endings[0] : endings[length % 3]);
    }
    EXPECT_EQ(splitIniLines(text), lines);
    EXPECT_EQ(splitIniLines(text + "tail"), [&] {
        auto withTail = lines;
        withTail.emplace_back("tail");
        return withTail;
    }());
}

TEST(IniDocument, RoundTripReproducesBytesAndRows) {
    const std::vector<FieldDefinition> rows = {
        {"QTY", "Number", "1", "5", "Y", "N", ""},
        {"DESCRIPTION", "Text", "", "14", "n", "y", "0000001001000000"},
        {},
        {"LOT  ", "Date", "2", "2", "Y", "N", std::string(16, ' ')},
    };
    const std::string bytes = formatIniDocument(rows);
    ASSERT_EQ(bytes.size(), rows.size() * 44);

    const IniReadResult read = parseIniDocument(bytes);
    ASSERT_FALSE(read.error);
    ASSERT_EQ(read.rows.size(), rows.size());
    // Read-back values carry their padding; empty Min Length and empty or blank masks get defaults.
    EXPECT_EQ(read.rows[0],
              (FieldDefinition{"QTY           ", "Number", "1 ", "5 ", "Y", "N", kDefaultMask}));
    EXPECT_EQ(read.rows[1],
              (FieldDefinition{"DESCRIPTION   ", "Text  ", "1", "14", "n", "y", "0000001001000000"}));
    EXPECT_EQ(read.rows[2], (FieldDefinition{"", "", "1", "", "", "", kDefaultMask}));
    EXPECT_EQ(read.rows[3].FieldName, "LOT           ");
    EXPECT_EQ(read.rows[3].Barcodes, kDefaultMask);

    // A second save of what was read is byte-identical except for the filled-in defaults.
    const std::string again = formatIniDocument(read.rows);
    EXPECT_EQ(again.substr(0, 44), bytes.substr(0, 44));
    EXPECT_EQ(again.substr(44 + 24, 2), "1 ");
    EXPECT_EQ(formatIniDocument(parseIniDocument(again).rows), again);
}

}  // namespace
}  // namespace formwell
