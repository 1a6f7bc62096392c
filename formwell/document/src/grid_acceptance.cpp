#include "formwell/document/grid_acceptance.h"

#include <cstdio>
#include <optional>

#include "formwell/document/barcode_mask.h"
#include "formwell/document/grid_rules.h"
#include "formwell/document/number_text.h"
#include "formwell/document/row_text_codec.h"

namespace formwell {

namespace {

constexpr int kMinColumn = static_cast<int>(FieldColumn::MinFieldLength);
constexpr int kMaxColumn = static_cast<int>(FieldColumn::FieldLength);
constexpr int kBarcodesColumn = static_cast<int>(FieldColumn::Barcodes);

std::optional<std::string> controlCharacter(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", byte);
            std::string reason =
                std::string("holds the control character ") + code + ", which cannot be typed into the grid";
            if (c == '\r' || c == '\n') {
                reason += "; the line break splits the record, and the file reads back as more rows";
            }
            return reason;
        }
    }
    return std::nullopt;
}

// The grid takes a length only as a number of at most 14; an empty cell is a length never entered.
std::optional<std::string> lengthRefusal(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    if (!isNumeric(text)) {
        return std::string(kNotNumericText);
    }
    const std::optional<std::int16_t> value = toWholeNumber16(text);
    if (!value || *value > kMaxLengthValue) {
        return std::string(kTooLongText);
    }
    return std::nullopt;
}

std::optional<std::string> maskRefusal(const std::string& mask) {
    if (mask.empty()) {
        return std::nullopt;  // written as the default mask
    }
    bool onlyBits = mask.size() == static_cast<std::size_t>(kBarcodeMaskLength);
    for (const char c : mask) {
        onlyBits = onlyBits && (c == '0' || c == '1');
    }
    if (!onlyBits) {
        return std::string("is not a mask of 16 characters 0 and 1, the only text the Barcodes dialog sets");
    }
    if (mask[0] != '0') {
        return std::string(
            "has 1 in the reserved first position, which the Barcodes dialog always sets to 0");
    }
    if (mask.find('1') == std::string::npos) {
        return std::string("switches on no barcode type; the Barcodes dialog needs at least one");
    }
    return std::nullopt;
}

}  // namespace

std::vector<CellWarning> cellsTheGridWouldRefuse(const std::vector<FieldDefinition>& rows) {
    std::vector<CellWarning> warnings;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const FieldDefinition& row = rows[r];
        auto warn = [&](int column, std::string reason) {
            warnings.push_back(CellWarning{r, column, std::move(reason)});
        };
        for (int column = 0; column < kFieldColumnCount; ++column) {
            const std::string& text = cellText(row, column);
            if (std::optional<std::string> control = controlCharacter(text)) {
                warn(column, *control);
            }
            const int limit = kFieldColumns[static_cast<std::size_t>(column)].inputLimit;
            if (column != kBarcodesColumn && text.size() > static_cast<std::size_t>(limit)) {
                warn(column, "is longer than the " + std::to_string(limit) +
                                 " characters the grid takes; it is written whole and shifts the rest of "
                                 "the record");
            }
            if (column == kMinColumn || column == kMaxColumn) {
                if (std::optional<std::string> refusal = lengthRefusal(text)) {
                    warn(column, *refusal);
                }
            }
        }
        // Editing keeps Min at or below Max: entering one moves the other along.
        if (!lengthRefusal(row.MinFieldLength) && !lengthRefusal(row.FieldLength) &&
            !row.MinFieldLength.empty() && !row.FieldLength.empty() &&
            *toWholeNumber16(row.MinFieldLength) > *toWholeNumber16(row.FieldLength)) {
            warn(kMinColumn, "is above Max Length \"" + row.FieldLength +
                                 "\"; the grid keeps Min Length at or below Max Length");
        }
        if (std::optional<std::string> refusal = maskRefusal(row.Barcodes)) {
            warn(kBarcodesColumn, *refusal);
        }
    }
    return warnings;
}

std::string describeCellWarning(const CellWarning& warning, const std::vector<FieldDefinition>& rows) {
    const std::string_view caption = kFieldColumns[static_cast<std::size_t>(warning.column)].caption;
    std::string text = "row " + std::to_string(warning.row + 1) + ", " + std::string(caption);
    if (warning.row < rows.size()) {
        std::string shown;
        for (const char c : cellText(rows[warning.row], warning.column)) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F) {
                char code[8];
                std::snprintf(code, sizeof code, "\\x%02X", byte);
                shown += code;
            } else {
                shown.push_back(c);
            }
        }
        text += " \"" + latin1ToUtf8(shown) + "\"";
    }
    return text + ": " + warning.reason;
}

}  // namespace formwell
