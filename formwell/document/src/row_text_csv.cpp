// Rows as CSV for spreadsheets: the grid's captions as the header, one line per row, CR LF line ends.
#include <optional>

#include "formwell/document/row_text_codec.h"
#include "row_text_support.h"

namespace formwell {

namespace {

bool needsQuotes(std::string_view bytes) {
    if (bytes.empty()) {
        return false;
    }
    // Spreadsheets and editors trim unquoted blanks at the ends; the INI file keeps them.
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return blank(bytes.front()) || blank(bytes.back()) ||
           bytes.find_first_of(",\"\r\n") != std::string_view::npos;
}

void appendCsvField(std::string& out, std::string_view utf8) {
    if (!needsQuotes(utf8)) {
        out += utf8;
        return;
    }
    out.push_back('"');
    for (const char c : utf8) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

struct CsvRecord {
    std::vector<std::string> fields;
    std::size_t start = 0;  // offset of its first character
};

class CsvReader {
  public:
    explicit CsvReader(std::string_view text) : text_(text) {}

    // The next record; nullopt at the end of the text or after an error (see error()). Lines holding
    // nothing at all are skipped: a blank line at the end of a file is no row.
    std::optional<CsvRecord> next() {
        while (pos_ < text_.size() && (text_[pos_] == '\r' || text_[pos_] == '\n')) {
            ++pos_;
        }
        if (pos_ >= text_.size() || error_) {
            return std::nullopt;
        }
        CsvRecord record;
        record.start = pos_;
        while (true) {
            std::string field;
            if (!readField(field)) {
                return std::nullopt;
            }
            record.fields.push_back(std::move(field));
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            endLine();
            return record;
        }
    }

    const std::optional<RowsReadError>& error() const { return error_; }
    void fail(std::size_t at, std::string what) {
        if (!error_) {
            error_ = rowtext::errorAt(text_, at, std::move(what));
        }
    }

  private:
    bool readField(std::string& field) {
        if (pos_ < text_.size() && text_[pos_] == '"') {
            const std::size_t open = pos_++;
            while (true) {
                if (pos_ >= text_.size()) {
                    fail(open, "a quoted field has no closing double quote");
                    return false;
                }
                const char c = text_[pos_++];
                if (c != '"') {
                    field.push_back(c);
                } else if (pos_ < text_.size() && text_[pos_] == '"') {
                    field.push_back('"');
                    ++pos_;
                } else {
                    break;
                }
            }
            if (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '\r' && text_[pos_] != '\n') {
                fail(pos_, "a quoted field must end at its closing double quote");
                return false;
            }
            return true;
        }
        while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '\r' && text_[pos_] != '\n') {
            if (text_[pos_] == '"') {
                fail(pos_,
                     "a double quote inside a field needs the whole field quoted and the quote doubled");
                return false;
            }
            field.push_back(text_[pos_++]);
        }
        return true;
    }

    void endLine() {
        if (pos_ < text_.size() && text_[pos_] == '\r') {
            ++pos_;
        }
        if (pos_ < text_.size() && text_[pos_] == '\n') {
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::optional<RowsReadError> error_;
};

std::string headerLine() {
    std::string line;
    for (int column = 0; column < kFieldColumnCount; ++column) {
        if (column > 0) {
            line.push_back(',');
        }
        appendCsvField(line, kFieldColumns[static_cast<std::size_t>(column)].caption);
    }
    return line;
}

}  // namespace

std::string formatRowsCsv(const std::vector<FieldDefinition>& rows) {
    std::string out = headerLine() + "\r\n";
    for (const FieldDefinition& row : rows) {
        for (int column = 0; column < kFieldColumnCount; ++column) {
            if (column > 0) {
                out.push_back(',');
            }
            appendCsvField(out, latin1ToUtf8(cellText(row, column)));
        }
        out += "\r\n";
    }
    return out;
}

RowsReadResult parseRowsCsv(std::string_view text) {
    RowsReadResult result;
    text = rowtext::withoutBom(text);
    if (std::optional<RowsReadError> notUtf8 = rowtext::checkUtf8(text)) {
        result.error = std::move(notUtf8);
        return result;
    }
    CsvReader reader(text);
    const std::optional<CsvRecord> header = reader.next();
    if (!header && !reader.error()) {
        reader.fail(0, "the header line is missing: " + headerLine());
    } else if (header) {
        std::vector<std::string> expected;
        for (const FieldColumnInfo& column : kFieldColumns) {
            expected.emplace_back(column.caption);
        }
        if (header->fields != expected) {
            reader.fail(header->start, "the first line must be the column captions: " + headerLine());
        }
    }
    while (!reader.error()) {
        const std::optional<CsvRecord> record = reader.next();
        if (!record) {
            break;
        }
        if (record->fields.size() != static_cast<std::size_t>(kFieldColumnCount)) {
            reader.fail(record->start,
                        "a row has seven fields; this one has " + std::to_string(record->fields.size()));
            break;
        }
        rowtext::addRow(result, record->fields);
    }
    if (reader.error()) {
        return RowsReadResult{{}, {}, reader.error()};
    }
    return result;
}

}  // namespace formwell
