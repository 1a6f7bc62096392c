#include "image_check.h"

#include <algorithm>
#include <cstdio>

#include "image_records.h"
#include "pushkit/image/image_scans.h"

namespace formwell::cli {

namespace {

using pushkit::ImageRoute;

// A record line longer than this (line end included) is split by the loader's counting, header and
// hex-block readers; longer than kSendLineLimit, by the framed send loop itself.
constexpr std::size_t kRecordReaderLimit = pushkit::kScanLineLimit;
constexpr std::size_t kSendReaderLimit = pushkit::kSendLineLimit;
constexpr std::size_t kLineProtocolLimit = pushkit::kLineProtocolLimit;
constexpr std::size_t kOverlapsShown = 5;

std::uint32_t headerAddress(const pushkit::TerminalKindRow& row) {
    return (std::uint32_t{pushkit::hexByte(row.headerAddress, 0)} << 16) |
           (std::uint32_t{pushkit::hexByte(row.headerAddress, 2)} << 8) |
           pushkit::hexByte(row.headerAddress, 4);
}

std::optional<pushkit::KindWindow> kindWindow(int number) {
    for (const pushkit::TerminalKindRow& row : pushkit::kTerminalKinds) {
        if (row.number == number) {
            return row.window;
        }
    }
    return std::nullopt;
}

std::string hex6(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", value);
    return text;
}

// Physical lines (split at LF, a CR before it dropped), with their length as the loader's readers
// count it (line end included).
struct Line {
    std::string_view text;
    std::size_t readLength;
};
// Walked one at a time: an image of nothing but line ends must not cost a record per byte.
class PhysicalLines {
  public:
    explicit PhysicalLines(std::string_view image) : image_(image) {}

    bool next(Line& line) {
        if (pos_ >= image_.size()) {
            return false;
        }
        const std::size_t lf = image_.find('\n', pos_);
        const std::size_t end = lf == std::string_view::npos ? image_.size() : lf;
        line.text = image_.substr(pos_, end - pos_);
        line.readLength = line.text.size() + (lf == std::string_view::npos ? 0 : 1);
        if (!line.text.empty() && line.text.back() == '\r') {
            line.text.remove_suffix(1);
        }
        pos_ = end + (lf == std::string_view::npos ? 0 : 1);
        return true;
    }

