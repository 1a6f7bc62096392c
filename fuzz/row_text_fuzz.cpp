// Rows imported from JSON and CSV (formwell-cli's ini import): any text reads without a fault, an
// error points into the text, rows that read are written and read back unchanged, and a row's INI
// record keeps its fixed width exactly when none of its cells is over-long, as it is once they are cut.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formwell/document/ini_file.h"
#include "formwell/document/row_text_codec.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::size_t kRecordBytes = formwell::kIniRecordLength + formwell::kIniLineEnd.size();

void checkColumns(std::vector<formwell::FieldDefinition> rows) {
    const std::vector<formwell::OverlongCell> overlong = formwell::overlongCells(rows);
    for (std::size_t r = 0, next = 0; r < rows.size(); ++r) {
        bool rowOverlong = false;
        for (; next < overlong.size() && overlong[next].row == r; ++next) {
            const formwell::OverlongCell& cell = overlong[next];
            check(cell.column >= 0 && cell.column < 7 && cell.length > cell.width);
            check(formwell::cellText(rows[r], cell.column).size() == cell.length);
            rowOverlong = true;
        }
        check((formwell::formatIniRecord(rows[r]).size() == kRecordBytes) == !rowOverlong);
    }
    formwell::cutToColumns(rows);
    check(formwell::overlongCells(rows).empty());
    for (const formwell::FieldDefinition& row : rows) {
        check(formwell::formatIniRecord(row).size() == kRecordBytes);
    }
}

using Reader = formwell::RowsReadResult (*)(std::string_view);
using Writer = std::string (*)(const std::vector<formwell::FieldDefinition>&);

void checkReader(std::string_view text, Reader read, Writer write) {
    const formwell::RowsReadResult result = read(text);
    if (result.error) {
        const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        check(result.error->line >= 1 && result.error->line <= lines && result.error->column >= 1);
        check(!result.error->what.empty() && !formwell::describeReadError(*result.error).empty());
        return;
    }
    for (const formwell::ReplacedCell& cell : result.replaced) {
        check(cell.row < result.rows.size() && cell.column >= 0 && cell.column < 7);
    }
    const std::string written = write(result.rows);
    const formwell::RowsReadResult again = read(written);
    check(!again.error && again.replaced.empty() && again.rows == result.rows);
    checkColumns(result.rows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkReader(text, formwell::parseRowsJson, formwell::formatRowsJson);
    checkReader(text, formwell::parseRowsCsv, formwell::formatRowsCsv);

    // Single-byte text survives the trip through UTF-8 unchanged.
    bool replaced = false;
    std::size_t badAt = 0;
    check(formwell::utf8ToLatin1(formwell::latin1ToUtf8(text), replaced, badAt) == std::string(text));
    check(!replaced);
    return 0;
}
