#include "pushkit/image/image_check.h"

#include <algorithm>
#include <utility>

#include "image_records.h"
#include "pushkit/image/hex_block_layout.h"
#include "pushkit/image/image_name.h"
#include "pushkit/image/image_scans.h"

namespace pushkit {

namespace {

constexpr std::size_t kOverlapsShown = 5;

using NumberedRecords = std::vector<std::pair<std::size_t, S2Fields>>;

// A line without its line end, and its length as the loader's readers count it (line end included).
struct Line {
    std::string_view text;
    std::size_t readLength = 0;
};
// Lines as they stand in the file: the findings name them by their numbers in an editor.
class NumberedLines {
  public:
    explicit NumberedLines(std::string_view image) : reader_(image, kWholeLines) {}
    bool next(Line& line) {
        std::string_view raw;
        if (!reader_.next(raw)) {
            return false;
        }
        line.readLength = raw.size();
        if (!raw.empty() && raw.back() == '\n') {
            raw.remove_suffix(1);
        }
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        line.text = raw;
        return true;
    }

  private:
    LineReader reader_;
};

ImageFinding finding(std::size_t line, FindingLevel level, FindingReason reason) {
    ImageFinding f;
    f.line = line;
    f.level = level;
    f.reason = reason;
    return f;
}

void add(ImageCheck& check, ImageFinding f) {
    ++(f.level == FindingLevel::Refuse ? check.refusals : check.warnings);
    if (check.findings.size() < kMaxFindings) {
        check.findings.push_back(f);
    }
}

void add(ImageCheck& check, std::size_t line, FindingLevel level, FindingReason reason) {
    add(check, finding(line, level, reason));
}

void addProblems(ImageCheck& check, std::size_t line, const std::vector<RecordProblem>& problems) {
    for (const RecordProblem& p : problems) {
        ImageFinding f = finding(line, p.wrongBytes ? FindingLevel::Refuse : FindingLevel::Warning, p.reason);
        f.stated = p.stated;
        f.actual = p.actual;
        f.character = p.character;
        add(check, f);
    }
}

std::uint32_t headerAddress(const TerminalKindRow& row) {
    return (std::uint32_t{hexByte(row.headerAddress, 0)} << 16) |
           (std::uint32_t{hexByte(row.headerAddress, 2)} << 8) | hexByte(row.headerAddress, 4);
}

// The kind the image is for, as far as the image says: an identification record names it, in the
// order the loader tries them; else a single application header tells it by its address.
void findKind(ImageCheck& check, std::string_view image) {
    for (const TerminalKind kind : kIdentRecordOrder) {
        if (containsIdentificationRecord(image, terminalKind(kind).identRecord)) {
            if (check.namedKind) {
                add(check, 0, FindingLevel::Warning, FindingReason::TwoKindsNamed);
                break;
            }
            check.namedKind = kind;
        }
    }
    for (const TerminalKindRow& row : kTerminalKinds) {
        if (std::optional<std::string> required = requiredTerminal(image, row.kind)) {
            check.headers.push_back(ApplicationHeader{row.kind, headerAddress(row), std::move(*required)});
        }
    }
    if (check.namedKind) {
        check.kind = check.namedKind;
    } else if (check.headers.size() == 1) {
        check.kind = check.headers.front().kind;
    } else if (check.headers.empty()) {
        ImageFinding f = finding(0, FindingLevel::Warning, FindingReason::NoKind);
        f.result = PUSHKIT_ERR_HEADER;  // from every framed-protocol terminal
        add(check, f);
    }
}

// Data records must lie where the terminal's loader erases and writes: the window of the image's kind
// when it has one, otherwise, the kind unknown, one of the windows of the kinds an image can name.
void checkWindows(ImageCheck& check, const NumberedRecords& records) {
    check.windowChecked = true;
    if (check.kind) {
        if (!terminalKind(*check.kind).window) {
            return;
        }
        check.windowKinds.push_back(*check.kind);
    } else {
        check.windowKinds.assign(kIdentRecordOrder.begin(), kIdentRecordOrder.end());
    }
    for (const auto& [line, fields] : records) {
        // Named for the lambda: clang 14, the fuzz build's compiler, cannot capture a structured binding.
        const std::uint32_t address = fields.address;
        const bool inside =
            std::any_of(check.windowKinds.begin(), check.windowKinds.end(), [address](TerminalKind kind) {
                const std::optional<KindWindow>& w = terminalKind(kind).window;
                return w && address >= w->base && address < w->end;
            });
        if (!inside) {
            ImageFinding f = finding(line, FindingLevel::Refuse, FindingReason::OutsideWindow);
            f.address = address;
            add(check, f);
        }
    }
}

// The hex-block loader refuses an image whose records overlap inside its window; its own layout says.
bool hexBlockRefusesOverlap(std::string_view image) {
    BlockImage blockImage;
    std::vector<HexBlock> blocks;
    return buildBlockImage(image, blockImage) == BlockListResult::Built &&
           layoutHexBlocks(blockImage, blocks) == LayoutResult::Overlap;
}

void checkOverlaps(ImageCheck& check, std::string_view image, NumberedRecords records) {
    std::sort(records.begin(), records.end(),
              [](const auto& a, const auto& b) { return a.second.address < b.second.address; });
    const bool hexBlockRefuses = hexBlockRefusesOverlap(image);
    std::size_t shown = 0;
    for (std::size_t i = 1; i < records.size() && shown < kOverlapsShown; ++i) {
        const S2Fields& before = records[i - 1].second;
        const S2Fields& after = records[i].second;
        if (before.address + before.dataLength > after.address) {
            ImageFinding f = finding(records[i].first, FindingLevel::Warning, FindingReason::Overlap);
            f.address = after.address;
            f.otherLine = records[i - 1].first;
            if (hexBlockRefuses) {
                f.result = PUSHKIT_ERR_OVERLAP;
            }
            add(check, f);
            ++shown;
        }
    }
}

void checkNumberedLine(ImageCheck& check, std::size_t number, const Line& line, NumberedRecords& records) {
    const std::string_view text = line.text;
    if (text.size() >= 2 && text[0] == 's' && text[1] >= '1' && text[1] <= '3') {
        add(check, number, FindingLevel::Refuse, FindingReason::LowerCaseRecordType);
        return;
    }
    if (text[0] != 'S' || text.size() < 2) {
        add(check, number, FindingLevel::Warning, FindingReason::NotARecord);
        return;
    }
    const char type = text[1];
    if (type == '1' || type == '3') {
        ImageFinding f = finding(number, FindingLevel::Refuse, FindingReason::UnsentDataRecord);
        f.character = type;
        add(check, f);
    } else if (type != '0' && type != '2' && type != '5' && type != '7' && type != '8' && type != '9') {
        add(check, number, FindingLevel::Warning, FindingReason::UnknownRecordType);
        return;
    }
    const bool s2 = isS2Record(text);
    addProblems(check, number, checkSRecordLine(text, s2));
    if (!s2) {
        return;
    }
    if (line.readLength > kSendLineLimit) {
        add(check, number, FindingLevel::Refuse, FindingReason::CutBySendLoop);
    } else if (line.readLength > kScanLineLimit) {
        add(check, number, FindingLevel::Warning, FindingReason::SplitByScans);
    }
    const S2Fields fields = parseS2(text);
    if (fields.hasAddress) {
        records.emplace_back(number, fields);
    }
}

void checkSRecordImage(ImageCheck& check, std::string_view image) {
    check.s2Records = countS2Records(image);
    NumberedRecords records;
    NumberedLines lines(image);
    Line line;
    for (std::size_t number = 1; lines.next(line); ++number) {
        if (!line.text.empty()) {
            checkNumberedLine(check, number, line, records);
        }
    }
    if (check.s2Records == 0) {
        ImageFinding f = finding(0, FindingLevel::Refuse, FindingReason::NoS2Record);
        f.result = PUSHKIT_ERR_NO_S2_RECORD;
        add(check, f);
        return;
    }
    const AddressRange range = addressRange(image, std::nullopt);  // every record, whatever its kind
    if (range.low <= range.high) {
        check.low = range.low;
        check.high = range.high;
    }
    findKind(check, image);
    checkWindows(check, records);
    checkOverlaps(check, image, std::move(records));
}

void checkHexImage(ImageCheck& check, std::string_view image) {
    check.hexLines = countHexLines(image, kLineProtocolLimit);
    NumberedLines lines(image);
    Line line;
    bool ended = false;
    for (std::size_t number = 1; lines.next(line); ++number) {
        const std::string_view text = line.text;
        if (ended) {
            if (!text.empty()) {
                add(check, number, FindingLevel::Warning, FindingReason::AfterEndRecord);
            }
            continue;
        }
        if (text.starts_with(kHexEndRecord)) {
            ended = check.hexEndRecord = true;
        }
        if (text.empty() || text[0] != ':') {
            add(check, number, FindingLevel::Warning, FindingReason::NotARecord);
            continue;
        }
        const std::optional<std::uint8_t> type = strictHexByte(text, 7);
        addProblems(check, number, checkHexLine(text, type.value_or(0) == 0x00));
        if (check.route == ImageRoute::LineProtocol && line.readLength > kLineProtocolLimit) {
            add(check, number, FindingLevel::Warning, FindingReason::SplitByLineProtocol);
        }
    }
    if (!check.hexEndRecord) {
        add(check, 0, FindingLevel::Warning, FindingReason::NoEndRecord);
    }
}

}  // namespace

ImageCheck checkImage(std::string_view name, std::string_view image) {
    ImageCheck check;
    check.route = imageRoute(name);
    switch (check.route) {
        case ImageRoute::SRecord:
            checkSRecordImage(check, image);
            break;
        case ImageRoute::RawStream:
        case ImageRoute::LineProtocol:
            checkHexImage(check, image);
            break;
        case ImageRoute::UnknownHexPrefix: {
            ImageFinding f = finding(0, FindingLevel::Refuse, FindingReason::UnknownHexName);
            f.result = PUSHKIT_ERR_HEX_PREFIX;
            add(check, f);
            checkHexImage(check, image);
            break;
        }
    }
    return check;
}

}  // namespace pushkit
