#include "formwell/shell/field_delegates.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QStyleOptionButton>
#include <QTimer>

#include "formwell/document/field_definition.h"
#include "formwell/document/grid_rules.h"
#include "formwell/shell/field_table_model.h"

namespace formwell::shell {

namespace {

constexpr int kBarcodesColumn = static_cast<int>(FieldColumn::Barcodes);
constexpr int kLoopbackColumn = static_cast<int>(FieldColumn::Loopback);
constexpr int kBarcodeButtonWidthPx = 22;

int inputLimit(int column) {
    return kFieldColumns[static_cast<std::size_t>(column)].inputLimit;
}

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ListComboEditor::ListComboEditor(std::span<const std::string_view> entries, int maxLength, QWidget* parent)
    : QComboBox(parent), entries_(entries) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);  // completion follows the grid's own rule, on key release
    for (const std::string_view entry : entries_) {
        addItem(latin1(entry));
    }
    lineEdit()->setMaxLength(maxLength);
    lineEdit()->installEventFilter(this);
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (listOpen_ && index >= 0) {
            emit choseFromList(itemText(index));
        }
    });
}

void ListComboEditor::showPopup() {
    listOpen_ = true;
    QComboBox::showPopup();
}

void ListComboEditor::hidePopup() {
    QComboBox::hidePopup();
    // A pick from the list is announced (activated) right after the list hides; the flag must still be
    // up for it, and down before the next key typed into the cell.
    QTimer::singleShot(0, this, [this] { listOpen_ = false; });
}

void ListComboEditor::completeTypedText() {
    const std::string typed = lineEdit()->text().toLatin1().toStdString();
    if (typed.empty()) {
        return;
    }
    const QString completed = latin1(autoComplete(typed, entries_));
    if (completed != lineEdit()->text()) {
        lineEdit()->setText(completed);
    }
}

// Keys reach the text either through the drop-down (which hands them on to its line edit directly,
// past any filter) or straight in the line edit; both end in one completion.
void ListComboEditor::keyReleaseEvent(QKeyEvent* event) {
    QComboBox::keyReleaseEvent(event);
    completeTypedText();
}

bool ListComboEditor::eventFilter(QObject* watched, QEvent* event) {
    const bool handled = QComboBox::eventFilter(watched, event);
    if (watched == lineEdit() && event->type() == QEvent::KeyRelease) {
        completeTypedText();
    }
    return handled;
}

QWidget* FieldItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    const int column = index.column();
    if (column == kBarcodesColumn) {
        return nullptr;
    }
    const std::span<const std::string_view> list = listForColumn(column);
    if (list.empty()) {
        auto* edit = qobject_cast<QLineEdit*>(QStyledItemDelegate::createEditor(parent, option, index));
        if (edit != nullptr) {
            edit->setMaxLength(inputLimit(column));
        }
        return edit;
    }
    auto* combo = new ListComboEditor(list, inputLimit(column), parent);
    if (column == kLoopbackColumn) {
        const QPersistentModelIndex cell(index);
        connect(combo, &ListComboEditor::choseFromList, this, [this, combo, cell](const QString& entry) {
            if (!cell.isValid() || entry != latin1(kYesNoEntries[0])) {
                return;
            }
            // The chosen "Y" goes into the cell first; then no other row may stay the loop-back field.
            auto* delegate = const_cast<FieldItemDelegate*>(this);
            emit delegate->commitData(combo);
            if (auto* model = qobject_cast<FieldTableModel*>(const_cast<QAbstractItemModel*>(cell.model()))) {
                model->applyLoopbackChoice(cell.row());
            }
        });
    }
    return combo;
}

void FieldItemDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        combo->setEditText(index.data(Qt::EditRole).toString());
        // As in the text columns: what is typed first replaces the cell's text.
        if (QLineEdit* text = combo->lineEdit()) {
            text->selectAll();
        }
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void FieldItemDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                     const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

QRect FieldItemDelegate::barcodeButtonRect(const QRect& cell) {
    return QRect(cell.right() - kBarcodeButtonWidthPx + 1, cell.top() + 1, kBarcodeButtonWidthPx - 1,
                 cell.height() - 2);
}

void FieldItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    if (index.column() != kBarcodesColumn) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem textOption(option);
    textOption.rect.setRight(option.rect.right() - kBarcodeButtonWidthPx);
    QStyledItemDelegate::paint(painter, textOption, index);

    QStyleOptionButton button;
    button.rect = barcodeButtonRect(option.rect);
    button.text = QStringLiteral("...");
    button.state = QStyle::State_Raised;
    const auto* model = qobject_cast<const FieldTableModel*>(index.model());
    button.palette = option.palette;
    if (model != nullptr && model->isEditing()) {
        button.state |= QStyle::State_Enabled;
    } else {
        button.palette.setCurrentColorGroup(QPalette::Disabled);  // locked with its column
    }
    QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_PushButton, &button, painter, option.widget);
}

bool FieldItemDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                    const QStyleOptionViewItem& option, const QModelIndex& index) {
    // From the keyboard the cell's button is F2 or Space, the keys that start editing in other cells.
    if (index.column() == kBarcodesColumn && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const auto* fields = qobject_cast<const FieldTableModel*>(model);
        if ((key == Qt::Key_F2 || key == Qt::Key_Space) && fields != nullptr && fields->isEditing()) {
            emit barcodeButtonClicked(index);
            return true;
        }
    }
    if (index.column() == kBarcodesColumn && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* fields = qobject_cast<const FieldTableModel*>(model);
        // In viewing mode the column is locked, and so is its button.
        if (mouse->button() == Qt::LeftButton && fields != nullptr && fields->isEditing() &&
            barcodeButtonRect(option.rect).contains(mouse->position().toPoint())) {
            emit barcodeButtonClicked(index);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

}  // namespace formwell::shell
