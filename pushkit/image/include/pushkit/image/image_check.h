// The image check: what the loader would make of an image, told before a terminal is involved. The
// format and transfer by the name's rule, the S2 records with their address range and kind window,
// the identification record and application headers, the HEX lines up to the end record, and every
// problem in it, each with its line and, where the loader refuses such an image, the result it gives.
// The facts come from the loader's own scans and kind table; only what the loader never checks
// (record checksums, digits, lengths) is judged here. A pure function of the name and the bytes; the
// words for people are the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pushkit.h"
#include "pushkit/image/terminal_kinds.h"

namespace pushkit {

enum class FindingLevel {
    Refuse,   // would put wrong bytes into a terminal, or the loader refuses the image anyway
    Warning,  // the loader accepts or skips it silently; worth knowing
};

enum class FindingReason {
    // One line of the image.
    LowerCaseRecordType,  // "s1".."s3": no record to the loader, its data is never sent
    NotARecord,           // skipped (S-record image) or sent as it is (HEX image)
    UnsentDataRecord,     // S1 or S3 (`character`): only S2 records are sent
    UnknownRecordType,
    LowerCaseDigits,  // a Refuse where the loader decodes the digits itself
    ForeignDigit,     // `character` is no hexadecimal digit
    NoCountField,
    CountTooSmall,        // no room for an address and a checksum
    TooShortForHex,       // no length, offset, type and checksum
    Truncated,            // the count or length says `stated` bytes, the line holds `actual`
    TrailingCharacters,   // after the checksum
    ChecksumMismatch,     // the line's checksum `stated`, the record's own `actual`
    CutBySendLoop,        // longer than kSendLineLimit: the framed protocol sends it cut
    SplitByScans,         // longer than kScanLineLimit: counted and laid out in pieces
    SplitByLineProtocol,  // longer than kLineProtocolLimit: sent as several frames
    OutsideWindow,        // data at `address` outside the flash window
    Overlap,              // data at `address` overlaps the record on `otherLine`
    AfterEndRecord,
    // The image as a whole.
    NoS2Record,
    TwoKindsNamed,  // both identification records; the loader takes the first in kIdentRecordOrder
    NoKind,         // no identification record and no application header
    NoEndRecord,
    UnknownHexName,
};

struct ImageFinding {
    std::size_t line = 0;  // counted from 1; 0 for the image as a whole
    FindingLevel level = FindingLevel::Warning;
    FindingReason reason = FindingReason::NotARecord;
    // What Download gives for this, where it refuses such an image (for some terminals, a Warning).
    std::optional<pushkit_result> result;
    std::uint32_t address = 0;
    std::size_t otherLine = 0;
    std::size_t stated = 0;
    std::size_t actual = 0;
    char character = 0;
};

inline constexpr std::size_t kMaxFindings = 1000;

struct ApplicationHeader {
    TerminalKind kind = TerminalKind::Kind101;
    std::uint32_t address = 0;
    std::string required;  // "VKNV0100"
};

struct ImageCheck {
    ImageRoute route = ImageRoute::SRecord;

    // S-record images.
    std::size_t s2Records = 0;
    std::optional<std::uint32_t> low;       // lowest S2 address
    std::optional<std::uint32_t> high;      // highest address + data length
    std::optional<TerminalKind> namedKind;  // by an identification record
    std::vector<ApplicationHeader> headers;
    std::optional<TerminalKind> kind;  // named, or the one kind whose header the image holds
    // The records were held against windows: the kind's (none when it takes every address), or with
    // the kind unknown, any of these kinds' windows.
    bool windowChecked = false;
    std::vector<TerminalKind> windowKinds;

    // Intel HEX images.
    std::size_t hexLines = 0;  // up to and including the end record, as the line protocol counts them
    bool hexEndRecord = false;

    // In line order per kind of check; at most kMaxFindings are kept, all are counted.
    std::vector<ImageFinding> findings;
    std::size_t refusals = 0;
    std::size_t warnings = 0;

    bool refused() const { return refusals > 0; }
};

ImageCheck checkImage(std::string_view name, std::string_view image);

}  // namespace pushkit
