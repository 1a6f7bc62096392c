// The PC Configuration window and the bottom band: the focus-driven modes, Save and Cancel, the one
// instance, and a transfer run from the window with its commands at rest and its progress shown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <cstdlib>

#include "formwell/shell/main_window.h"
#include "formwell/shell/port_settings_dialog.h"
#include "formwell/testing/fake_comrig.h"
#include "formwell/testing/recording_interaction.h"
#include "formwell/testing/temp_dir.h"
#include "serial/serial_device.h"

namespace formwell::shell {
namespace {

using formwell::testing::readBytes;
using formwell::testing::RecordingInteraction;
using formwell::testing::TempDir;
using formwell::testing::writeBytes;

template <typename T = QWidget>
T* child(QWidget& w, const char* name) {
    T* found = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

void click(QWidget& w, const char* name) {
    QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton);
}

struct OpenDialog {
    explicit OpenDialog(const std::string& contents, bool withFile = true) {
        if (withFile) {
            writeBytes(dir / "mbx.dat", contents);
        }
        dialog = new PortSettingsDialog(ui, (dir / "mbx.dat").string());
        dialog->show();
        QApplication::setActiveWindow(dialog);
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
    }
    ~OpenDialog() { delete dialog.data(); }
    bool editing() { return child<QFrame>(*dialog, "MainFrame")->isEnabled(); }
    QString text(const char* combo) { return child<QComboBox>(*dialog, combo)->currentText(); }

