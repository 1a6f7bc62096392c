#include "formwell/document/ini_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "ini_line_splitter.h"

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

// The slot of each grid column, in the grid's order.
constexpr std::array<Slot, kFieldColumnCount> kColumnSlots = {
    kNameSlot, kTypeSlot, kMinLengthSlot, kMaxLengthSlot, kRequiredSlot, kLoopbackSlot, kMaskSlot};

// One value as the editor reads it from its slot.
void readIniCellInto(std::string_view line, FieldColumn column, std::string& value) {
    const Slot slot = kColumnSlots[static_cast<std::size_t>(column)];
    if (column == FieldColumn::Barcodes) {
        // A mask is taken only when it is complete; a short or blank one gets every symbology back on.
        const std::string_view mask = trimBlanks(cut(line, slot));
        value = mask.size() == slot.width ? mask : kDefaultBarcodeMask;
        return;
    }
    assignUntrimmedUnlessBlank(value, cut(line, slot));
    if (column == FieldColumn::MinFieldLength && value.empty()) {
        value = kDefaultMinFieldLength;
    }
}

// Fills a row in place, reusing the room its values already have.
void readIniLineInto(std::string_view line, FieldDefinition& row) {
    for (int column = 0; column < kFieldColumnCount; ++column) {
        const auto field = static_cast<FieldColumn>(column);
        readIniCellInto(line, field, cell(row, field));
    }
}

