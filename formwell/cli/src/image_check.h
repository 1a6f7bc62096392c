// What the loader would make of an image, told before a terminal is involved: its format by the
// name's rule, the S2 records with their address range and kind window, the identification record
// and application header, the HEX lines up to the end record, and every problem the loader would not
// notice. The scans are the loader's own (pushkit_image); only what the loader never checks (record
// checksums, digits, lengths) is judged here. A pure function over the image's text, fuzzable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pushkit/image/image_name.h"

namespace formwell::cli {

enum class FindingLevel {
    Refuse,   // would put wrong bytes into a terminal, or the loader refuses the image anyway
    Warning,  // the loader accepts or skips it silently; worth knowing
};

struct ImageFinding {
    std::size_t line = 0;  // counted from 1; 0 for the image as a whole
    FindingLevel level = FindingLevel::Warning;
    std::string text;
};

inline constexpr std::size_t kMaxFindings = 1000;

struct ApplicationHeader {
    int kind = 0;
    std::uint32_t address = 0;
    std::string required;  // "VKNV0100"
};

struct ImageReport {
    std::string name;  // the path as given
    pushkit::ImageRoute route = pushkit::ImageRoute::SRecord;

    // S-record images.
    std::size_t s2Records = 0;
    std::optional<std::uint32_t> low;   // lowest S2 address
    std::optional<std::uint32_t> high;  // highest address + data length
    std::optional<int> namedKind;       // by an identification record: 103 or 101
    std::vector<ApplicationHeader> headers;
    std::optional<int> kind;  // named, or the one kind whose header the image holds
    std::string window;       // "kind 103: 0x200000-0x27FFFF", "none (kind 102 loads every address)"

    // Intel HEX images.
    std::size_t hexLines = 0;  // up to and including the end record, as the line protocol counts them
    bool hexEndRecord = false;

    // In line order per kind of check; at most kMaxFindings are kept, all are counted.
    std::vector<ImageFinding> findings;
    std::size_t refusals = 0;
    std::size_t warnings = 0;

    bool refused() const { return refusals > 0; }
};

ImageReport checkImage(std::string_view name, std::string_view image);

// "S-record image: the framed protocol (or the hex-block protocol to a terminal answering RMT)".
std::string describeRoute(pushkit::ImageRoute route);

// The report for people, and as one JSON object.
std::string formatImageReport(const ImageReport& report);
std::string formatImageReportJson(const ImageReport& report);

}  // namespace formwell::cli
