// The INI field document on disk: no sections or keys, but one fixed-width record per field, read
// by the terminal's application exactly as stored:
//
//   1-14 FieldName | 15-20 FieldType | 21-22 FieldLength (max) | 23 Required | 24 Loopback |
//   25-26 MinFieldLength | 27-42 Barcodes mask | CR LF
//
// Single-byte text, no header, no blank lines, no line ending beyond each record's own CR LF; a
// document with no fields is a 0-byte file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formwell/common/app_error.h"
#include "formwell/document/field_definition.h"
#include "formwell/document/field_rows.h"

namespace formwell {

class IniLineSplitter;

inline constexpr std::size_t kIniRecordLength = 42;  // characters before CR LF
inline constexpr std::string_view kIniLineEnd = "\r\n";

// Min Length given to a row whose file slot is blank.
inline constexpr std::string_view kDefaultMinFieldLength = "1";

// One record with its CR LF. Values are never cut; an empty Barcodes becomes the default mask.
std::string formatIniRecord(const FieldDefinition& row);
// A row still as read from its line is written as the line stands when the line is already what
// its values would give.
std::string formatIniDocument(const FieldRows& rows);

// One line (without its line ending) to a row. Accepts every line; never fails.
FieldDefinition parseIniLine(std::string_view line);
// One value of that row, by grid column (empty text for an index outside 0..6).
std::string iniLineCellText(std::string_view line, int column);

// Lines of a file's text. A line ends at CR, LF or CR LF; an empty line is a line, but the ending of
// the last line does not start another one, so "" gives no lines and "a\r\n" gives one.
std::vector<std::string> splitIniLines(std::string_view text);

struct IniReadResult {
    std::vector<FieldDefinition> rows;  // every row read before an error
    std::optional<AppError> error;
};

// As IniReadResult, with the rows kept as the file's lines until they are looked at (for the grid).
struct IniRowsResult {
    FieldRows rows;  // every row read before an error
    std::optional<AppError> error;
};

// Rows from a file's bytes as they arrive, chunk by chunk. Stops at the first error. Only the
// record's characters of each line are kept, so one endless line cannot exhaust memory.
class IniDocumentParser {
  public:
    IniDocumentParser();
    ~IniDocumentParser();
    IniDocumentParser(IniDocumentParser&&) noexcept;
    IniDocumentParser& operator=(IniDocumentParser&&) noexcept;
    // A hint: the input is about this long, so room for it is made once.
    void expectBytes(std::uintmax_t bytes);
    // False once no more input is wanted (an error occurred).
    bool feed(std::string_view chunk);
    // Room for at least `atLeast` bytes of input (all the room there is), to read into directly;
    // then `feedRead` with how many arrived. Saves copying a file's bytes twice.
    std::span<char> readSpace(std::size_t atLeast);
    bool feedRead(std::size_t got);
    // The rows of a complete input, its unterminated last line included.
    IniRowsResult finish();
    // The rows completed so far and `error`; a line cut off by the error is dropped.
    IniRowsResult stop(AppError error);

  private:
    bool addLine(std::string_view line);
    // Notes the lines from `from` that need no moving, up to the first that does; returns where the
    // lines not noted begin. `afterCr`: the last ending noted was a CR.
    std::size_t noteLinesInPlace(std::size_t from, std::size_t got, bool& afterCr);
    void reserveText(std::size_t bytes);
    IniRowsResult takeResult();

    std::unique_ptr<IniLineSplitter> splitter_;  // held by pointer: its SSE2 search stays inside the reader
    // The kept characters of the lines so far, then the input not yet cut into lines.
    std::shared_ptr<char[]> text_;
    std::size_t capacity_ = 0;
    std::size_t kept_ = 0;
    std::size_t gap_ = 0;  // between the kept characters and the input of the last readSpace
    std::vector<FieldRows::Entry> lines_;
    std::optional<AppError> error_;
};

// Parses a whole file's text. More than kMaxFields lines: the first kMaxFields rows and error 6.
IniReadResult parseIniDocument(std::string_view text);

// Reads a whole file: a missing file is error 53, anything but a regular file (a directory, a FIFO, a
// device that never ends) is error 75, without waiting on it. After an error the rows read before it
// are kept.
IniReadResult readIniFile(const std::filesystem::path& path);
IniRowsResult readIniRows(const std::filesystem::path& path);

// Replaces the file with the rows (replaceFileContents: a failed save leaves the old content, and
// owner, links and permissions stay as they were). More than kMaxFields rows: error 6 and nothing is
// touched.
std::optional<AppError> writeIniFile(const std::filesystem::path& path, const FieldRows& rows);

}  // namespace formwell
