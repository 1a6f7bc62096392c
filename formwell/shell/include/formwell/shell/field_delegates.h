// Editors of the field grid: plain text with the column's input limit, the drop-down lists of the
// Type, Required and Loopback columns (auto-completed as the user types), and the Barcodes column's
// button cell.
#pragma once

#include <QComboBox>
#include <QStyledItemDelegate>
#include <span>
#include <string_view>

namespace formwell::shell {

// An editable drop-down offering a list. Every key release completes the typed text from the list;
// text outside the list is kept. choseFromList is raised only when the user picks an entry in the
// opened list, not when the text was typed.
class ListComboEditor : public QComboBox {
    Q_OBJECT

  public:
    ListComboEditor(std::span<const std::string_view> entries, int maxLength, QWidget* parent = nullptr);

    void showPopup() override;
    void hidePopup() override;

  signals:
    void choseFromList(const QString& entry);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    void completeTypedText();

    std::span<const std::string_view> entries_;
    bool listOpen_ = false;
};

class FieldItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // Where the button of a Barcodes cell is drawn inside the cell's rectangle.
    static QRect barcodeButtonRect(const QRect& cell);

  signals:
    void barcodeButtonClicked(const QModelIndex& index);

  protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

}  // namespace formwell::shell
