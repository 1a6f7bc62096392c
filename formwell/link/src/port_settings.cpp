// The mbx.dat line: the columns by position and their conversion to the numbers a transfer opens the
// port with. Pure functions over text, so a hostile file can be fuzzed from memory.
#include "formwell/link/port_settings.h"

#include <cmath>
#include <limits>

#include "formwell/document/number_text.h"
#include "formwell/document/pad_right.h"

namespace formwell::link {

namespace {

struct Column {
    std::size_t first;  // counted from 1
    std::size_t width;
};
constexpr Column kPortColumn{1, 5};
constexpr Column kPortDigitColumn{4, 1};
constexpr Column kBaudColumn{6, 6};
constexpr Column kDataBitsColumn{12, 1};
constexpr Column kParityColumn{13, 1};
constexpr Column kStopBitsColumn{14, 1};
constexpr Column kConnectorColumn{15, 1};

std::string_view lineOnly(std::string_view line) {
    const std::size_t end = line.find_first_of("\r\n");
    return end == std::string_view::npos ? line : line.substr(0, end);
}

std::string_view column(std::string_view line, Column c) {
    if (line.size() < c.first) {
        return {};
    }
    return line.substr(c.first - 1, c.width);
}

// The conventional description, and which value of which file it was about.
AppError settingsError(int number, const std::string& what) {
    return AppError{number, describeError(number) + ": " + what};
}

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// A column converted to a whole number: numeric text (blanks around it allowed) rounded half to even.
std::int32_t wholeNumber(std::string_view text, const char* what) {
    const std::optional<double> value = roundedNumber(text);
    if (!value) {
        throw settingsError(
            errnum::kTypeMismatch,
            std::string("the ") + what + " in mbx.dat is not a number (" + inQuotes(text) + ")");
    }
    if (!std::isfinite(*value) || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max()) {
        throw settingsError(errnum::kOverflow,
                            std::string("the ") + what + " in mbx.dat is too large (" + inQuotes(text) + ")");
    }
    return static_cast<std::int32_t>(*value);
}

bool equalsLetter(std::string_view text, char upper) {
    return text.size() == 1 && (text[0] == upper || text[0] == static_cast<char>(upper - 'A' + 'a'));
}

}  // namespace

std::string formatPortSettingsLine(const PortSettingsText& text) {
    return padRight(text.port, 5) + padRight(text.baud, 6) + padRight(text.dataBits, 1) +
           padRight(text.parity, 1) + padRight(text.stopBits, 1) + padRight(text.connector, 1);
}

PortSettingsText parsePortSettingsLine(std::string_view line) {
    const std::string_view l = lineOnly(line);
    return PortSettingsText{
        std::string(column(l, kPortColumn)),     std::string(column(l, kBaudColumn)),
        std::string(column(l, kDataBitsColumn)), std::string(column(l, kParityColumn)),
        std::string(column(l, kStopBitsColumn)), std::string(column(l, kConnectorColumn))};
}

ParityCode ParityCode::fromColumn(std::string_view column) {
    ParityCode parity;
    parity.text_ = std::string(column);
    // Tested in this order; the letter's case does not matter.
    if (equalsLetter(column, 'E')) {
        parity.code_ = 3;
    } else if (equalsLetter(column, 'O')) {
        parity.code_ = 2;
    } else if (equalsLetter(column, 'N')) {
        parity.code_ = 1;
    }
    return parity;
}

std::int32_t ParityCode::number() const {
    if (!code_) {
        throw settingsError(errnum::kTypeMismatch,
                            "the parity in mbx.dat is not N, O or E (" + inQuotes(text_) + ")");
    }
    return *code_;
}

PortSettings portSettingsFromLine(std::string_view line) {
    const std::string_view l = lineOnly(line);
    if (l.empty()) {
        throw settingsError(errnum::kTypeMismatch, "mbx.dat holds no settings");
    }
    PortSettings settings;
    // The port is the digit of "ComN:"; anything else in its place is port 0, which opens nothing.
    const std::string_view digit = column(l, kPortDigitColumn);
    settings.PortNumber = (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') ? digit[0] - '0' : 0;
    settings.BaudRate = wholeNumber(column(l, kBaudColumn), "baud rate");
    settings.DataBits = wholeNumber(column(l, kDataBitsColumn), "data bits");
    settings.Parity = ParityCode::fromColumn(column(l, kParityColumn));
    settings.StopBits = wholeNumber(column(l, kStopBitsColumn), "stop bits");
    settings.FlowMode = kFlowModeNone;
    return settings;
}

std::string startupFile(const std::string& startupDirectory, std::string_view name) {
    std::string path = startupDirectory;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') {
        path += static_cast<char>(std::filesystem::path::preferred_separator);
    }
    path += name;
    return path;
}

}  // namespace formwell::link
