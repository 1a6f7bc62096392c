// The rows of a document as the editor holds them. A document just read keeps the characters of its
// lines (the record's 42 at most) and where each line starts; a row is cut into its values only when
// it is looked at or changed, so opening even the largest document costs little more than reading
// the file. Rows entered or changed in the grid are held as values. Copies share the file's text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "formwell/document/field_definition.h"

namespace formwell {

class FieldRows {
  public:
    FieldRows() = default;
    FieldRows(std::vector<FieldDefinition> rows);  // NOLINT(google-explicit-constructor): rows are rows
    FieldRows(std::initializer_list<FieldDefinition> rows) : FieldRows(std::vector<FieldDefinition>(rows)) {}

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    FieldDefinition row(std::size_t index) const;
    std::string cellText(std::size_t index, int column) const;
    // The line of the file the row still is (without its ending), or nothing once it was changed or
    // when it was never read from a file.
    std::optional<std::string_view> unchangedLine(std::size_t index) const;

    void set(std::size_t index, FieldDefinition row);
    void append(FieldDefinition row);
    void erase(std::size_t first, std::size_t count);

    std::vector<FieldDefinition> toVector() const;

  private:
    friend class IniDocumentParser;

    // A row still as read: `length` characters of the text from `at`. A changed row: `at` is kChanged
    // and `length` its place in changed_.
    struct Entry {
        std::uint32_t at;
        std::uint32_t length;
    };
    static constexpr std::uint32_t kChanged = UINT32_MAX;

    FieldRows(std::shared_ptr<const char[]> text, std::vector<Entry> entries);

    std::shared_ptr<const char[]> text_;
    std::vector<Entry> entries_;
    // Removing a changed row leaves its value here unused; the user's edits are few against the
    // rows a file can bring, and a new document or a reload starts afresh.
    std::vector<FieldDefinition> changed_;
};

// Rows whose cell in `column` equals `text`, ignoring case (Save counts Loopback "Y" this way).
int countMatches(const FieldRows& rows, int column, std::string_view text);

// After "Y" was chosen from the list in the Loopback column of `currentRow`: every other row whose
// Loopback is "Y" (any case) becomes "N". Returns how many rows changed.
int applySingleLoopback(FieldRows& rows, int currentRow);

}  // namespace formwell
