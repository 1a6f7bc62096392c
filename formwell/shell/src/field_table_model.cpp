#include "formwell/shell/field_table_model.h"

#include <QStringList>

#include "formwell/document/barcode_mask.h"
#include "formwell/document/grid_rules.h"

namespace formwell::shell {

namespace {

constexpr int kMinLengthColumn = static_cast<int>(FieldColumn::MinFieldLength);
constexpr int kMaxLengthColumn = static_cast<int>(FieldColumn::FieldLength);
constexpr int kLoopbackColumn = static_cast<int>(FieldColumn::Loopback);

// The INI file is single-byte text that the terminal reads at fixed character positions, so cells
// hold one byte per character: Latin-1 both ways (a character outside it becomes '?').
QString toQt(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string fromQt(const QString& text) {
    return text.toLatin1().toStdString();
}

}  // namespace

bool FieldTableModel::isCell(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && index.row() < rowCount() &&
           isFieldColumn(index.column());
}

FieldTableModel::FieldTableModel(UserInteraction& ui, QObject* parent)
    : QAbstractTableModel(parent), ui_(ui) {}

int FieldTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(rows_.size()) + (editing_ ? 1 : 0);
}

int FieldTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kFieldColumnCount;
}

QString allowedBarcodesText(const QString& mask) {
    const SymbologyChecks checked = checkedFromMask(mask.toLatin1().toStdString());
    QStringList names;
    for (std::size_t i = 0; i < checked.size(); ++i) {
        if (checked[i]) {
            names << toQt(std::string(kSymbologies[i].caption));
        }
    }
    return names.isEmpty() ? QStringLiteral("Allows none") : QStringLiteral("Allows: ") + names.join(", ");
}

QVariant FieldTableModel::data(const QModelIndex& index, int role) const {
    const bool barcodeTip =
        role == Qt::ToolTipRole && index.column() == static_cast<int>(FieldColumn::Barcodes);
    if (!isCell(index) || (role != Qt::DisplayRole && role != Qt::EditRole && !barcodeTip)) {
        return {};
    }
    if (index.row() >= static_cast<int>(rows_.size())) {
        return barcodeTip ? QVariant() : QVariant(QString());  // the new-row line
    }
    const QString text = toQt(rows_.cellText(static_cast<std::size_t>(index.row()), index.column()));
    if (barcodeTip) {
        // The mask in words, then whole (it is wider than its column); a blank cell has neither.
        return text.isEmpty() ? QVariant() : QVariant(allowedBarcodesText(text) + QLatin1Char('\n') + text);
    }
    return text;
}

QVariant FieldTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        if (!isFieldColumn(section)) {
            return {};
        }
        const std::string_view caption = kFieldColumns[static_cast<std::size_t>(section)].caption;
        return QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size()));
    }
    return isNewRowLine(section) ? QStringLiteral("*") : QString::number(section + 1);
}

Qt::ItemFlags FieldTableModel::flags(const QModelIndex& index) const {
    if (!isCell(index)) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // The Barcodes cell is set through its button, never by typing.
    if (editing_ && index.column() != static_cast<int>(FieldColumn::Barcodes)) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

bool FieldTableModel::editRow(FieldDefinition& row, int column, const QString& text) {
    const int limit = kFieldColumns[static_cast<std::size_t>(column)].inputLimit;
    const std::string newText = fromQt(text.left(limit));
    const std::string oldValue = cellText(row, column);
    // Leaving a cell whose text was not changed is no edit: nothing to check, nothing to adjust.
    if (newText == oldValue) {
        return false;
    }
    if (column == kMinLengthColumn || column == kMaxLengthColumn) {
        const FieldDefinition before = row;
        applyLengthEdit(row, column, newText, oldValue, ui_);
        return !(row == before);
    }
    return setCellText(row, column, newText);
}

bool FieldTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!editing_ || role != Qt::EditRole || committing_ || !isCell(index)) {
        return false;
    }
    committing_ = true;
    const int column = index.column();
    const QString text = value.toString();
    bool changed = false;
    if (isNewRowLine(index.row())) {
        // The new-row line becomes a row only when the entry leaves something in it.
        FieldDefinition fresh;
        if (editRow(fresh, column, text)) {
            const int at = static_cast<int>(rows_.size());
            // The blank line stays where it was and a new blank line appears below it; then the
            // entry fills the line that became a row.
            beginInsertRows(QModelIndex(), at + 1, at + 1);
            rows_.append({});
            endInsertRows();
            rows_.set(static_cast<std::size_t>(at), std::move(fresh));
            emit dataChanged(this->index(at, 0), this->index(at, kFieldColumnCount - 1));
            emit headerDataChanged(Qt::Vertical, at, at);
            changed = true;
        }
    } else {
        const auto at = static_cast<std::size_t>(index.row());
        FieldDefinition row = rows_.row(at);
        if (editRow(row, column, text)) {
            rows_.set(at, std::move(row));
            emit dataChanged(this->index(index.row(), 0), this->index(index.row(), kFieldColumnCount - 1));
            changed = true;
        }
    }
    committing_ = false;
    return changed;
}

bool FieldTableModel::removeRows(int row, int count, const QModelIndex& parent) {
    const int available = static_cast<int>(rows_.size());
    if (!editing_ || parent.isValid() || row < 0 || count <= 0 || row + count > available) {
        return false;
    }
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    rows_.erase(static_cast<std::size_t>(row), static_cast<std::size_t>(count));
    endRemoveRows();
    if (row < rowCount()) {
        emit headerDataChanged(Qt::Vertical, row, rowCount() - 1);  // the row numbers below moved up
    }
    return true;
}

void FieldTableModel::setEditing(bool editing) {
    if (editing == editing_) {
        return;
    }
    const int line = static_cast<int>(rows_.size());
    if (editing) {
        beginInsertRows(QModelIndex(), line, line);
        editing_ = true;
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), line, line);
        editing_ = false;
        endRemoveRows();
    }
}

void FieldTableModel::resetRows(FieldRows rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void FieldTableModel::applyLoopbackChoice(int row) {
    if (!editing_ || row < 0 || row >= static_cast<int>(rows_.size())) {
        return;
    }
    if (applySingleLoopback(rows_, row) > 0) {
        emit dataChanged(index(0, kLoopbackColumn),
                         index(static_cast<int>(rows_.size()) - 1, kLoopbackColumn));
    }
}

}  // namespace formwell::shell
