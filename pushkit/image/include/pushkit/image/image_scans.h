// Reading program images: S-record and Intel HEX text already in memory. Pure functions that never
// read past the buffer, whatever bytes the file holds; wrong digits decode to wrong values and
// short lines give short data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pushkit/image/terminal_kinds.h"

namespace pushkit {

// Longest line each reader takes, line end included; a longer line is split and every piece counts
// as a line of its own. Records of up to 32 data bytes fit every reader.
inline constexpr std::size_t kScanLineLimit = 79;  // counts, headers, hex-block list, HEX lines
// Framed send loop, identification record search, and the address range: the flash erased for the
// framed protocol must cover every byte its send loop sends.
inline constexpr std::size_t kSendLineLimit = 199;
inline constexpr std::size_t kLineProtocolLimit = 49;
// No limit: lines as they stand in the file.
inline constexpr std::size_t kWholeLines = std::string_view::npos;

// Splits an image into lines of at most `limit` bytes (line feed included, a CR before it kept).
class LineReader {
  public:
    LineReader(std::string_view image, std::size_t limit) : image_(image), limit_(limit) {}
    // The next line, or false at the end of the image: one memchr over at most the limit.
    bool next(std::string_view& line) {
        if (pos_ >= image_.size() || limit_ == 0) {
            return false;
        }
        const std::string_view rest = image_.substr(pos_, limit_);
        const std::size_t feed = rest.find('\n');
        line = feed == std::string_view::npos ? rest : rest.substr(0, feed + 1);
        pos_ += line.size();
        return true;
    }
    void rewind() { pos_ = 0; }

  private:
    std::string_view image_;
    std::size_t limit_;
    std::size_t pos_ = 0;
};

namespace detail {
// Every byte's value as a digit: the tools compare plain (signed) chars, so bytes from 0x80 up count
// as "below 'A'". A table, because every data byte of every record is decoded through it.
inline constexpr std::array<std::uint8_t, 256> kDigitValues = [] {
    std::array<std::uint8_t, 256> values{};
    for (int b = 0; b < 256; ++b) {
        const int code = b < 128 ? b : b - 256;
        values[static_cast<std::size_t>(b)] =
            static_cast<std::uint8_t>(code < 'A' ? code - '0' : code - 'A' + 10);
    }
    return values;
}();
}  // namespace detail

// One hexadecimal digit as the terminal tools decode it: below 'A' counts from '0', anything else
// from 'A' + 10. No character is rejected.
inline std::uint8_t hexDigit(char c) {
    return detail::kDigitValues[static_cast<unsigned char>(c)];
}
// Two digits at text[pos], pos+1; characters missing past the end count as '0'.
inline std::uint8_t hexByte(std::string_view text, std::size_t pos) {
    const char high = pos < text.size() ? text[pos] : '0';
    const char low = pos + 1 < text.size() ? text[pos + 1] : '0';
    return static_cast<std::uint8_t>(hexDigit(high) * 16 + hexDigit(low));
}

bool isS2Record(std::string_view line);

// An S2 line: "S2", two count digits, six address digits (three bytes), then the data digits.
inline constexpr std::size_t kS2CountField = 2;
inline constexpr std::size_t kS2AddressField = 4;
inline constexpr std::size_t kS2AddressBytes = 3;
inline constexpr std::size_t kS2DataField = 10;

// An S2 line taken apart, by the one rule every user of a record's bytes follows (record frames, the
// hex-block list, the address range): after its count field a record carries at most count - 1 bytes,
// the address and then the data (the checksum byte never travels), and never more than the whole
// digit pairs the line holds before its line end (CR and LF are no digits; an odd last digit is
// dropped). Digits are not validated. A line cut short gives fewer bytes, never made-up ones.
struct S2Fields {
    std::uint8_t count = 0;
    std::size_t carried = 0;     // bytes after the count field: address, then data
    bool hasAddress = false;     // all three address bytes are there; without them the record is empty
    std::uint32_t address = 0;   // 0 without the address
    std::size_t dataLength = 0;  // carried - 3 with the address, else 0
};
S2Fields parseS2(std::string_view line);

std::size_t countS2Records(std::string_view image);

// A terminal's identification, as its answer and an image's header give it: "VKDV0100".
inline constexpr std::size_t kIdentificationLength = 8;

enum class RangeResult { Found, NoS2Record };

// Over the records inside the kind's window; a kind without one, or no kind, takes every record. A
// record without its address still counts as an S2 record (Found) but adds nothing to the range.
struct AddressRange {
    std::uint32_t low = 0xFFFFFF;
    std::uint32_t high = 0;                        // highest address + data length
    RangeResult result = RangeResult::NoS2Record;  // Found when the image holds at least one S2 record
};
AddressRange addressRange(std::string_view image, std::optional<TerminalKind> kind);

bool containsIdentificationRecord(std::string_view image, std::string_view record);

// The terminal identification an image's application header asks for ("VKNV0100"): the text after
// the ';' of "APPLICATION;..." in the two records at the kind's header address, each record's bytes
// up to its first zero byte. nullopt when the image has no such header or a malformed one (no tag, no ';', 35
// bytes or more).
std::optional<std::string> requiredTerminal(std::string_view image, TerminalKind kind);

enum class HeaderCheck {
    Accepted,
    VersionTooLow,  // the terminal's version is below the one the header requires
    NoFit,          // no header, a malformed one, or one naming another terminal
};
HeaderCheck checkApplicationHeader(std::string_view image, TerminalKind kind, std::string_view terminalIdent);

inline constexpr std::string_view kHexEndRecord = ":00000001FF";

// Lines up to and including the first ":00000001FF" line, or all lines, read with `limit`. The line
// protocol counts with its own, smaller limit so that the count it announces is the number of
// frames it sends: a long HEX line goes out in pieces, and every piece must be counted and sent.
std::size_t countHexLines(std::string_view image, std::size_t limit = kScanLineLimit);

}  // namespace pushkit
