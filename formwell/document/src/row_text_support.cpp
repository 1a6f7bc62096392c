#include "row_text_support.h"

#include <algorithm>

namespace formwell {

namespace {

// Length of the UTF-8 sequence starting at text[i], or 0 when it is malformed (overlong forms,
// surrogates and values beyond U+10FFFF included).
std::size_t sequenceLength(std::string_view text, std::size_t i, char32_t& codePoint) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t lowest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    codePoint = value;
    return length;
}

}  // namespace

std::string latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        rowtext::appendUtf8(text, static_cast<unsigned char>(c));
    }
    return text;
}

std::optional<std::string> utf8ToLatin1(std::string_view text, bool& replaced, std::size_t& badAt) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t codePoint = 0;
        const std::size_t length = sequenceLength(text, i, codePoint);
        if (length == 0) {
            badAt = i;
            return std::nullopt;
        }
        if (codePoint > 0xFF) {
            replaced = true;
            bytes.push_back('?');
        } else {
            bytes.push_back(static_cast<char>(codePoint));
        }
        i += length;
    }
    return bytes;
}

namespace {

// The record's columns are as wide as the grid lets a person type.
std::size_t columnWidth(int column) {
    return static_cast<std::size_t>(kFieldColumns[static_cast<std::size_t>(column)].inputLimit);
}

}  // namespace

std::vector<OverlongCell> overlongCells(const std::vector<FieldDefinition>& rows) {
    std::vector<OverlongCell> found;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (int column = 0; column < kFieldColumnCount; ++column) {
            const std::size_t length = cell(rows[r], static_cast<FieldColumn>(column)).size();
            if (length > columnWidth(column)) {
                found.push_back(OverlongCell{r, column, length, columnWidth(column)});
            }
        }
    }
    return found;
}

void cutToColumns(std::vector<FieldDefinition>& rows) {
    for (FieldDefinition& row : rows) {
        for (int column = 0; column < kFieldColumnCount; ++column) {
            std::string& text = cell(row, static_cast<FieldColumn>(column));
            if (text.size() > columnWidth(column)) {
                text.resize(columnWidth(column));
            }
        }
    }
}

std::string describeReadError(const RowsReadError& error) {
    return "line " + std::to_string(error.line) + ", character " + std::to_string(error.column) + ": " +
           error.what;
}

namespace rowtext {

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

RowsReadError errorAt(std::string_view text, std::size_t offset, std::string what) {
    RowsReadError error{1, 1, std::move(what)};
    offset = std::min(offset, text.size());
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++error.line;
            error.column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++error.column;  // continuation bytes belong to the character before them
        }
    }
    return error;
}

std::string_view withoutBom(std::string_view text) {
    return text.substr(0, kUtf8Bom.size()) == kUtf8Bom ? text.substr(kUtf8Bom.size()) : text;
}

std::optional<RowsReadError> checkUtf8(std::string_view text) {
    bool replaced = false;
    std::size_t badAt = 0;
    if (!utf8ToLatin1(text, replaced, badAt)) {
        return errorAt(text, badAt, "the file is not UTF-8 text (save it as UTF-8)");
    }
    return std::nullopt;
}

void addRow(RowsReadResult& result, const std::vector<std::string>& cells) {
    FieldDefinition row;
    for (int column = 0; column < kFieldColumnCount; ++column) {
        bool replaced = false;
        std::size_t badAt = 0;
        // Checked as a whole before parsing, so every cell decodes.
        const std::string bytes =
            utf8ToLatin1(cells[static_cast<std::size_t>(column)], replaced, badAt).value_or(std::string());
        setCellText(row, column, bytes);
        if (replaced) {
            result.replaced.push_back(ReplacedCell{result.rows.size(), column});
        }
    }
    result.rows.push_back(std::move(row));
}

}  // namespace rowtext
}  // namespace formwell
