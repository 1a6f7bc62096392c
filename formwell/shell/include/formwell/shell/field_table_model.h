// The field grid's model: one row per field of the document, seven text columns. In viewing mode every
// cell is locked; in editing mode cells can be changed, an empty line at the bottom takes a new row
// as soon as something is entered into it, and rows can be removed. Edits of the two length
// columns go through the document's length check, whose messages reach the user through
// UserInteraction.
#pragma once

#include <QAbstractTableModel>

#include "formwell/common/user_interaction.h"
#include "formwell/document/field_rows.h"

namespace formwell::shell {

// What a barcode mask lets the terminal scan, in the barcode dialog's words: "Allows: EAN / UPC,
// Code 39", or "Allows none".
QString allowedBarcodesText(const QString& mask);

class FieldTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit FieldTableModel(UserInteraction& ui, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // Editing mode unlocks the cells and shows the new-row line; viewing mode locks everything.
    void setEditing(bool editing);
    bool isEditing() const { return editing_; }

    // The document's rows (the new-row line is not part of them).
    const FieldRows& rows() const { return rows_; }
    void resetRows(FieldRows rows);

    // True for the empty line below the last row that editing mode offers for a new row.
    bool isNewRowLine(int row) const { return editing_ && row == static_cast<int>(rows_.size()); }

    // After "Y" was chosen from the list of the Loopback column in `row`: no other row stays the
    // loop-back field.
    void applyLoopbackChoice(int row);

  private:
    bool isCell(const QModelIndex& index) const;
    // Applies an edit to `row` (the length check for the two length columns, the input limit for
    // all); false when the cell ended up unchanged.
    bool editRow(FieldDefinition& row, int column, const QString& text);

    UserInteraction& ui_;
    FieldRows rows_;
    bool editing_ = false;
    bool committing_ = false;  // a refusal box is up: a second commit of the same editor is ignored
};

}  // namespace formwell::shell