// True when writing the line's values gives the line back: a whole record, a Min Length present and
// a complete mask (the only slots the reader fills in or replaces).
bool isInSavedForm(std::string_view line) {
    if (line.size() != kIniRecordLength) {
        return false;
    }
    const std::string_view mask = cut(line, kMaskSlot);
    return cut(line, kMinLengthSlot).find_first_not_of(' ') != std::string_view::npos &&
           mask.front() != ' ' && mask.back() != ' ';
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

std::string formatIniDocument(const FieldRows& rows) {
    std::string text;
    text.reserve(rows.size() * (kIniRecordLength + kIniLineEnd.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::optional<std::string_view> line = rows.unchangedLine(i);
        if (line && isInSavedForm(*line)) {
            text += *line;
            text += kIniLineEnd;
        } else {
            appendIniRecord(text, rows.row(i));
        }
    }
    return text;
}

FieldDefinition parseIniLine(std::string_view line) {
    FieldDefinition row;
    readIniLineInto(line, row);
    return row;
}

std::string iniLineCellText(std::string_view line, int column) {
    std::string value;
    if (isFieldColumn(column)) {
        readIniCellInto(line, static_cast<FieldColumn>(column), value);
    }
    return value;
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

namespace {
constexpr auto kMaxFieldRows = static_cast<std::size_t>(kMaxFields);
}  // namespace

IniDocumentParser::IniDocumentParser() : splitter_(std::make_unique<IniLineSplitter>(kIniRecordLength)) {}
IniDocumentParser::~IniDocumentParser() = default;
IniDocumentParser::IniDocumentParser(IniDocumentParser&&) noexcept = default;
IniDocumentParser& IniDocumentParser::operator=(IniDocumentParser&&) noexcept = default;

void IniDocumentParser::reserveText(std::size_t bytes) {
    if (bytes <= capacity_ - kept_) {
        return;
    }
    constexpr std::size_t kLeastCapacity = 4096;
    const std::size_t capacity = std::max({kept_ + bytes, 2 * capacity_, kLeastCapacity});
    // Not zero-filled: every byte is read into before it is looked at.
    std::shared_ptr<char[]> grown = std::make_shared_for_overwrite<char[]>(capacity);
    if (kept_ > 0) {
        std::memcpy(grown.get(), text_.get(), kept_);
    }
    text_ = std::move(grown);
    capacity_ = capacity;
}

void IniDocumentParser::expectBytes(std::uintmax_t bytes) {
    const std::uintmax_t lines = bytes / (kIniRecordLength + kIniLineEnd.size()) + 1;
    lines_.reserve(static_cast<std::size_t>(std::min<std::uintmax_t>(lines, kMaxFields)));
    // The file as far as a document that fills all its rows, read at once; then room for the read
    // that meets the end of the file, past an unterminated last line. A longer file is read in pieces.
    constexpr std::uintmax_t kLargestDocument = (kIniRecordLength + kIniLineEnd.size()) * kMaxFields;
    reserveText(static_cast<std::size_t>(std::min(bytes, kLargestDocument)) + kIniRecordLength + 1);
}

std::span<char> IniDocumentParser::readSpace(std::size_t atLeast) {
    // A line that the last piece of input left open is gathered by the splitter and stored at `kept_`
    // once it ends; the next input goes past the room it can take, or storing it would overwrite
    // input not yet cut into lines.
    gap_ = splitter_->holdsOpenLine() ? kIniRecordLength : 0;
    reserveText(gap_ + atLeast);
    return {text_.get() + kept_ + gap_, capacity_ - kept_ - gap_};
}

std::size_t IniDocumentParser::noteLinesInPlace(std::size_t from, std::size_t got, bool& afterCr) {
    const char* const text = text_.get();
    const std::size_t end = from + got;
    // Locals the compiler keeps in registers across the stores of the loops.
    std::size_t lineStart = from;
    std::size_t kept = kept_;
    bool cr = afterCr;
    std::size_t room = kMaxFieldRows - std::min(lines_.size(), kMaxFieldRows);
    // What the editor saves is a record and CR LF per line: such lines are checked where their
    // ending must stand, without searching for it.
    constexpr std::size_t kSavedLine = kIniRecordLength + kIniLineEnd.size();
    if (!cr && lineStart - kept <= kIniLineEnd.size()) {
        while (room != 0 && end - lineStart >= kSavedLine && text[lineStart + kIniRecordLength] == '\r' &&
               text[lineStart + kIniRecordLength + 1] == '\n' &&
               !holdsLineEnding(text + lineStart, kIniRecordLength)) {
            lines_.push_back(
                {static_cast<std::uint32_t>(lineStart), static_cast<std::uint32_t>(kIniRecordLength)});
            --room;
            kept = lineStart + kIniRecordLength;
            lineStart += kSavedLine;
        }
    }
    // Any other line: its ending searched for.
    const std::size_t searchFrom = lineStart;
    LineEndings endings(std::string_view(text + searchFrom, end - searchFrom));
    for (std::size_t found = endings.next(); searchFrom + found < end; found = endings.next()) {
        const std::size_t at = searchFrom + found;
        if (cr && at == lineStart && text[at] == '\n') {
            cr = false;
            ++lineStart;
            continue;
        }
        const std::size_t length = at - lineStart;
        if (length > kIniRecordLength || lineStart - kept > kIniLineEnd.size() || room == 0) {
            break;
        }
        lines_.push_back({static_cast<std::uint32_t>(lineStart), static_cast<std::uint32_t>(length)});
        --room;
        kept = lineStart + length;
        cr = text[at] == '\r';
        lineStart = at + 1;
    }
    kept_ = kept;
    afterCr = cr;
    return lineStart;
}

bool IniDocumentParser::feedRead(std::size_t got) {
    if (error_) {
        return false;
    }
    std::size_t from = kept_ + gap_;
    // A document's lines are a record or less, each right after the ending of the one before: they
    // are noted where they lie. From the first other line on (a longer one, one begun in the last
    // input), the splitter cuts the rest; addLine moves their kept characters down over what was
    // dropped before them. A line still open at the end is held by the splitter, so what arrived
    // after `kept_` can go.
    if (splitter_->atLineStart()) {
        bool afterCr = false;
        const std::size_t rest = noteLinesInPlace(from, got, afterCr);
        splitter_->continueAfterEnding(afterCr);
        got -= rest - from;
        from = rest;
    }
    return splitter_->feed(std::string_view(text_.get() + from, got),
                           [this](std::string_view line) { return addLine(line); });
}

bool IniDocumentParser::feed(std::string_view chunk) {
    if (error_) {
        return false;
    }
    if (!chunk.empty()) {
        std::memcpy(readSpace(chunk.size()).data(), chunk.data(), chunk.size());
    }
    return feedRead(chunk.size());
}

IniRowsResult IniDocumentParser::finish() {
    if (!error_) {
        splitter_->finish([this](std::string_view line) { return addLine(line); });
    }
    return takeResult();
}

IniRowsResult IniDocumentParser::stop(AppError error) {
    error_ = std::move(error);
    return takeResult();
}

IniRowsResult IniDocumentParser::takeResult() {
    IniRowsResult result{FieldRows(std::move(text_), std::move(lines_)), std::move(error_)};
    text_.reset();
    lines_.clear();
    error_.reset();
    capacity_ = 0;
    kept_ = 0;
    return result;
}

bool IniDocumentParser::addLine(std::string_view line) {
    // The terminal and the editor count rows in 16 bits: refuse the row that would not fit rather
    // than let a counter wrap.
    if (lines_.size() >= kMaxFieldRows) {
        error_ = makeError(errnum::kOverflow);
        return false;
    }
    // A line lying in the text stays where it is when only a line ending lies between it and the
    // line before (the text keeps at most a record and its ending per line); otherwise it is moved
    // down. One the splitter gathered across reads is copied in, after making room for it.
    const auto address = reinterpret_cast<std::uintptr_t>(line.data());
    const auto start = reinterpret_cast<std::uintptr_t>(text_.get());
    const bool inText = text_ && address >= start && address < start + capacity_;
    std::size_t at = kept_;
    if (inText && static_cast<std::size_t>(line.data() - (text_.get() + kept_)) <= kIniLineEnd.size()) {
        at = static_cast<std::size_t>(line.data() - text_.get());
    } else {
        if (!inText) {
            reserveText(line.size());
        }
        if (!line.empty()) {
            std::memmove(text_.get() + kept_, line.data(), line.size());
        }
    }
    lines_.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(line.size())});
    kept_ = at + line.size();
    return true;
}

IniReadResult parseIniDocument(std::string_view text) {
    IniDocumentParser parser;
    parser.feed(text);
    IniRowsResult read = parser.finish();
    return {read.rows.toVector(), std::move(read.error)};
}

}  // namespace formwell
