// Hostile INI files: any bytes must split, parse and format back without a fault, and what the
// editor writes for a read row must be a well-formed record that reads back to the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formwell/document/ini_file.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::size_t kRecordWithEnding = formwell::kIniRecordLength + 2;

bool isBlank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

void checkLine(std::string_view line) {
    check(line.find_first_of("\r\n") == std::string_view::npos);
    const formwell::FieldDefinition row = formwell::parseIniLine(line);
    check(!row.MinFieldLength.empty());
    check(row.Barcodes.size() == 16);

    // Cut values fit their slots, so the record is exactly 42 characters and CR LF.
    const std::string record = formwell::formatIniRecord(row);
    check(record.size() == kRecordWithEnding);
    check(record.compare(formwell::kIniRecordLength, 2, "\r\n") == 0);

    // Reading what we wrote and writing it again changes nothing.
    const std::string_view body(record.data(), formwell::kIniRecordLength);
    check(formwell::formatIniRecord(formwell::parseIniLine(body)) == record);

    // A full line comes back slot for slot, except where the reader filled in a default.
    if (line.size() >= formwell::kIniRecordLength) {
        const std::string_view minSlot = line.substr(24, 2);
        const std::string_view maskSlot = line.substr(26, 16);
        const std::size_t maskStart = maskSlot.find_first_not_of(' ');
        const bool completeMask = maskStart == 0 && maskSlot.back() != ' ';
        check(body.substr(0, 24) == line.substr(0, 24));
        check(body.substr(24, 2) == (isBlank(minSlot) ? std::string_view("1 ") : minSlot));
        check(body.substr(26, 16) == (completeMask ? maskSlot : formwell::kDefaultBarcodeMask));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto lines = formwell::splitIniLines(text);
    check(size != 0 || lines.empty());
    for (const std::string& line : lines) {
        checkLine(line);
    }

    const formwell::IniReadResult read = formwell::parseIniDocument(text);
    const bool overflows = lines.size() > static_cast<std::size_t>(formwell::kMaxFields);
    check(read.error.has_value() == overflows);
    check(read.rows.size() == (overflows ? static_cast<std::size_t>(formwell::kMaxFields) : lines.size()));
    for (std::size_t i = 0; i < read.rows.size(); ++i) {
        check(read.rows[i] == formwell::parseIniLine(lines[i]));  // the document reader's own line cutting
    }
    const std::string saved = formwell::formatIniDocument(read.rows);
    check(saved.size() == read.rows.size() * kRecordWithEnding);

    // The rows as the editor keeps them (lines until changed, read in two pieces) save the same
    // bytes: a line copied as it stands is exactly what its values would write.
    formwell::IniDocumentParser parser;
    parser.feed(text.substr(0, size / 2));
    parser.feed(text.substr(size / 2));
    const formwell::IniRowsResult kept = parser.finish();
    check(kept.rows.toVector() == read.rows);
    check(formwell::formatIniDocument(kept.rows) == saved);
    return 0;
}
