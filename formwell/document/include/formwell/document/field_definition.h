// One field of a document: the data-entry field the terminal application asks for. Every value is
// held as text, exactly as typed in the grid or as cut out of the INI file (trailing spaces kept),
// because the INI writer puts the text back byte for byte.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace formwell {

// The terminal's reader and our row counters are 16-bit signed.
inline constexpr int kMaxFields = 32767;

// All 15 symbologies on, the reserved first position off.
inline constexpr std::string_view kDefaultBarcodeMask = "0111111111111111";

struct FieldDefinition {
    std::string FieldName;
    std::string FieldType;
    std::string MinFieldLength;
    std::string FieldLength;
    std::string Required;
    std::string Loopback;
    std::string Barcodes;

    bool operator==(const FieldDefinition&) const = default;
};

// Grid columns in display order (Min Length is shown before Max Length, unlike the file layout).
enum class FieldColumn : int {
    FieldName = 0,
    FieldType = 1,
    MinFieldLength = 2,
    FieldLength = 3,
    Required = 4,
    Loopback = 5,
    Barcodes = 6,
};
inline constexpr int kFieldColumnCount = 7;

struct FieldColumnInfo {
    std::string_view caption;
    int inputLimit;   // characters the grid accepts; the Barcodes cell is set through its button
    int widthWeight;  // proportional width: the seven weights together fill the grid's width
};

inline constexpr std::array<FieldColumnInfo, kFieldColumnCount> kFieldColumns = {{
    {"Field Name", 14, 2725},
    {"Type", 6, 1931},
    {"Min Length", 2, 2143},
    {"Max Length", 2, 2196},
    {"Required ?", 1, 1773},
    {"Loopback ?", 1, 1931},
    {"Barcodes", 16, 1931},
}};

constexpr bool isFieldColumn(int column) {
    return column >= 0 && column < kFieldColumnCount;
}

std::string& cell(FieldDefinition& row, FieldColumn column);
const std::string& cell(const FieldDefinition& row, FieldColumn column);

// By grid column index; an index outside 0..6 reads as empty text and is not written (returns false).
std::string cellText(const FieldDefinition& row, int column);
bool setCellText(FieldDefinition& row, int column, std::string_view text);

}  // namespace formwell
