// Numbers typed into the length cells: the general number test and the conversion to a 16-bit whole
// number with halves rounded to even.
#include "formwell/document/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "formwell/document/grid_rules.h"

namespace formwell {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trimNumberBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

double roundHalfToEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5) {
        return below;
    }
    if (fraction > 0.5) {
        return below + 1.0;
    }
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

}  // namespace

bool isNumeric(std::string_view text) {
    std::string_view s = trimNumberBlanks(text);
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        std::size_t exponentDigits = 0;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    return i == s.size();
}

std::optional<double> roundedNumber(std::string_view text) {
    if (!isNumeric(text)) {
        return std::nullopt;
    }
    std::string_view s = trimNumberBlanks(text);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);  // from_chars takes no plus sign
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Beyond a double: with a negative exponent the value is too small to be anything but zero;
        // otherwise it is too large, on the side of its sign.
        const std::size_t exponent = s.find_first_of("eE");
        if (exponent != std::string_view::npos && s[exponent + 1] == '-') {
            return 0.0;
        }
        return s.front() == '-' ? -std::numeric_limits<double>::infinity()
                                : std::numeric_limits<double>::infinity();
    }
    if (error != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return roundHalfToEven(value);
}

std::optional<std::int16_t> toWholeNumber16(std::string_view text) {
    const std::optional<double> value = roundedNumber(text);
    if (!value || *value < std::numeric_limits<std::int16_t>::min() ||
        *value > std::numeric_limits<std::int16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(*value);
}

int saturatedWholeNumber16(std::string_view text, int fallback) {
    const std::optional<double> value = roundedNumber(text);
    if (!value) {
        return fallback;
    }
    if (*value <= std::numeric_limits<std::int16_t>::min()) {
        return std::numeric_limits<std::int16_t>::min();
    }
    if (*value >= std::numeric_limits<std::int16_t>::max()) {
        return std::numeric_limits<std::int16_t>::max();
    }
    return static_cast<int>(*value);
}

}  // namespace formwell
