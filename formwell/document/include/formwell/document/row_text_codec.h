// The field document as rows of cell texts in JSON or CSV, for version control and spreadsheets.
// Cells hold the grid's single-byte text; the files carry it as UTF-8, each byte as the character
// of the same number (Latin-1), so a document goes out and comes back byte for byte.
//
//   JSON: an array of rows, each an array of the seven cell texts in grid column order:
//         [["QTY           ","Number","1 ","5 ","Y","N","0111111111111111"]]
//   CSV:  a header line with the grid's column captions, then one line per row; fields that need
//         it are quoted ("" inside quotes is one "), lines end in CR LF.
//
// The readers are pure functions over text: they never fail on bad input but say where it went wrong.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formwell/document/field_definition.h"

namespace formwell {

// A cell whose text held characters beyond the single-byte set: each of them became '?', as the grid
// turns them into '?' when they are typed or pasted.
struct ReplacedCell {
    std::size_t row = 0;  // counted from 0
    int column = 0;
};

struct RowsReadError {
    std::size_t line = 0;    // counted from 1
    std::size_t column = 0;  // character on that line, counted from 1
    std::string what;        // "a text in double quotes expected"
};

struct RowsReadResult {
    std::vector<FieldDefinition> rows;
    std::vector<ReplacedCell> replaced;
    std::optional<RowsReadError> error;  // set: `rows` is not to be used
};

std::string formatRowsJson(const std::vector<FieldDefinition>& rows);
RowsReadResult parseRowsJson(std::string_view text);

std::string formatRowsCsv(const std::vector<FieldDefinition>& rows);
RowsReadResult parseRowsCsv(std::string_view text);

// A cell longer than its column of the INI record. Written whole, it would shift every column after it,
// and the terminal, which reads the record by position, would read the rest of the field wrongly.
struct OverlongCell {
    std::size_t row = 0;  // counted from 0
    int column = 0;
    std::size_t length = 0;  // characters of the cell
    std::size_t width = 0;   // characters its column holds
};

// In row order, columns left to right. An empty Barcodes cell (written as the default mask) fits.
std::vector<OverlongCell> overlongCells(const std::vector<FieldDefinition>& rows);

// Cuts each cell to its column's width, so that every record keeps its fixed layout.
void cutToColumns(std::vector<FieldDefinition>& rows);

// "line 3, character 14: a text in double quotes expected".
std::string describeReadError(const RowsReadError& error);

// Single-byte cell text to UTF-8: each byte as the character of the same number.
std::string latin1ToUtf8(std::string_view bytes);

// UTF-8 back to single-byte text. A character above U+00FF becomes '?' and sets `replaced`. nullopt
// with the byte offset of the first malformed sequence in `badAt` when the text is not UTF-8.
std::optional<std::string> utf8ToLatin1(std::string_view text, bool& replaced, std::size_t& badAt);

}  // namespace formwell
