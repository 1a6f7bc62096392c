#include "formwell/shell/field_table_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <tuple>

#include "formwell/document/grid_rules.h"
#include "formwell/shell/field_delegates.h"
#include "formwell/testing/recording_interaction.h"

namespace formwell::shell {
namespace {

using formwell::testing::RecordingInteraction;
using Transcript = std::vector<std::string>;

constexpr int kName = 0, kType = 1, kMin = 2, kMax = 3, kRequired = 4, kLoopback = 5, kBarcodes = 6;

const std::string kNotNumeric = "msg[Formwell|Please use numeric value ...|none]";
const std::string kTooLong = "msg[Invalid value|The length cannot be more than 14 characters long ...|info]";

class FieldTableModelTest : public ::testing::Test {
  protected:
    FieldTableModelTest() {
        model_.resetRows({FieldDefinition{"QTY", "Number", "1", "5", "Y", "N", "0111111111111111"}});
    }

    QString cell(int row, int column) const { return model_.index(row, column).data().toString(); }
    bool set(int row, int column, const QString& text) {
        return model_.setData(model_.index(row, column), text);
    }

    RecordingInteraction ui_;
    FieldTableModel model_{ui_};
    QAbstractItemModelTester tester_{&model_, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(FieldTableModelTest, ViewingModeLocksEveryCellAndOffersNoNewRow) {
    EXPECT_EQ(model_.rowCount(), 1);
    EXPECT_EQ(model_.columnCount(), 7);
    EXPECT_EQ(model_.headerData(4, Qt::Horizontal).toString(), "Required ?");
    for (int c = 0; c < 7; ++c) {
        EXPECT_FALSE(model_.flags(model_.index(0, c)) & Qt::ItemIsEditable) << c;
    }
    EXPECT_FALSE(set(0, kName, "OTHER"));
    EXPECT_FALSE(model_.removeRows(0, 1));
    EXPECT_EQ(cell(0, kName), "QTY");
}

TEST_F(FieldTableModelTest, TheBarcodesTooltipSaysWhatTheMaskAllows) {
    model_.resetRows({FieldDefinition{"A", "", "", "", "", "", "0100000000000011"},
                      FieldDefinition{"B", "", "", "", "", "", "0000000000000000"},
                      FieldDefinition{"C", "", "", "", "", "", ""}});
    EXPECT_EQ(model_.index(0, kBarcodes).data(Qt::ToolTipRole).toString(),
              "Allows: EAN / UPC, Laetus, Chinese Post\n0100000000000011");
    EXPECT_EQ(model_.index(1, kBarcodes).data(Qt::ToolTipRole).toString(), "Allows none\n0000000000000000");
    EXPECT_FALSE(model_.index(2, kBarcodes).data(Qt::ToolTipRole).isValid());
    EXPECT_EQ(cell(0, kBarcodes), "0100000000000011");
}

TEST_F(FieldTableModelTest, EditingModeUnlocksTypedColumnsAndAddsTheNewRowLine) {
    model_.setEditing(true);
    EXPECT_EQ(model_.rowCount(), 2);
    EXPECT_TRUE(model_.isNewRowLine(1));
    EXPECT_EQ(model_.rows().size(), 1u);
    for (int c = 0; c < 6; ++c) {
        EXPECT_TRUE(model_.flags(model_.index(1, c)) & Qt::ItemIsEditable) << c;
    }
    // The Barcodes cell is set through its button only.
    EXPECT_FALSE(model_.flags(model_.index(0, kBarcodes)) & Qt::ItemIsEditable);

    model_.setEditing(false);
    EXPECT_EQ(model_.rowCount(), 1);
}

TEST_F(FieldTableModelTest, TypingIntoTheNewRowLineMakesItARow) {
    model_.setEditing(true);
    EXPECT_FALSE(set(1, kName, ""));  // nothing typed: no row
    EXPECT_EQ(model_.rows().size(), 1u);

    EXPECT_TRUE(set(1, kName, "A VERY LONG FIELD NAME"));
    ASSERT_EQ(model_.rows().size(), 2u);
    EXPECT_EQ(model_.rows().row(1).FieldName, "A VERY LONG FI");  // the column takes 14 characters
    EXPECT_EQ(model_.rowCount(), 3);
    EXPECT_TRUE(model_.isNewRowLine(2));

    // A refused length in the new-row line leaves no row behind.
    EXPECT_FALSE(set(2, kMin, "ab"));
    EXPECT_EQ(model_.rows().size(), 2u);
    EXPECT_EQ(ui_.transcript(), (Transcript{kNotNumeric}));
}

TEST_F(FieldTableModelTest, InputLimitsPerColumn) {
    model_.setEditing(true);
    const struct {
        int column;
        const char* typed;
        const char* kept;
    } cases[] = {{kType, "Datetime", "Dateti"}, {kRequired, "NO", "N"}, {kLoopback, "yes", "y"}};
    for (const auto& c : cases) {
        EXPECT_TRUE(set(0, c.column, c.typed));
        EXPECT_EQ(cell(0, c.column), c.kept);
    }
}

TEST_F(FieldTableModelTest, LengthCheckCorrectsThePartnerOrRestoresTheOldValue) {
    model_.resetRows({FieldDefinition{}, FieldDefinition{"", "", "5", "10", "", "", ""}});
    model_.setEditing(true);

    // A length entered beside an empty partner is copied into it.
    EXPECT_TRUE(set(0, kMin, "3"));
    EXPECT_EQ(cell(0, kMax), "3");
    EXPECT_TRUE(set(0, kMax, "10"));
    EXPECT_EQ(cell(0, kMin), "3");

    EXPECT_TRUE(set(1, kMax, "4"));
    EXPECT_EQ(cell(1, kMin), "4");
    EXPECT_TRUE(set(1, kMin, "12"));
    EXPECT_EQ(cell(1, kMax), "12");
    EXPECT_TRUE(ui_.transcript().empty());

    for (const char* refused : {"15", "99"}) {
        EXPECT_FALSE(set(1, kMax, refused));
    }
    EXPECT_FALSE(set(1, kMin, "ab"));
    EXPECT_FALSE(set(1, kMin, ""));
    EXPECT_EQ(ui_.transcript(), (Transcript{"beep", kTooLong, "beep", kTooLong, kNotNumeric, kNotNumeric}));
    EXPECT_EQ(cell(1, kMin), "12");
    EXPECT_EQ(cell(1, kMax), "12");
}

// Only a changed length is checked: leaving an empty or an unchanged length cell says nothing and
// leaves its partner alone (rows read from a file are not validated, so Max may be empty).
TEST_F(FieldTableModelTest, LeavingALengthUnchangedIsNoEdit) {
    model_.resetRows({FieldDefinition{"", "", "3", "", "", "", ""}});
    model_.setEditing(true);
    EXPECT_FALSE(set(0, kMin, "3"));
    EXPECT_FALSE(set(0, kMax, ""));
    EXPECT_EQ(cell(0, kMax), "");
    EXPECT_FALSE(set(1, kMin, ""));  // the new-row line
    EXPECT_EQ(model_.rows().size(), 1u);
    EXPECT_TRUE(ui_.transcript().empty());
}

TEST_F(FieldTableModelTest, ChosenLoopbackClearsTheOthersAndRowsCanBeRemoved) {
    std::vector<FieldDefinition> rows(5);
    rows[0].Loopback = "Y";
    rows[2].Loopback = "Y";
    rows[4].Loopback = "y";
    model_.resetRows(rows);

    model_.applyLoopbackChoice(2);  // viewing mode: locked
    EXPECT_EQ(cell(0, kLoopback), "Y");

    model_.setEditing(true);
    QSignalSpy changed(&model_, &QAbstractItemModel::dataChanged);
    model_.applyLoopbackChoice(2);
    EXPECT_EQ(cell(0, kLoopback), "N");
    EXPECT_EQ(cell(2, kLoopback), "Y");
    EXPECT_EQ(cell(4, kLoopback), "N");
    EXPECT_EQ(changed.count(), 1);

    EXPECT_FALSE(model_.removeRows(4, 2));  // the new-row line is not a row
    EXPECT_TRUE(model_.removeRows(1, 2));
    EXPECT_EQ(model_.rows().size(), 3u);
    EXPECT_EQ(cell(1, kLoopback), "");
}

// The list editors complete what is typed on each key release.
class ListEditorTest : public ::testing::Test {
  protected:
    // Keys arrive either at the drop-down (which hands them to its text) or at the text itself.
    QString typeInto(int column, const QString& keys, bool intoDropDown) {
        FieldItemDelegate delegate;
        RecordingInteraction ui;
        FieldTableModel model(ui);
        model.setEditing(true);
        QWidget parent;
        std::unique_ptr<QWidget> editor(
            delegate.createEditor(&parent, QStyleOptionViewItem(), model.index(0, column)));
        auto* combo = qobject_cast<QComboBox*>(editor.get());
        if (combo == nullptr) {
            return QStringLiteral("<no list editor>");
        }
        delegate.setEditorData(combo, model.index(0, column));  // the new-row line: empty
        if (intoDropDown) {
            QTest::keyClicks(combo, keys);
        } else {
            QTest::keyClicks(combo->lineEdit(), keys);
        }
        return combo->currentText();
    }
};

TEST_F(ListEditorTest, CompletesFromTheColumnsListAndKeepsOtherText) {
    const struct {
        int column;
        const char* keys;
        const char* expected;
    } cases[] = {
        {kType, "d", "Date"},       {kType, "N", "Number"}, {kType, "t", "Text"},  {kType, "x", "x"},
        {kType, "Numbe", "Number"}, {kRequired, "y", "Y"},  {kLoopback, "n", "N"}, {kLoopback, "q", "q"},
    };
    for (const auto& c : cases) {
        for (bool intoDropDown : {false, true}) {
            EXPECT_EQ(typeInto(c.column, QString::fromLatin1(c.keys), intoDropDown),
                      QString::fromLatin1(c.expected))
                << c.column << " " << c.keys << " " << intoDropDown;
        }
    }
}

TEST(ListEditor, TypingOverAFilledCellReplacesItsText) {
    RecordingInteraction ui;
    FieldTableModel model(ui);
    model.resetRows({FieldDefinition{"QTY", "Text", "1", "5", "Y", "N", "0111111111111111"}});
    model.setEditing(true);
    FieldItemDelegate delegate;
    QWidget parent;
    for (const auto& [column, keys, expected] :
         {std::tuple{kType, "n", "Number"}, std::tuple{kRequired, "n", "N"},
          std::tuple{kLoopback, "y", "Y"}}) {
        std::unique_ptr<QWidget> editor(
            delegate.createEditor(&parent, QStyleOptionViewItem(), model.index(0, column)));
        auto* combo = qobject_cast<QComboBox*>(editor.get());
        ASSERT_NE(combo, nullptr) << column;
        delegate.setEditorData(combo, model.index(0, column));
        QTest::keyClicks(combo->lineEdit(), QString::fromLatin1(keys));
        EXPECT_EQ(combo->currentText(), QString::fromLatin1(expected)) << column;
    }
}

TEST(LoopbackEditor, OnlyAChoiceFromTheListClearsTheOtherRows) {
    RecordingInteraction ui;
    FieldTableModel model(ui);
    std::vector<FieldDefinition> rows(3);
    rows[0].Loopback = "Y";
    model.resetRows(rows);
    model.setEditing(true);
    FieldItemDelegate delegate;
    QObject::connect(&delegate, &QAbstractItemDelegate::commitData, [&](QWidget* editor) {
        delegate.setModelData(editor, &model, model.index(2, kLoopback));
    });
    QWidget parent;
    std::unique_ptr<QWidget> editor(
        delegate.createEditor(&parent, QStyleOptionViewItem(), model.index(2, kLoopback)));
    auto* combo = qobject_cast<ListComboEditor*>(editor.get());
    ASSERT_NE(combo, nullptr);
    delegate.setEditorData(combo, model.index(2, kLoopback));

    // Typed: the other row keeps its Y.
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("y"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(model.index(0, kLoopback).data().toString(), "Y");

    // Chosen from the opened list: the cell takes Y and no other row keeps it.
    combo->showPopup();
    combo->view()->setCurrentIndex(combo->model()->index(0, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    EXPECT_EQ(model.index(2, kLoopback).data().toString(), "Y");
    EXPECT_EQ(model.index(0, kLoopback).data().toString(), "N");
}

}  // namespace
}  // namespace formwell::shell
