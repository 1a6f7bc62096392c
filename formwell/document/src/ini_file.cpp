#include "formwell/document/ini_file.h"

#include <algorithm>

#include "formwell/document/ini_line_splitter.h"

namespace formwell {

namespace {

// Slots of the record, counted from 1 as the terminal's reader counts them.
struct Slot {
    std::size_t position;
    std::size_t width;
};
constexpr Slot kNameSlot{1, 14};
constexpr Slot kTypeSlot{15, 6};
constexpr Slot kMaxLengthSlot{21, 2};
constexpr Slot kRequiredSlot{23, 1};
constexpr Slot kLoopbackSlot{24, 1};
constexpr Slot kMinLengthSlot{25, 2};
constexpr Slot kMaskSlot{27, 16};

// Short lines give what exists of the slot, possibly nothing.
std::string_view cut(std::string_view line, Slot slot) {
    const std::size_t start = slot.position - 1;
    if (start >= line.size()) {
        return {};
    }
    return line.substr(start, slot.width);
}

// Only blanks are trimmed; tabs and other characters belong to the value.
std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// A slot holding only blanks is an empty value; otherwise the value keeps its padding, so that
// writing it back reproduces the same characters.
void assignUntrimmedUnlessBlank(std::string& value, std::string_view slotText) {
    if (slotText.find_first_not_of(' ') == std::string_view::npos) {
        value.clear();
    } else {
        value.assign(slotText);
    }
}

// Fills a row in place: a document may hold tens of thousands of rows, and each value built apart
// and then moved in cost a good part of opening it.
void readIniLineInto(std::string_view line, FieldDefinition& row) {
    assignUntrimmedUnlessBlank(row.FieldName, cut(line, kNameSlot));
    assignUntrimmedUnlessBlank(row.FieldType, cut(line, kTypeSlot));
    assignUntrimmedUnlessBlank(row.MinFieldLength, cut(line, kMinLengthSlot));
    if (row.MinFieldLength.empty()) {
        row.MinFieldLength = kDefaultMinFieldLength;
    }
    assignUntrimmedUnlessBlank(row.FieldLength, cut(line, kMaxLengthSlot));
    assignUntrimmedUnlessBlank(row.Required, cut(line, kRequiredSlot));
    assignUntrimmedUnlessBlank(row.Loopback, cut(line, kLoopbackSlot));
    // A mask is taken only when it is complete; a short or blank one gets every symbology back on.
    const std::string_view mask = trimBlanks(cut(line, kMaskSlot));
    row.Barcodes = mask.size() == kMaskSlot.width ? mask : kDefaultBarcodeMask;
}

// Each value padded to its slot; a longer value is written whole, as it always has been.
void appendPadded(std::string& out, std::string_view value, Slot slot) {
    out += value;
    if (value.size() < slot.width) {
        out.append(slot.width - value.size(), ' ');
    }
}

void appendIniRecord(std::string& out, const FieldDefinition& row) {
    const std::string_view mask = row.Barcodes.empty() ? kDefaultBarcodeMask : row.Barcodes;
    appendPadded(out, row.FieldName, kNameSlot);
    appendPadded(out, row.FieldType, kTypeSlot);
    appendPadded(out, row.FieldLength, kMaxLengthSlot);
    appendPadded(out, row.Required, kRequiredSlot);
    appendPadded(out, row.Loopback, kLoopbackSlot);
    appendPadded(out, row.MinFieldLength, kMinLengthSlot);
    appendPadded(out, mask, kMaskSlot);
    out += kIniLineEnd;
}

}  // namespace

std::string formatIniRecord(const FieldDefinition& row) {
    std::string line;
    line.reserve(kIniRecordLength + kIniLineEnd.size());
    appendIniRecord(line, row);
    return line;
}

std::string formatIniDocument(const std::vector<FieldDefinition>& rows) {
    std::string text;
    text.reserve(rows.size() * (kIniRecordLength + kIniLineEnd.size()));
    for (const FieldDefinition& row : rows) {
        appendIniRecord(text, row);
    }
    return text;
}

FieldDefinition parseIniLine(std::string_view line) {
    FieldDefinition row;
    readIniLineInto(line, row);
    return row;
}

std::vector<std::string> splitIniLines(std::string_view text) {
    std::vector<std::string> lines;
    IniLineSplitter splitter;
    const auto keep = [&lines](std::string_view line) {
        lines.emplace_back(line);
        return true;
    };
    splitter.feed(text, keep);
    splitter.finish(keep);
    return lines;
}

IniDocumentParser::IniDocumentParser() : splitter_(kIniRecordLength) {}

void IniDocumentParser::expectBytes(std::uintmax_t bytes) {
    const std::uintmax_t lines = bytes / (kIniRecordLength + kIniLineEnd.size()) + 1;
    result_.rows.reserve(static_cast<std::size_t>(std::min<std::uintmax_t>(lines, kMaxFields)));
}

bool IniDocumentParser::feed(std::string_view chunk) {
    if (result_.error) {
        return false;
    }
    return splitter_.feed(chunk, [this](std::string_view line) { return addLine(line); });
}

IniReadResult IniDocumentParser::finish() {
    if (!result_.error) {
        splitter_.finish([this](std::string_view line) { return addLine(line); });
    }
    return std::move(result_);
}

IniReadResult IniDocumentParser::stop(AppError error) {
    result_.error = std::move(error);
    return std::move(result_);
}

bool IniDocumentParser::addLine(std::string_view line) {
    // The terminal and the editor count rows in 16 bits: refuse the row that would not fit rather
    // than let a counter wrap.
    if (result_.rows.size() >= static_cast<std::size_t>(kMaxFields)) {
        result_.error = makeError(errnum::kOverflow);
        return false;
    }
    readIniLineInto(line, result_.rows.emplace_back());
    return true;
}

IniReadResult parseIniDocument(std::string_view text) {
    IniDocumentParser parser;
    parser.feed(text);
    return parser.finish();
}

}  // namespace formwell