  private:
    std::string_view image_;
    std::size_t pos_ = 0;
};

void add(ImageReport& report, std::size_t line, FindingLevel level, std::string text) {
    ++(level == FindingLevel::Refuse ? report.refusals : report.warnings);
    if (report.findings.size() < kMaxFindings) {
        report.findings.push_back(ImageFinding{line, level, std::move(text)});
    }
}

void addProblems(ImageReport& report, std::size_t line, const std::vector<RecordProblem>& problems) {
    for (const RecordProblem& p : problems) {
        add(report, line, p.wrongBytes ? FindingLevel::Refuse : FindingLevel::Warning, p.text);
    }
}

// The kind the image is for, as far as the image says: an identification record names it; else a
// single application header tells it by its address.
void findKind(ImageReport& report, std::string_view image) {
    const std::string_view record103 = pushkit::terminalKind(pushkit::TerminalKind::Kind103).identRecord;
    const std::string_view record101 = pushkit::terminalKind(pushkit::TerminalKind::Kind101).identRecord;
    if (pushkit::containsIdentificationRecord(image, record103)) {
        report.namedKind = 103;
        if (pushkit::containsIdentificationRecord(image, record101)) {
            add(report, 0, FindingLevel::Warning,
                "the image names kinds 103 and 101; the loader takes it for kind 103");
        }
    } else if (pushkit::containsIdentificationRecord(image, record101)) {
        report.namedKind = 101;
    }
    for (const pushkit::TerminalKindRow& row : pushkit::kTerminalKinds) {
        if (std::optional<std::string> required = pushkit::requiredTerminal(image, row.kind)) {
            report.headers.push_back(ApplicationHeader{row.number, headerAddress(row), *required});
        }
    }
    if (report.namedKind) {
        report.kind = report.namedKind;
    } else if (report.headers.size() == 1) {
        report.kind = report.headers.front().kind;
    } else if (report.headers.empty()) {
        add(report, 0, FindingLevel::Warning,
            "no identification record and no application header: a framed-protocol terminal will refuse "
            "it (-26); only a terminal answering RMT (hex-block protocol) takes it");
    }
}

// Data records must lie where the terminal's loader erases and writes: the window of the image's kind
// when it has one, otherwise, the kind unknown, one of the kinds' windows.
void checkWindows(ImageReport& report,
                  const std::vector<std::pair<std::size_t, pushkit::S2Fields>>& records) {
    std::vector<pushkit::KindWindow> windows;
    if (report.kind) {
        if (const std::optional<pushkit::KindWindow> w = kindWindow(*report.kind)) {
            windows.push_back(*w);
            report.window =
                "kind " + std::to_string(*report.kind) + ": " + hex6(w->base) + "-" + hex6(w->end - 1);
        } else {
            report.window = "none (kind " + std::to_string(*report.kind) + " takes every address)";
            return;
        }
    } else {
        windows = {*kindWindow(103), *kindWindow(101)};
        report.window = "kind 103: 0x200000-0x27FFFF or kind 101: 0x300000-0x37FFFF (the kind is not known)";
    }
    for (const auto& [line, fields] : records) {
        // Named for the lambda: clang 14, the fuzz build's compiler, cannot capture a structured binding.
        const std::uint32_t address = fields.address;
        const bool inside = std::any_of(windows.begin(), windows.end(), [&](const pushkit::KindWindow& w) {
            return address >= w.base && address < w.end;
        });
        if (!inside) {
            add(report, line, FindingLevel::Refuse,
                "data at " + hex6(fields.address) + " lies outside the flash window (" + report.window +
                    "); the loader would not erase it before writing");
        }
    }
}

void checkOverlaps(ImageReport& report, std::vector<std::pair<std::size_t, pushkit::S2Fields>> records) {
    std::sort(records.begin(), records.end(),
              [](const auto& a, const auto& b) { return a.second.address < b.second.address; });
    std::size_t shown = 0;
    for (std::size_t i = 1; i < records.size() && shown < kOverlapsShown; ++i) {
        const pushkit::S2Fields& before = records[i - 1].second;
        const pushkit::S2Fields& after = records[i].second;
        if (before.address + before.dataLength > after.address) {
            add(report, records[i].first, FindingLevel::Warning,
                "data at " + hex6(after.address) + " overlaps the record on line " +
                    std::to_string(records[i - 1].first) +
                    "; the later one wins on a framed-protocol terminal, a hex-block terminal refuses the "
                    "image (-35)");
            ++shown;
        }
    }
}

void checkSRecordImage(ImageReport& report, std::string_view image) {
    report.s2Records = pushkit::countS2Records(image);
    std::vector<std::pair<std::size_t, pushkit::S2Fields>> records;
    PhysicalLines lines(image);
    Line line;
    for (std::size_t number = 1; lines.next(line); ++number) {
        const std::string_view text = line.text;
        if (text.empty()) {
            continue;
        }
        if (text.size() >= 2 && text[0] == 's' && text[1] >= '1' && text[1] <= '3') {
            add(report, number, FindingLevel::Refuse,
                "a data record type in lower case: the loader does not know it as a record and never "
                "sends its data");
            continue;
        }
        if (text[0] != 'S' || text.size() < 2) {
            add(report, number, FindingLevel::Warning, "not an S-record; the loader skips it");
            continue;
        }
        const char type = text[1];
        if (type == '1' || type == '3') {
            add(report, number, FindingLevel::Refuse,
                std::string("an S") + type +
                    " data record: the loader sends only S2 records, so its data never "
                    "reaches the terminal");
        } else if (type != '0' && type != '2' && type != '5' && type != '7' && type != '8' && type != '9') {
            add(report, number, FindingLevel::Warning, "not an S-record type the loader knows; it skips it");
            continue;
        }
        const bool s2 = type == '2';
        addProblems(report, number, checkSRecordLine(text, s2));
        if (!s2) {
            continue;
        }
        if (line.readLength > kSendReaderLimit) {
            add(report, number, FindingLevel::Refuse,
                "longer than the " + std::to_string(kSendReaderLimit) +
                    " characters the framed protocol reads as one line: the record is cut");
        } else if (line.readLength > kRecordReaderLimit) {
            add(report, number, FindingLevel::Warning,
                "longer than " + std::to_string(kRecordReaderLimit) +
                    " characters (more than 32 data bytes): the loader's counting and the hex-block "
                    "protocol read it in pieces");
        }
        const pushkit::S2Fields fields = pushkit::parseS2(text);
        if (fields.hasAddress) {
            records.emplace_back(number, fields);
        }
    }
    if (report.s2Records == 0) {
        add(report, 0, FindingLevel::Refuse, "no S2 record: the loader refuses the image (-15)");
        return;
    }
    const pushkit::AddressRange range =
        pushkit::addressRange(image, std::nullopt);  // every record, whatever its kind
    if (range.low <= range.high) {
        report.low = range.low;
        report.high = range.high;
    }
    findKind(report, image);
    checkWindows(report, records);
    checkOverlaps(report, std::move(records));
}

void checkHexImage(ImageReport& report, std::string_view image) {
    report.hexLines = pushkit::countHexLines(image, kLineProtocolLimit);
    PhysicalLines lines(image);
    Line line;
    bool ended = false;
    for (std::size_t number = 1; lines.next(line); ++number) {
        const std::string_view text = line.text;
        if (ended) {
            if (!text.empty()) {
                add(report, number, FindingLevel::Warning,
                    report.route == ImageRoute::LineProtocol
                        ? "after the end record: the line protocol never sends it"
                        : "after the end record");
            }
            continue;
        }
        if (text.starts_with(":00000001FF")) {
            ended = report.hexEndRecord = true;
        }
        if (text.empty() || text[0] != ':') {
            add(report, number, FindingLevel::Warning,
                "not an Intel HEX record; the loader sends it as it is");
            continue;
        }
        const std::optional<std::uint8_t> type = strictHexByte(text, 7);
        addProblems(report, number, checkHexLine(text, type.value_or(0) == 0x00));
        if (report.route == ImageRoute::LineProtocol && line.readLength > kLineProtocolLimit) {
            add(report, number, FindingLevel::Warning,
                "longer than the " + std::to_string(kLineProtocolLimit) +
                    " characters the line protocol sends in one frame: it goes out in pieces, one frame "
                    "each");
        }
    }
    if (!report.hexEndRecord) {
        add(report, 0, FindingLevel::Warning, "no end record (:00000001FF): every line is counted and sent");
    }
}

}  // namespace

ImageReport checkImage(std::string_view name, std::string_view image) {
    ImageReport report;
    report.name = std::string(name);
    report.route = pushkit::imageRoute(name);
    switch (report.route) {
        case ImageRoute::SRecord:
            checkSRecordImage(report, image);
            break;
        case ImageRoute::RawStream:
        case ImageRoute::LineProtocol:
            checkHexImage(report, image);
            break;
        case ImageRoute::UnknownHexPrefix:
            add(report, 0, FindingLevel::Refuse,
                "a .HEX image must be named VKD..., VKF..., VKL... (raw stream) or VKS... (line protocol); "
                "the "
                "loader refuses this name (-12)");
            checkHexImage(report, image);
            break;
    }
    return report;
}

}  // namespace formwell::cli
