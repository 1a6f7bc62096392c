#include "formwell/document/field_rows.h"

#include <stdexcept>

#include "formwell/document/grid_rules.h"
#include "formwell/document/ini_file.h"

namespace formwell {

FieldRows::FieldRows(std::vector<FieldDefinition> rows) : changed_(std::move(rows)) {
    entries_.reserve(changed_.size());
    for (std::size_t i = 0; i < changed_.size(); ++i) {
        entries_.push_back({kChanged, static_cast<std::uint32_t>(i)});
    }
}

FieldRows::FieldRows(std::shared_ptr<const char[]> text, std::vector<Entry> entries)
    : text_(std::move(text)), entries_(std::move(entries)) {}

std::optional<std::string_view> FieldRows::unchangedLine(std::size_t index) const {
    const Entry& entry = entries_.at(index);
    if (entry.at == kChanged) {
        return std::nullopt;
    }
    return std::string_view(text_.get() + entry.at, entry.length);
}

FieldDefinition FieldRows::row(std::size_t index) const {
    if (const std::optional<std::string_view> line = unchangedLine(index)) {
        return parseIniLine(*line);
    }
    return changed_[entries_[index].length];
}

std::string FieldRows::cellText(std::size_t index, int column) const {
    if (const std::optional<std::string_view> line = unchangedLine(index)) {
        return iniLineCellText(*line, column);
    }
    return formwell::cellText(changed_[entries_[index].length], column);
}

void FieldRows::set(std::size_t index, FieldDefinition row) {
    Entry& entry = entries_.at(index);
    if (entry.at == kChanged) {
        changed_[entry.length] = std::move(row);
        return;
    }
    entry = {kChanged, static_cast<std::uint32_t>(changed_.size())};
    changed_.push_back(std::move(row));
}

void FieldRows::append(FieldDefinition row) {
    entries_.push_back({kChanged, static_cast<std::uint32_t>(changed_.size())});
    changed_.push_back(std::move(row));
}

void FieldRows::erase(std::size_t first, std::size_t count) {
    if (first > entries_.size() || count > entries_.size() - first) {
        throw std::out_of_range("FieldRows::erase");
    }
    const auto from = entries_.begin() + static_cast<std::ptrdiff_t>(first);
    entries_.erase(from, from + static_cast<std::ptrdiff_t>(count));
}

std::vector<FieldDefinition> FieldRows::toVector() const {
    std::vector<FieldDefinition> rows;
    rows.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        rows.push_back(row(i));
    }
    return rows;
}

int countMatches(const FieldRows& rows, int column, std::string_view text) {
    if (!isFieldColumn(column)) {
        return 0;
    }
    int count = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        count += equalsIgnoringCase(rows.cellText(i, column), text) ? 1 : 0;
    }
    return count;
}

int applySingleLoopback(FieldRows& rows, int currentRow) {
    constexpr int kLoopback = static_cast<int>(FieldColumn::Loopback);
    int changed = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (static_cast<int>(i) != currentRow && equalsIgnoringCase(rows.cellText(i, kLoopback), "Y")) {
            FieldDefinition row = rows.row(i);
            row.Loopback.assign(1, 'N');
            rows.set(i, std::move(row));
            ++changed;
        }
    }
    return changed;
}

}  // namespace formwell
