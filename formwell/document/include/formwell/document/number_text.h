// Numbers held as text: the grid's length cells and the port settings' columns.
#pragma once

#include <optional>
#include <string_view>

namespace formwell {

// The value of a numeric text rounded half to even (infinite when it overflows a double);
// nullopt when the text is not numeric.
std::optional<double> roundedNumber(std::string_view text);

// A length read for comparison: `fallback` when not numeric, otherwise the rounded value held to
// the 16-bit range.
int saturatedWholeNumber16(std::string_view text, int fallback);

}  // namespace formwell
