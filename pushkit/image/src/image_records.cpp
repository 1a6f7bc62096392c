#include "image_records.h"

#include <algorithm>

namespace pushkit {

namespace {

std::optional<int> strictDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return std::nullopt;
}

// Address digits after the count field, by record type; 0 for a type S-records do not have.
std::size_t sAddressBytes(char type) {
    switch (type) {
        case '0':
        case '1':
        case '5':
        case '9':
            return 2;
        case '2':
        case '6':
        case '8':
            return 3;
        case '3':
        case '7':
            return 4;
        default:
            return 0;
    }
}

// Lower-case digits and characters that are no digits at all, as the loader's decoding sees them:
// it takes a character below 'A' from '0' and anything else from 'A', so both give wrong values.
void checkDigits(std::string_view digits, bool lowerIsWrong, bool foreignIsWrong,
                 std::vector<RecordProblem>& problems) {
    bool lower = false;
    std::optional<char> foreign;
    for (const char c : digits) {
        if (c >= 'a' && c <= 'f') {
            lower = true;
        } else if (!strictDigit(c) && !foreign) {
            foreign = c;
        }
    }
    if (lower) {
        problems.push_back({.wrongBytes = lowerIsWrong, .reason = FindingReason::LowerCaseDigits});
    }
    if (foreign) {
        problems.push_back(
            {.wrongBytes = foreignIsWrong, .reason = FindingReason::ForeignDigit, .character = *foreign});
    }
}

}  // namespace

std::optional<std::uint8_t> strictHexByte(std::string_view text, std::size_t pos) {
    if (pos + 1 >= text.size()) {
        return std::nullopt;
    }
    const std::optional<int> high = strictDigit(text[pos]);
    const std::optional<int> low = strictDigit(text[pos + 1]);
    if (!high || !low) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*high * 16 + *low);
}

std::vector<RecordProblem> checkSRecordLine(std::string_view line, bool loaderDecodes) {
    std::vector<RecordProblem> problems;
    const std::size_t addressBytes = line.size() >= 2 ? sAddressBytes(line[1]) : 0;
    checkDigits(line.substr(std::min<std::size_t>(2, line.size())), loaderDecodes, loaderDecodes, problems);
    const std::optional<std::uint8_t> count = strictHexByte(line, 2);
    if (!count) {
        problems.push_back({.wrongBytes = loaderDecodes, .reason = FindingReason::NoCountField});
        return problems;
    }
    const std::size_t have = (line.size() - 4) / 2;  // whole digit pairs after the count
    if (have < *count) {
        problems.push_back({.wrongBytes = loaderDecodes,
                            .reason = FindingReason::Truncated,
                            .stated = *count,
                            .actual = have});
        return problems;
    }
    if (have > *count || (line.size() - 4) % 2 != 0) {
        problems.push_back({.wrongBytes = false, .reason = FindingReason::TrailingCharacters});
    }
    if (*count < addressBytes + 1) {
        problems.push_back({.wrongBytes = loaderDecodes, .reason = FindingReason::CountTooSmall});
        return problems;
    }
    unsigned sum = *count;
    for (std::size_t i = 0; i + 1 < *count; ++i) {
        const std::optional<std::uint8_t> b = strictHexByte(line, 4 + 2 * i);
        if (!b) {
            return problems;  // the digits were reported above
        }
        sum += *b;
    }
    const std::optional<std::uint8_t> checksum = strictHexByte(line, 4 + 2 * (*count - 1u));
    if (checksum && static_cast<std::uint8_t>(~sum) != *checksum) {
        problems.push_back({.wrongBytes = loaderDecodes,
                            .reason = FindingReason::ChecksumMismatch,
                            .stated = *checksum,
                            .actual = static_cast<std::uint8_t>(~sum)});
    }
    return problems;
}

std::vector<RecordProblem> checkHexLine(std::string_view line, bool dataRecord) {
    std::vector<RecordProblem> problems;
    // The loader sends HEX lines as they are; the terminal decodes them.
    checkDigits(line.substr(1), false, dataRecord, problems);
    const std::optional<std::uint8_t> length = strictHexByte(line, 1);
    if (!length || line.size() < 11) {
        problems.push_back({.wrongBytes = dataRecord, .reason = FindingReason::TooShortForHex});
        return problems;
    }
    const std::size_t have = (line.size() - 11) / 2;
    if (have < *length) {
        problems.push_back({.wrongBytes = dataRecord,
                            .reason = FindingReason::Truncated,
                            .stated = *length,
                            .actual = have});
        return problems;
    }
    if (have > *length || (line.size() - 11) % 2 != 0) {
        problems.push_back({.wrongBytes = false, .reason = FindingReason::TrailingCharacters});
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < 4u + *length; ++i) {
        const std::optional<std::uint8_t> b = strictHexByte(line, 1 + 2 * i);
        if (!b) {
            return problems;
        }
        sum += *b;
    }
    const std::optional<std::uint8_t> checksum = strictHexByte(line, 1 + 2 * (4u + *length));
    const auto expected = static_cast<std::uint8_t>(0x100u - (sum & 0xFFu));
    if (checksum && expected != *checksum) {
        problems.push_back({.wrongBytes = dataRecord,
                            .reason = FindingReason::ChecksumMismatch,
                            .stated = *checksum,
                            .actual = expected});
    }
    return problems;
}

}  // namespace pushkit
