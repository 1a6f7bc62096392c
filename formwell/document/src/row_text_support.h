// What the JSON and CSV row readers share: positions for error messages, the UTF-8 check made before
// parsing, and turning a row of UTF-8 cell texts into a field row.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "formwell/document/row_text_codec.h"

namespace formwell::rowtext {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Line and character (both from 1) of a byte offset; characters, not bytes, are counted on the line.
RowsReadError errorAt(std::string_view text, std::size_t offset, std::string what);

// The text without a leading byte-order mark, or an error naming the first byte that is not UTF-8.
std::optional<RowsReadError> checkUtf8(std::string_view text);
std::string_view withoutBom(std::string_view text);

// Adds one row of seven UTF-8 cell texts to `result`, noting cells that lost characters.
void addRow(RowsReadResult& result, const std::vector<std::string>& cells);

void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace formwell::rowtext