    TempDir dir;
    RecordingInteraction ui;
    QPointer<PortSettingsDialog> dialog;
};

TEST(PortSettingsWindow, OpensInViewModeWithTheFilesValues) {
    // Lower-case port: no option selected (that test is exact); connector 1: IRDA, never selectable.
    OpenDialog d("com2:19200 8e11\r\n");
    EXPECT_EQ(d.dialog->windowTitle(), "PC Configuration");
    EXPECT_EQ(d.dialog->objectName(), "Parameter");
    EXPECT_EQ(d.dialog->pos(), QPoint(0, 0));
    EXPECT_EQ(d.dialog->size(), QSize(640, 473));
    EXPECT_FALSE(d.editing());
    EXPECT_TRUE(child<QPushButton>(*d.dialog, "cmdClose")->hasFocus());
    EXPECT_FALSE(child<QPushButton>(*d.dialog, "cmdSave")->isVisible());
    EXPECT_EQ(d.text("Baud"), "19200 ");  // trailing blank of the column kept
    EXPECT_EQ(d.text("Parity"), "e");
    for (const char* port : {"Com1", "Com2", "Com3", "Com4"}) {
        EXPECT_FALSE(child<QRadioButton>(*d.dialog, port)->isChecked()) << port;
    }
    EXPECT_TRUE(child<QRadioButton>(*d.dialog, "IRDA")->isChecked());
    EXPECT_EQ(d.dialog->selectedConnector(), "1");

    click(*d.dialog, "cmdModify");
    EXPECT_TRUE(d.editing());
    EXPECT_TRUE(child<QPushButton>(*d.dialog, "cmdSave")->hasFocus());
    EXPECT_FALSE(child<QPushButton>(*d.dialog, "cmdModify")->isVisible());
    EXPECT_FALSE(child<QRadioButton>(*d.dialog, "IRDA")->isEnabled());
    EXPECT_TRUE(child<QRadioButton>(*d.dialog, "Cradle")->isEnabled());
}

TEST(PortSettingsWindow, SaveWritesTheLineAndCancelKeepsTheControls) {
    OpenDialog d("Com2:19200 8N10");
    click(*d.dialog, "cmdModify");
    QTest::mouseClick(child<QRadioButton>(*d.dialog, "Com3"), Qt::LeftButton);
    child<QComboBox>(*d.dialog, "Baud")->setCurrentIndex(0);  // 9600
    click(*d.dialog, "cmdSave");
    EXPECT_EQ(readBytes(d.dir / "mbx.dat"), "Com3:9600  8N10");
    EXPECT_FALSE(d.editing());
    EXPECT_TRUE(child<QPushButton>(*d.dialog, "cmdClose")->hasFocus());

    click(*d.dialog, "cmdModify");
    child<QComboBox>(*d.dialog, "Baud")->setCurrentIndex(1);
    click(*d.dialog, "cmdCancel");
    EXPECT_FALSE(d.editing());
    EXPECT_EQ(d.text("Baud"), "19200");  // the control keeps the change
    EXPECT_EQ(readBytes(d.dir / "mbx.dat"), "Com3:9600  8N10");
    EXPECT_TRUE(d.ui.events().empty());
}

#ifndef _WIN32  // on Windows a COM number is the system's own name for its port
TEST(PortSettingsWindow, TheChosenPortShowsItsDeviceAndSaveKeepsAnotherForEveryProgram) {
    OpenDialog d("Com1:19200 8N10");
    const std::string kept = (d.dir / "ports.conf").string();
    ::setenv("FORMWELL_PORTS_FILE", kept.c_str(), 1);
    ::unsetenv("COM2");
    click(*d.dialog, "cmdModify");
    // Every Com option tells its device when pointed at; the chosen one beneath it.
    QRadioButton* com4 = child<QRadioButton>(*d.dialog, "Com4");
    QHelpEvent hover(QEvent::ToolTip, QPoint(4, 4), com4->mapToGlobal(QPoint(4, 4)));
    QCoreApplication::sendEvent(com4, &hover);
    EXPECT_THAT(QToolTip::text().toStdString(), ::testing::StartsWith("COM4 opens /dev/ttyS3 (the default)"));
    QTest::mouseClick(child<QRadioButton>(*d.dialog, "Com2"), Qt::LeftButton);
    EXPECT_THAT(child<QLabel>(*d.dialog, "DeviceStatus")->text().toStdString(),
                ::testing::StartsWith("COM2 opens /dev/ttyS1 (the default)"));
    const std::string cradle = (d.dir / "cradle").string();
    child<QComboBox>(*d.dialog, "DevicePath")->setEditText(QString::fromStdString(cradle));
    EXPECT_THAT(child<QLabel>(*d.dialog, "DeviceStatus")->text().toStdString(),
                ::testing::StartsWith("After Save, COM2 opens " + cradle + "; "));
    click(*d.dialog, "cmdSave");
    EXPECT_FALSE(d.editing());
    EXPECT_EQ(readBytes(d.dir / "mbx.dat"), "Com2:19200 8N10");
    EXPECT_EQ(serial::devicePathForPort(2), cradle);
    EXPECT_EQ(child<QLabel>(*d.dialog, "DeviceStatus")->text().toStdString(),
              "COM2 opens " + cradle + " (chosen here); it is not there now.");
    // The adapter plugged in while the dialog is open.
    writeBytes(cradle, "");
    QLabel* status = child<QLabel>(*d.dialog, "DeviceStatus");
    EXPECT_TRUE(QTest::qWaitFor(
        [status] { return status->text().endsWith(QStringLiteral("you may open it, free.")); }, 10000))
        << status->text().toStdString();

    click(*d.dialog, "cmdModify");
    child<QComboBox>(*d.dialog, "DevicePath")->setEditText(QString());
    EXPECT_THAT(child<QLabel>(*d.dialog, "DeviceStatus")->text().toStdString(),
                ::testing::StartsWith("After Save, COM2 opens its default, /dev/ttyS1"));
    click(*d.dialog, "cmdSave");
    EXPECT_EQ(serial::devicePathForPort(2), "/dev/ttyS1");
    ::unsetenv("FORMWELL_PORTS_FILE");
}
#endif

TEST(PortSettingsWindow, NothingChosenSavesFifteenBlanks) {
    OpenDialog d("", false);
    click(*d.dialog, "cmdModify");
    click(*d.dialog, "cmdSave");
    EXPECT_EQ(readBytes(d.dir / "mbx.dat"), std::string(15, ' '));
}

TEST(PortSettingsWindow, AFailedSaveIsReportedAndKeepsWhatWasEntered) {
    OpenDialog d("Com1:9600  8N10");
    std::filesystem::remove(d.dir / "mbx.dat");
    std::filesystem::create_directory(d.dir / "mbx.dat");  // cannot be replaced by a file
    click(*d.dialog, "cmdModify");
    child<QComboBox>(*d.dialog, "Baud")->setCurrentIndex(1);
    click(*d.dialog, "cmdSave");
    ASSERT_EQ(d.ui.messages().size(), 1u);
    EXPECT_TRUE(d.editing());
    EXPECT_EQ(d.text("Baud"), "19200");
}

class BottomBandTest : public ::testing::Test {
  protected:
    BottomBandTest() {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());  // the window's start-up directory
        writeBytes(dir_ / "mbx.dat", "Com1:19200 8N10");
        window_ =
            std::make_unique<MainWindow>(MainWindowServices{&ui_, {}, {}, [this] { return fake_.table(); }});
        window_->show();
    }
    ~BottomBandTest() override {
        window_.reset();
        std::filesystem::current_path(previous_);
    }

