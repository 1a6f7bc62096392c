#include "pushkit/image/image_scans.h"

#include <algorithm>
#include <string>

namespace pushkit {

namespace {

constexpr std::size_t kChecksumDigits = 2;
// The terminal tools keep the decoded header in a small buffer: two records give fewer than 35 bytes.
constexpr std::size_t kHeaderByteLimit = 35;
constexpr std::string_view kHeaderTag = "APPLICATION";
// Version numbers are compared as decimal digits; longer runs than this saturate.
constexpr std::uint64_t kVersionCap = 0xFFFFFFFFull;

bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

std::uint64_t leadingNumber(std::string_view text, std::size_t from) {
    std::uint64_t value = 0;
    for (std::size_t i = from; i < text.size() && isDecimalDigit(text[i]); ++i) {
        value = std::min(kVersionCap, value * 10 + static_cast<std::uint64_t>(text[i] - '0'));
    }
    return value;
}

// The data digits of a header record: from the data field up to the checksum, line end excluded.
// A line ending in CR LF therefore gives the same bytes as one ending in LF.
void appendHeaderBytes(std::string_view line, std::string& bytes) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.size() < kS2DataField + kChecksumDigits) {
        return;
    }
    const std::size_t end = line.size() - kChecksumDigits;
    for (std::size_t pos = kS2DataField; pos + 1 < end; pos += 2) {
        bytes.push_back(static_cast<char>(hexByte(line, pos)));
    }
}

}  // namespace

bool isS2Record(std::string_view line) {
    return line.size() >= 2 && line[0] == 'S' && line[1] == '2';
}

S2Fields parseS2(std::string_view line) {
    S2Fields fields;
    fields.count = hexByte(line, kS2CountField);
    // The digits end at the first CR or LF: two memchr runs, not a set lookup per character.
    const std::size_t lineEnd = std::min({line.size(), line.find('\r'), line.find('\n')});
    const std::size_t pairs = lineEnd > kS2AddressField ? (lineEnd - kS2AddressField) / 2 : 0;
    const std::size_t counted = fields.count > 0 ? fields.count - 1u : 0u;
    fields.carried = std::min(counted, pairs);
    fields.hasAddress = fields.carried >= kS2AddressBytes;
    if (fields.hasAddress) {
        fields.address = (std::uint32_t{hexByte(line, kS2AddressField)} << 16) |
                         (std::uint32_t{hexByte(line, kS2AddressField + 2)} << 8) |
                         std::uint32_t{hexByte(line, kS2AddressField + 4)};
        fields.dataLength = fields.carried - kS2AddressBytes;
    }
    return fields;
}

std::size_t countS2Records(std::string_view image) {
    LineReader reader(image, kScanLineLimit);
    std::size_t count = 0;
    std::string_view line;
    while (reader.next(line)) {
        if (isS2Record(line)) {
            ++count;
        }
    }
    return count;
}

AddressRange addressRange(std::string_view image, std::optional<TerminalKind> kind) {
    // Record addresses have 24 bits: without a window every one of them lies below this end.
    constexpr KindWindow kEveryAddress{0, 0xFFFFFFFF};
    const KindWindow window = kind ? terminalKind(*kind).window.value_or(kEveryAddress) : kEveryAddress;
    AddressRange range;
    bool anyRecord = false;
    LineReader reader(image, kSendLineLimit);
    std::string_view line;
    while (reader.next(line)) {
        if (!isS2Record(line)) {
            continue;
        }
        anyRecord = true;
        const S2Fields fields = parseS2(line);
        if (!fields.hasAddress) {
            continue;
        }
        if (fields.address < window.base || fields.address >= window.end) {
            continue;
        }
        range.low = std::min(range.low, fields.address);
        range.high = std::max(range.high, fields.address + static_cast<std::uint32_t>(fields.dataLength));
    }
    // The answer is about the image as a whole: records outside the window leave low above high.
    range.result = anyRecord ? RangeResult::Found : RangeResult::NoS2Record;
    return range;
}

bool containsIdentificationRecord(std::string_view image, std::string_view record) {
    LineReader reader(image, kSendLineLimit);
    std::string_view line;
    while (reader.next(line)) {
        if (line.starts_with(record)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> requiredTerminal(std::string_view image, TerminalKind kind) {
    const std::string_view address = terminalKind(kind).headerAddress;

    LineReader reader(image, kScanLineLimit);
    std::string_view line;
    bool found = false;
    while (reader.next(line)) {
        // Header records sit at a fixed address per kind, right after "S2" and the count.
        if (line.find(address) == kS2AddressField) {
            found = true;
            break;
        }
    }
    if (!found) {
        return std::nullopt;
    }

    // The header spans this record and the next; the last line of the image gives one record only.
    std::string first;
    std::string second;
    appendHeaderBytes(line, first);
    if (reader.next(line)) {
        appendHeaderBytes(line, second);
    }
    if (first.size() + second.size() >= kHeaderByteLimit) {
        return std::nullopt;
    }
    // Each record's text ends at its first zero byte, as the terminal reads it.
    std::string text = first.substr(0, first.find('\0'));
    text += second.substr(0, second.find('\0'));

    const std::size_t separator = text.find(';');
    if (!std::string_view(text).starts_with(kHeaderTag) || separator == std::string::npos) {
        return std::nullopt;
    }
    return text.substr(separator + 1);
}

HeaderCheck checkApplicationHeader(std::string_view image, TerminalKind kind,
                                   std::string_view terminalIdent) {
    const std::optional<std::string> required = requiredTerminal(image, kind);
    if (!required || std::string_view(*required).substr(0, 3) != terminalIdent.substr(0, 3)) {
        return HeaderCheck::NoFit;
    }

    const char versionMark = terminalIdent.size() > 3 ? terminalIdent[3] : '\0';
    if (versionMark == 'V') {
        return leadingNumber(terminalIdent, 4) < leadingNumber(*required, 4) ? HeaderCheck::VersionTooLow
                                                                             : HeaderCheck::Accepted;
    }
    return isDecimalDigit(versionMark) ? HeaderCheck::Accepted : HeaderCheck::NoFit;
}

std::size_t countHexLines(std::string_view image, std::size_t limit) {
    LineReader reader(image, limit);
    std::size_t count = 0;
    std::string_view line;
    while (reader.next(line)) {
        ++count;
        if (line.starts_with(kHexEndRecord)) {
            break;
        }
    }
    return count;
}

}  // namespace pushkit
