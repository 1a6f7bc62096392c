#include "formwell/link/image_findings.h"

#include <cstdio>

#include "pushkit/image/image_file.h"
#include "pushkit/image/image_scans.h"

namespace formwell::link {

namespace {

using pushkit::FindingReason;
using pushkit::ImageRoute;

std::string hex2(std::size_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value & 0xFFu));
    return text;
}

std::string kindText(pushkit::TerminalKind kind) {
    return "kind " + std::to_string(pushkit::kindNumber(kind));
}

std::string code(const pushkit::ImageFinding& f) {
    return f.result ? std::to_string(static_cast<int>(*f.result)) : std::string("?");
}

// "VKD..., VKF..., VKL...": the HEX name prefixes that pick `route`.
std::string prefixes(ImageRoute route) {
    std::string text;
    for (const pushkit::HexNamePrefix& p : pushkit::kHexNamePrefixes) {
        if (p.route == route) {
            text += (text.empty() ? "" : ", ") + std::string(p.letters) + "...";
        }
    }
    return text;
}

std::string lineText(const pushkit::ImageCheck& check, const pushkit::ImageFinding& f) {
    const bool hex = check.route != ImageRoute::SRecord;
    switch (f.reason) {
        case FindingReason::LowerCaseRecordType:
            return "a data record type in lower case: the loader does not know it as a record and never "
                   "sends its data";
        case FindingReason::NotARecord:
            return hex ? "not an Intel HEX record; the loader sends it as it is"
                       : "not an S-record; the loader skips it";
        case FindingReason::UnsentDataRecord:
            return std::string("an S") + f.character +
                   " data record: the loader sends only S2 records, so its data never reaches the terminal";
        case FindingReason::UnknownRecordType:
            return "not an S-record type the loader knows; it skips it";
        case FindingReason::LowerCaseDigits:
            return f.level == FindingLevel::Refuse
                       ? "lower-case hexadecimal digits, which the loader decodes "
                         "wrongly (a is read as 42, not 10)"
                       : "lower-case hexadecimal digits";
        case FindingReason::ForeignDigit:
            return "a character that is no hexadecimal digit (" +
                   hex2(static_cast<unsigned char>(f.character)) + ")";
        case FindingReason::NoCountField:
            return "no count field";
        case FindingReason::CountTooSmall:
            return "the count is too small for an address and a checksum";
        case FindingReason::TooShortForHex:
            return "too short for a record (length, offset, type and checksum)";
        case FindingReason::Truncated:
            return (hex ? "truncated: the length says " + std::to_string(f.stated) + " data bytes"
                        : "truncated: the count says " + std::to_string(f.stated) + " bytes follow") +
                   ", the line holds " + std::to_string(f.actual);
        case FindingReason::TrailingCharacters:
            return hex ? "characters after the checksum"
                       : "characters after the checksum, which the loader ignores";
        case FindingReason::ChecksumMismatch:
            return "checksum " + hex2(f.stated) + " does not match the record's " + hex2(f.actual) +
                   (hex ? " (the loader sends the line as it is)" : " (the loader never checks it)");
        case FindingReason::CutBySendLoop:
            return "longer than the " + std::to_string(pushkit::kSendLineLimit) +
                   " characters the framed protocol reads as one line: the record is cut";
        case FindingReason::SplitByScans:
            return "longer than " + std::to_string(pushkit::kScanLineLimit) +
                   " characters (more than 32 data bytes): the loader's counting and the hex-block protocol "
                   "read it in pieces";
        case FindingReason::SplitByLineProtocol:
            return "longer than the " + std::to_string(pushkit::kLineProtocolLimit) +
                   " characters the line protocol sends in one frame: it goes out in pieces, one frame each";
        case FindingReason::OutsideWindow:
            return "data at " + hex6(f.address) + " lies outside the flash window (" + windowText(check) +
                   "); the loader would not erase it before writing";
        case FindingReason::Overlap:
            return "data at " + hex6(f.address) + " overlaps the record on line " +
                   std::to_string(f.otherLine) + "; the later one wins on a framed-protocol terminal" +
                   (f.result ? ", a hex-block terminal refuses the image (" + code(f) + ")" : std::string());
        case FindingReason::AfterEndRecord:
            return check.route == ImageRoute::LineProtocol
                       ? "after the end record: the line protocol never sends it"
                       : "after the end record";
        case FindingReason::NoS2Record:
            return "no S2 record: the loader refuses the image (" + code(f) + ")";
        case FindingReason::TwoKindsNamed:
            return "the image names kinds " +
                   std::to_string(pushkit::kindNumber(pushkit::kIdentRecordOrder[0])) + " and " +
                   std::to_string(pushkit::kindNumber(pushkit::kIdentRecordOrder[1])) +
                   "; the loader takes it for " + kindText(pushkit::kIdentRecordOrder[0]);
        case FindingReason::NoKind:
            return "no identification record and no application header: a framed-protocol terminal will "
                   "refuse it (" +
                   code(f) + "); only a terminal answering RMT (hex-block protocol) takes it";
        case FindingReason::NoEndRecord:
            return "no end record (" + std::string(pushkit::kHexEndRecord) +
                   "): every line is counted and sent";
        case FindingReason::UnknownHexName:
            return "a .HEX image must be named " + prefixes(ImageRoute::RawStream) + " (raw stream) or " +
                   prefixes(ImageRoute::LineProtocol) + " (line protocol); the loader refuses this name (" +
                   code(f) + ")";
    }
    return {};
}

}  // namespace

std::string hex6(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", value);
    return text;
}

std::string windowText(const pushkit::ImageCheck& check) {
    if (!check.windowChecked) {
        return {};
    }
    if (check.kind && check.windowKinds.empty()) {
        return "none (" + kindText(*check.kind) + " takes every address)";
    }
    std::string text;
    for (const pushkit::TerminalKind kind : check.windowKinds) {
        const pushkit::KindWindow w = pushkit::terminalKind(kind).window.value_or(pushkit::KindWindow{});
        text += (text.empty() ? "" : " or ") + kindText(kind) + ": " + hex6(w.base) + "-" + hex6(w.end - 1);
    }
    return check.kind ? text : text + " (the kind is not known)";
}

ImageReport checkImage(std::string_view name, std::string_view image) {
    ImageReport report{std::string(name), pushkit::checkImage(name, image), {}};
    for (const pushkit::ImageFinding& f : report.check.findings) {
        report.findings.push_back(ImageFinding{f.line, f.level, lineText(report.check, f)});
    }
    return report;
}

std::string findingLine(const ImageFinding& finding) {
    return (finding.line > 0 ? "line " + std::to_string(finding.line) + ": " : std::string()) + finding.text;
}

std::optional<std::string> readImageAsLoaderDoes(const std::string& path, std::string& why) {
    pushkit::ImageFile file;
    if (!file.open(path)) {
        why = "the image file cannot be opened (missing, unreadable, or not a regular file)";
        return std::nullopt;
    }
    std::string image;
    switch (pushkit::readImage(file, image, [] { return false; })) {
        case pushkit::ImageRead::Read:
            return image;
        case pushkit::ImageRead::TooLarge:
            why = "the image file is larger than 64 MiB, which the loader refuses";
            return std::nullopt;
        case pushkit::ImageRead::Unreadable:
        case pushkit::ImageRead::Cancelled:
            break;
    }
    why = "the image file cannot be read";
    return std::nullopt;
}

}  // namespace formwell::link