    TempDir dir_;
    std::filesystem::path previous_;
    RecordingInteraction ui_;
    formwell::testing::FakeComrig fake_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(BottomBandTest, OnePcConfigurationWindowBroughtForwardBySecondClick) {
    click(*window_, "Setup");
    PortSettingsDialog* first = window_->portSettingsDialog();
    ASSERT_NE(first, nullptr);
    click(*window_, "Setup");
    EXPECT_EQ(window_->portSettingsDialog(), first);
    EXPECT_EQ(window_->findChildren<PortSettingsDialog*>().size(), 1);
    EXPECT_TRUE(window_->isEnabled());  // not modal
}

TEST_F(BottomBandTest, ATransferRestsEveryCommandShowsHowFarItIsAndCannotCloseTheWindow) {
    formwell::testing::IniTerminal terminal;
    terminal.attach(fake_);
    std::vector<bool> enabledDuring;
    QString statusDuring;
    bool closedDuring = true;
    fake_.terminal = [&, inner = fake_.terminal](char byte) {
        inner(byte);
        if (terminal.framesSeen == 2 && enabledDuring.empty()) {
            for (const char* name : {"Setup", "Upload", "DownINI", "OpenINI", "cmdAbout"}) {
                enabledDuring.push_back(child<QPushButton>(*window_, name)->isEnabled());
            }
            enabledDuring.push_back(child<QTableView>(*window_, "ParamGrid")->isEnabled());
            statusDuring = child<QLabel>(*window_, "TransferStatus")->text();
            closedDuring = window_->close();
        }
    };
    writeBytes(dir_ / "a.ini", "ONE\r\nTWO\r\nTHREE\r\n");
    ui_.queueFile((dir_ / "a.ini").string());
    ui_.queueAnswer(Answer::Yes);
    click(*window_, "DownINI");

    EXPECT_EQ(terminal.lines, (std::vector<std::string>{"ONE", "TWO", "THREE"}));
    EXPECT_THAT(enabledDuring, ::testing::Each(false));
    EXPECT_EQ(enabledDuring.size(), 6U);
    EXPECT_EQ(statusDuring, "Transmit ini File: 1 of 3 lines");
    EXPECT_FALSE(closedDuring);
    for (const char* name : {"Setup", "Upload", "DownProg", "DownINI", "OpenINI", "cmdAbout"}) {
        EXPECT_TRUE(child<QPushButton>(*window_, name)->isEnabled()) << name;
    }
    EXPECT_TRUE(child<QTableView>(*window_, "ParamGrid")->isEnabled());
    EXPECT_EQ(child<QLabel>(*window_, "TransferStatus")->text(), "Transmit ini File: 3 of 3 lines");
    EXPECT_EQ(ui_.messages().back().text, "Download Process Complete!");
}

}  // namespace
}  // namespace formwell::shell
