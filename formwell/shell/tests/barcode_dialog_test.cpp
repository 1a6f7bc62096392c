#include "formwell/shell/barcode_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>

#include "formwell/testing/recording_interaction.h"
#include "modal_window.h"

namespace formwell::shell {
namespace {

class BarcodeDialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "barcode_dialog_test";
            static char* argv[] = {name, nullptr};
            app_ = new QApplication(argc, argv);
        }
    }

    static QCheckBox* box(QDialog& dialog, const char* name) {
        return dialog.findChild<QCheckBox*>(QString::fromLatin1(name));
    }

    static std::string checkedBits(QDialog& dialog) {
        std::string bits;
        for (const Symbology& s : kSymbologies) {
            QCheckBox* check = dialog.findChild<QCheckBox*>(QString::fromLatin1(s.checkBoxName.data()));
            bits += check != nullptr && check->isChecked() ? '1' : '0';
        }
        return bits;
    }

    static void click(QDialog& dialog, const char* buttonName) {
        QPushButton* button = dialog.findChild<QPushButton*>(QString::fromLatin1(buttonName));
        ASSERT_NE(button, nullptr) << buttonName;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    formwell::testing::RecordingInteraction ui_;
    static inline QApplication* app_ = nullptr;
};

TEST_F(BarcodeDialogTest, LayoutNamesAndCaptions) {
    BarcodeDialog dialog("0111111111111111", ui_);
    EXPECT_EQ(dialog.windowTitle(), "Activate Barcode Types");
    auto* frame = dialog.findChild<QGroupBox*>();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->title(), "Barcode Types");
    dialog.show();  // lays the controls out
    int previousY = -1;
    for (const Symbology& s : kSymbologies) {
        QCheckBox* check = box(dialog, s.checkBoxName.data());
        ASSERT_NE(check, nullptr) << s.checkBoxName;
        EXPECT_EQ(check->text().toStdString(), s.caption);
        EXPECT_GT(check->y(), previousY) << "boxes run top to bottom in mask order";
        previousY = check->y();
    }
    auto* ok = dialog.findChild<QPushButton*>("Ok_button");
    auto* cancel = dialog.findChild<QPushButton*>("Cancel_Btn");
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(ok->text(), "&OK");
    EXPECT_EQ(cancel->text(), "&Cancel");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_LT(ok->x(), cancel->x());
    EXPECT_EQ(ok->width(), cancel->width());
}

TEST_F(BarcodeDialogTest, OkBuildsTheMaskAndClearsTheReservedPosition) {
    BarcodeDialog dialog("1111111111111111", ui_);
    EXPECT_EQ(checkedBits(dialog), "111111111111111");
    click(dialog, "Ok_button");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.barcodeString(), "0111111111111111");

    BarcodeDialog chosen("0000000000000000", ui_);
    box(chosen, "CheckSCode")->setChecked(true);
    box(chosen, "CheckCode93")->setChecked(true);
    click(chosen, "Ok_button");
    EXPECT_EQ(chosen.barcodeString(), "0000001001000000");
    EXPECT_TRUE(ui_.transcript().empty());
}

TEST_F(BarcodeDialogTest, OkWithNothingCheckedShowsErrorAndStaysOpen) {
    BarcodeDialog dialog("0000000000000000", ui_);
    dialog.show();
    click(dialog, "Ok_button");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.barcodeString(), "0000000000000000");
    EXPECT_EQ(
        ui_.transcript(),
        std::vector<std::string>{"msg[Error barcode|Need to check at least\r\none Barcode type|critical]"});

    box(dialog, "CheckChinesePost")->setChecked(true);
    click(dialog, "Ok_button");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.barcodeString(), "0000000000000001");
}

TEST_F(BarcodeDialogTest, OddMasksLoadWithoutFailing) {
    BarcodeDialog dialog("01x", ui_);
    EXPECT_EQ(checkedBits(dialog), "100000000000000");
}

// The whole modal round: the helper runs the dialog and only OK changes the caller's text.
TEST_F(BarcodeDialogTest, RunUpdatesTheMaskOnlyOnOk) {
    std::string mask = "0111111111111111";
    const auto cancelling = testing::whenModalOpens<QDialog>([](QDialog& dialog) {
        box(dialog, "CheckEanUpc")->setChecked(false);
        click(dialog, "Cancel_Btn");
    });
    EXPECT_FALSE(runBarcodeDialog(nullptr, ui_, mask));
    EXPECT_EQ(mask, "0111111111111111");

    const auto escaping =
        testing::whenModalOpens<QDialog>([](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_FALSE(runBarcodeDialog(nullptr, ui_, mask));
    EXPECT_EQ(mask, "0111111111111111");

    // A fresh dialog every time: the unchecked box of the cancelled run is checked again.
    const auto accepting = testing::whenModalOpens<QDialog>([](QDialog& dialog) {
        EXPECT_TRUE(box(dialog, "CheckEanUpc")->isChecked());
        box(dialog, "CheckCode39")->setChecked(false);
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    EXPECT_TRUE(runBarcodeDialog(nullptr, ui_, mask));
    EXPECT_EQ(mask, "0101111111111111");
}

}  // namespace
}  // namespace formwell::shell
