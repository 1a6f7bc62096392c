// Rows as JSON: only what the format needs (arrays and strings), written one row per line so that a
// change to one field is a one-line change under version control.
#include <optional>

#include "formwell/document/row_text_codec.h"
#include "row_text_support.h"

namespace formwell {

namespace {

void appendJsonString(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out.push_back(kHex[byte >> 4]);
                    out.push_back(kHex[byte & 0x0F]);
                } else {
                    rowtext::appendUtf8(out, byte);
                }
        }
    }
    out.push_back('"');
}

class JsonRowsParser {
  public:
    explicit JsonRowsParser(std::string_view text) : text_(text) {}

    RowsReadResult parse() {
        RowsReadResult result;
        if (!expect('[', "the rows must be a JSON array: [ [ ...seven texts... ], ... ]")) {
            return failed();
        }
        if (!peekIs(']')) {
            do {
                std::vector<std::string> cells;
                if (!parseRow(cells)) {
                    return failed();
                }
                rowtext::addRow(result, cells);
            } while (accept(','));
        }
        if (!expect(']', "',' or ']' expected after a row")) {
            return failed();
        }
        skipBlanks();
        if (pos_ < text_.size()) {
            fail(pos_, "nothing may follow the array of rows");
            return failed();
        }
        return result;
    }

  private:
    bool parseRow(std::vector<std::string>& cells) {
        const std::size_t rowStart = (skipBlanks(), pos_);
        if (!expect('[', "a row must be an array of seven texts")) {
            return false;
        }
        if (!peekIs(']')) {
            do {
                skipBlanks();
                if (cells.size() == static_cast<std::size_t>(kFieldColumnCount)) {
                    return fail(pos_, "a row has seven cells; this one has more");
                }
                std::string cell;
                if (!parseString(cell)) {
                    return false;
                }
                cells.push_back(std::move(cell));
            } while (accept(','));
        }
        if (!expect(']', "',' or ']' expected after a cell")) {
            return false;
        }
        if (cells.size() != static_cast<std::size_t>(kFieldColumnCount)) {
            return fail(rowStart, "a row has seven cells; this one has " + std::to_string(cells.size()));
        }
        return true;
    }

    bool parseString(std::string& out) {
        if (pos_ >= text_.size() || text_[pos_] != '"') {
            return fail(pos_, "a text in double quotes expected (every cell is a text, numbers too)");
        }
        ++pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return fail(pos_,
                            "a control character inside a text must be written as an escape (\\n, \\u0009)");
            }
            if (c != '\\') {
                out.push_back(c);  // UTF-8 bytes pass through; the whole text was checked before
                ++pos_;
                continue;
            }
            if (!parseEscape(out)) {
                return false;
            }
        }
        return fail(pos_, "the text has no closing double quote");
    }

    bool parseEscape(std::string& out) {
        const std::size_t start = pos_++;
        if (pos_ >= text_.size()) {
            return fail(start, "an escape is cut off");
        }
        const char kind = text_[pos_++];
        switch (kind) {
            case '"':
            case '\\':
            case '/':
                out.push_back(kind);
                return true;
            case 'b':
                out.push_back('\b');
                return true;
            case 'f':
                out.push_back('\f');
                return true;
            case 'n':
                out.push_back('\n');
                return true;
            case 'r':
                out.push_back('\r');
                return true;
            case 't':
                out.push_back('\t');
                return true;
            case 'u':
                break;
            default:
                return fail(start, "unknown escape");
        }
        std::optional<char32_t> unit = hex4();
        if (!unit) {
            return fail(start, "\\u needs four hexadecimal digits");
        }
        char32_t codePoint = *unit;
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
            // A character beyond the basic plane comes as a pair of escapes.
            std::optional<char32_t> low;
            if (text_.substr(pos_, 2) == "\\u") {
                pos_ += 2;
                low = hex4();
            }
            if (!low || *low < 0xDC00 || *low > 0xDFFF) {
                return fail(start, "a \\u escape of a surrogate pair is missing its second half");
            }
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (*low - 0xDC00);
        } else if (codePoint >= 0xDC00 && codePoint <= 0xDFFF) {
            return fail(start, "a \\u escape of a surrogate pair is missing its first half");
        }
        rowtext::appendUtf8(out, codePoint);
        return true;
    }

    std::optional<char32_t> hex4() {
        if (pos_ + 4 > text_.size()) {
            return std::nullopt;
        }
        char32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_ + static_cast<std::size_t>(i)];
            int digit = -1;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            }
            if (digit < 0) {
                return std::nullopt;
            }
            value = value * 16 + static_cast<char32_t>(digit);
        }
        pos_ += 4;
        return value;
    }

    void skipBlanks() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' || text_[pos_] == '\n')) {
            ++pos_;
        }
    }
    bool peekIs(char c) {
        skipBlanks();
        return pos_ < text_.size() && text_[pos_] == c;
    }
    bool accept(char c) {
        if (peekIs(c)) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool expect(char c, const char* what) { return accept(c) || fail(pos_, what); }
    bool fail(std::size_t at, std::string what) {
        if (!error_) {
            error_ = rowtext::errorAt(text_, at, std::move(what));
        }
        return false;
    }
    RowsReadResult failed() {
        RowsReadResult result;
        result.error = error_;
        return result;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::optional<RowsReadError> error_;
};

}  // namespace

std::string formatRowsJson(const std::vector<FieldDefinition>& rows) {
    if (rows.empty()) {
        return "[]\n";
    }
    std::string out = "[\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out += "  [";
        for (int column = 0; column < kFieldColumnCount; ++column) {
            if (column > 0) {
                out += ", ";
            }
            appendJsonString(out, cellText(rows[r], column));
        }
        out += r + 1 < rows.size() ? "],\n" : "]\n";
    }
    out += "]\n";
    return out;
}

RowsReadResult parseRowsJson(std::string_view text) {
    text = rowtext::withoutBom(text);
    if (std::optional<RowsReadError> notUtf8 = rowtext::checkUtf8(text)) {
        RowsReadResult result;
        result.error = std::move(notUtf8);
        return result;
    }
    return JsonRowsParser(text).parse();
}

}  // namespace formwell
