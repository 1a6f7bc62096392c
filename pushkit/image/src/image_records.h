// The record rules the loader never checks, one line at a time: digits, length, checksum. Used by
// the image check; pure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "pushkit/image/image_check.h"

namespace pushkit {

struct RecordProblem {
    bool wrongBytes = false;  // the line as the loader reads it would give wrong or missing bytes
    FindingReason reason = FindingReason::NotARecord;
    std::size_t stated = 0;  // as in ImageFinding
    std::size_t actual = 0;
    char character = 0;
};

// A line without its line end, as one S-record ("S2...") or one Intel HEX record (":..."). `decodes`
// says whether the loader decodes this line's digits itself (S2 records): then digits it reads
// wrongly give wrong bytes.
std::vector<RecordProblem> checkSRecordLine(std::string_view line, bool loaderDecodes);
std::vector<RecordProblem> checkHexLine(std::string_view line, bool dataRecord);

// The strict value of two hexadecimal digits at `pos`; nullopt when either is missing or not a digit.
std::optional<std::uint8_t> strictHexByte(std::string_view text, std::size_t pos);

}  // namespace pushkit
