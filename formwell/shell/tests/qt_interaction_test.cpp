// The Qt side of the user-interaction seam: the boxes it builds and the hourglass it keeps.
#include "formwell/shell/qt_interaction.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <stdexcept>

#include "formwell/common/show_file_dialog.h"
#include "modal_window.h"

namespace formwell::shell {
namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool hadOverrideCursor = false;
};

// Shows `message` and, from inside the box's own event loop, records it and presses `press`.
std::pair<SeenBox, Answer> showAndPress(QtInteraction& ui, const Message& message,
                                        QMessageBox::StandardButton press) {
    SeenBox seen;
    const auto pressing = testing::whenModalOpens<QMessageBox>([&](QMessageBox& box) {
        seen.title = box.windowTitle();
        seen.text = box.text();
        seen.icon = box.icon();
        seen.buttons = box.standardButtons();
        seen.defaultButton = box.standardButton(box.defaultButton());
        seen.hadOverrideCursor = QGuiApplication::overrideCursor() != nullptr;
        QAbstractButton* button = box.button(press);
        ASSERT_NE(button, nullptr) << "no button " << press;
        button->click();
    });
    const Answer answer = ui.show(message);
    return {seen, answer};
}

TEST(QtInteraction, BoxesCarryTitleIconButtonsAndDefault) {
    QtInteraction ui;
    auto [plain, ok] = showAndPress(ui, plainNotice("53 File not found"), QMessageBox::Ok);
    EXPECT_EQ(plain.title, "Formwell");
    EXPECT_EQ(plain.text, "53 File not found");
    EXPECT_EQ(plain.icon, QMessageBox::NoIcon);
    EXPECT_EQ(plain.buttons, QMessageBox::Ok);
    EXPECT_EQ(ok, Answer::Ok);

    auto [stop, _] = showAndPress(ui, critical("ERROR", "No browser installed"), QMessageBox::Ok);
    EXPECT_EQ(stop.title, "ERROR");
    EXPECT_EQ(stop.icon, QMessageBox::Critical);

    const Message ask = question("Confirm Action", "Final Warning. Delete File ?");
    auto [asked, yes] = showAndPress(ui, ask, QMessageBox::Yes);
    EXPECT_EQ(asked.icon, QMessageBox::Question);
    EXPECT_EQ(asked.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(asked.defaultButton, QMessageBox::No);
    EXPECT_EQ(yes, Answer::Yes);
    EXPECT_EQ(showAndPress(ui, ask, QMessageBox::No).second, Answer::No);

    Message threeWay = question("", "Save the changes before closing?", Answer::Yes);
    threeWay.buttons = MessageButtons::YesNoCancel;
    auto [saving, cancel] = showAndPress(ui, threeWay, QMessageBox::Cancel);
    EXPECT_EQ(saving.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(saving.defaultButton, QMessageBox::Yes);
    EXPECT_EQ(cancel, Answer::Cancel);
    EXPECT_EQ(showAndPress(ui, threeWay, QMessageBox::No).second, Answer::No);
}

TEST(QtInteraction, HourglassIsLiftedForABoxAndRestoredAfter) {
    QtInteraction ui;
    ui.setBusy(true);
    ui.setBusy(true);  // a second "busy" must not need a second restore
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    auto [seen, _] = showAndPress(ui, information("Time out", "..."), QMessageBox::Ok);
    EXPECT_FALSE(seen.hadOverrideCursor);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    ui.setBusy(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The dialog names files that need not exist yet (New ini), in a folder that must exist.
TEST(QtInteraction, FileDialogReturnsTheChosenPathOrNothing) {
    QtInteraction ui;
    const QString dir = QDir::tempPath();
    const FileDialogRequest request{kIniFileFilter, "Type in the new file name", kAnyExtension};
    QStringList filters;
    auto answerWith = [&](const QString& name) {
        const auto answering = testing::whenModalOpens<QFileDialog>([&](QFileDialog& dialog) {
            filters = dialog.nameFilters();
            if (name.isEmpty()) {
                dialog.reject();
            } else {
                dialog.selectFile(name);
                QMetaObject::invokeMethod(&dialog, "accept");
            }
        });
        return ui.chooseFile(request);
    };
    const QString fresh = dir + QStringLiteral("/formwell-not-there-yet.ini");
    EXPECT_EQ(answerWith(fresh), QDir::toNativeSeparators(fresh).toStdString());
    EXPECT_EQ(filters, QStringList{QStringLiteral("INI File (*.ini)")});
    EXPECT_EQ(answerWith(QString()), "");
}

class FailingDialog : public UserInteraction {
  public:
    std::vector<std::string> log;
    Answer show(const Message& m) override {
        log.push_back(m.shownTitle() + "|" + m.text);
        return Answer::Ok;
    }
    void beep() override { log.emplace_back("beep"); }
    void setBusy(bool) override {}
    void processEvents() override {}
    std::string chooseFile(const FileDialogRequest&) override { throw std::runtime_error("Dialog failed"); }
};

TEST(ShowFileDialog, AFailingDialogIsReportedAndChoosesNothing) {
    FailingDialog ui;
    EXPECT_EQ(showFileDialog(ui, kIniFileFilter, "Select File to Open", kAnyExtension), "");
    EXPECT_EQ(ui.log, (std::vector<std::string>{"beep", "Formwell|Dialog failed"}));
}

}  // namespace
}  // namespace formwell::shell
