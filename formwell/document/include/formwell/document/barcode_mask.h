// A field's barcode mask: 16 characters '0'/'1'. Position 1 is reserved and always written '0';
// positions 2 to 16 switch one symbology each on the terminal's scanner.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "formwell/common/user_interaction.h"

namespace formwell {

inline constexpr int kBarcodeMaskLength = 16;
inline constexpr int kSymbologyCount = 15;

struct Symbology {
    int position;                   // 2..16, counted from 1
    std::string_view checkBoxName;  // object name of its check box
    std::string_view caption;
};

// In mask order, which is also the order of the check boxes, top to bottom.
inline constexpr std::array<Symbology, kSymbologyCount> kSymbologies = {{
    {2, "CheckEanUpc", "EAN / UPC"},
    {3, "CheckCode39", "Code 39"},
    {4, "CheckCodabar", "Codabar / NW7"},
    {5, "CheckIndustrial2of5", "Industrial 2 of 5"},
    {6, "CheckInterleaved2of5", "Interleaved 2 of 5"},
    {7, "CheckSCode", "S Code"},
    {8, "CheckMatrix2of5", "Matrix 2 of 5"},
    {9, "CheckIATA", "IATA"},
    {10, "CheckCode93", "Code93"},
    {11, "CheckCode128", "Code 128"},
    {12, "CheckMSIPlessey", "MSI / Plessey"},
    {13, "CheckTelepen", "Telepen"},
    {14, "CheckUKPlessey", "UK / Plessey"},
    {15, "CheckLaetus", "Laetus"},
    {16, "CheckChinesePost", "Chinese Post"},
}};

using SymbologyChecks = std::array<bool, kSymbologyCount>;

// Which boxes start checked. The mask may come from typed grid text or a file: only a '1' checks a
// box; any other character, or a position past the end of a short mask, leaves it unchecked.
SymbologyChecks checkedFromMask(std::string_view mask);

// The mask for the checked boxes, '0' at the reserved position; nullopt when none is checked.
std::optional<std::string> maskFromChecked(const SymbologyChecks& checked);

inline constexpr std::string_view kNoBarcodeTitle = "Error barcode";
inline constexpr std::string_view kNoBarcodeText = "Need to check at least\r\none Barcode type";

// Stop-icon box shown when OK is pressed with no box checked.
Message noBarcodeMessage();

}  // namespace formwell
