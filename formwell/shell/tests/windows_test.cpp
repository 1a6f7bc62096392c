// The things only the widgets do: the focus-driven mode switch, the button places, the start-up
// sequence, the About box's link, the Barcodes button and the names automation finds controls by.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <filesystem>

#include "formwell/shell/about_box.h"
#include "formwell/shell/barcode_dialog.h"
#include "formwell/shell/field_table_model.h"
#include "formwell/shell/main_window.h"
#include "formwell/shell/platform.h"
#include "formwell/shell/port_settings_dialog.h"
#include "formwell/shell/splash_window.h"
#include "formwell/testing/recording_interaction.h"
#include "formwell/testing/temp_dir.h"
#include "modal_window.h"

namespace formwell::shell {
namespace {

using formwell::testing::RecordingInteraction;

QPushButton* button(QWidget& w, const char* name) {
    auto* b = w.findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(b, nullptr) << name;
    return b;
}

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() : window_(MainWindowServices{&ui_, {}, {}}) {
        window_.show();
        QApplication::setActiveWindow(&window_);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window_));
    }

    bool visible(const char* name) { return button(window_, name)->isVisible(); }

    RecordingInteraction ui_;
    MainWindow window_;
};

TEST_F(MainWindowTest, FocusOnSaveOrExitSwitchesTheMode) {
    const char* viewingOnly[] = {"NewINI", "OpenINI", "cmdDelete", "cmdModify", "cmdClose"};
    const char* always[] = {"cmdHelp", "cmdAbout", "Setup", "Upload", "DownProg", "DownINI"};
    for (const char* name : viewingOnly) {
        EXPECT_TRUE(visible(name)) << name;
    }
    EXPECT_FALSE(visible("cmdSave"));
    EXPECT_FALSE(visible("cmdCancel"));
    EXPECT_FALSE(window_.fieldModel().isEditing());

    window_.showEditingButtons();
    EXPECT_TRUE(button(window_, "cmdSave")->hasFocus());
    EXPECT_TRUE(visible("cmdSave"));
    EXPECT_TRUE(visible("cmdCancel"));
    for (const char* name : viewingOnly) {
        EXPECT_FALSE(visible(name)) << name;
    }
    EXPECT_TRUE(window_.fieldModel().isEditing());
    EXPECT_EQ(window_.commands().mode(), DocumentMode::Editing);

    window_.showViewingButtons();
    for (const char* name : viewingOnly) {
        EXPECT_TRUE(visible(name)) << name;
    }
    EXPECT_FALSE(visible("cmdSave"));
    EXPECT_FALSE(visible("cmdCancel"));
    EXPECT_FALSE(window_.fieldModel().isEditing());
    for (const char* name : always) {
        EXPECT_TRUE(visible(name)) << name;
    }
}

TEST_F(MainWindowTest, LayoutPairsTabOrderAndTransferButtons) {
    EXPECT_EQ(window_.windowTitle(), "Formwell");
    EXPECT_EQ(window_.size(), QSize(640, 473));
    EXPECT_EQ(button(window_, "cmdSave")->geometry(), button(window_, "cmdModify")->geometry());
    EXPECT_EQ(button(window_, "cmdCancel")->geometry(), button(window_, "cmdClose")->geometry());
    for (const char* name : {"Setup", "Upload", "DownProg", "DownINI"}) {
        EXPECT_TRUE(button(window_, name)->isEnabled()) << name;
        EXPECT_EQ(button(window_, name)->width(), button(window_, "Setup")->width());
    }

    const char* order[] = {"OpenINI", "NewINI",    "cmdSave",   "cmdCancel", "Setup",    "Upload", "DownProg",
                           "DownINI", "cmdDelete", "cmdModify", "cmdClose",  "cmdAbout", "cmdHelp"};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        EXPECT_EQ(button(window_, order[i])->nextInFocusChain()->objectName(), order[i + 1]) << order[i];
    }

    // Resizing moves no control.
    const QRect help = button(window_, "cmdHelp")->geometry();
    window_.resize(900, 700);
    EXPECT_EQ(button(window_, "cmdHelp")->geometry(), help);
}

TEST_F(MainWindowTest, ColumnsFillTheGridInTheirProportions) {
    auto* grid = window_.findChild<QTableView*>(QStringLiteral("ParamGrid"));
    ASSERT_NE(grid, nullptr);
    int total = 0;
    for (int c = 0; c < 7; ++c) {
        total += grid->columnWidth(c);
    }
    EXPECT_EQ(total, grid->viewport()->width());
    EXPECT_GT(grid->columnWidth(0), grid->columnWidth(4));  // 2725 against 1773
}

TEST_F(MainWindowTest, BarcodesButtonWritesTheMaskBackEvenWhenCancelled) {
    QAbstractItemModelTester tester(&window_.fieldModel());
    window_.resetGrid({FieldDefinition{"A", "", "", "", "", "", ""},
                       FieldDefinition{"B", "", "", "", "", "", "0000000000000011"}});
    const QModelIndex empty = window_.fieldModel().index(0, 6);

    // Locked in viewing mode.
    window_.editBarcodes(empty);
    EXPECT_EQ(empty.data().toString(), "");

    window_.showEditingButtons();
    for (int row : {0, 1}) {
        const auto closing = testing::whenModalOpens<QDialog>([](QDialog& dialog) { dialog.close(); });
        window_.editBarcodes(window_.fieldModel().index(row, 6));
    }
    EXPECT_EQ(window_.fieldModel().index(0, 6).data().toString(), "0111111111111111");
    EXPECT_EQ(window_.fieldModel().index(1, 6).data().toString(), "0000000000000011");
    EXPECT_EQ(window_.barcodeString().toStdString(), "0000000000000011");
}

TEST_F(MainWindowTest, DeleteKeyRemovesSelectedRowsOnlyWhileEditing) {
    auto* grid = window_.findChild<QTableView*>(QStringLiteral("ParamGrid"));
    ASSERT_NE(grid, nullptr);
    window_.resetGrid({FieldDefinition{"A", "", "", "", "", "", ""},
                       FieldDefinition{"B", "", "", "", "", "", ""},
                       FieldDefinition{"C", "", "", "", "", "", ""}});
    auto selectRows = [&](std::initializer_list<int> rows) {
        grid->clearSelection();
        for (int r : rows) {
            grid->selectionModel()->select(window_.fieldModel().index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        grid->setFocus();
    };

    selectRows({0});
    QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_EQ(window_.fieldModel().rows().size(), 3u);  // locked in viewing mode
    EXPECT_TRUE(ui_.transcript().empty());

    window_.showEditingButtons();
    selectRows({0, 2, 3});                  // row 3 is the new-row line: not a row to delete
    QTest::keyClick(grid, Qt::Key_Delete);  // no answer: the default, No
    EXPECT_EQ(window_.fieldModel().rows().size(), 3u);
    ui_.queueAnswer(Answer::Yes);
    QTest::keyClick(grid, Qt::Key_Delete);
    ASSERT_EQ(window_.fieldModel().rows().size(), 1u);
    EXPECT_EQ(window_.fieldModel().rows().row(0).FieldName, "B");
    EXPECT_EQ(ui_.transcript(), std::vector<std::string>(2, "msg[Confirm Action|Delete 2 rows?|question]"));
    EXPECT_EQ(ui_.messages()[0].defaultButton, Answer::No);
}

TEST_F(MainWindowTest, F2OrSpaceOnTheBarcodesCellOpensTheDialog) {
    auto* grid = window_.findChild<QTableView*>(QStringLiteral("ParamGrid"));
    ASSERT_NE(grid, nullptr);
    window_.resetGrid({FieldDefinition{"A", "", "", "", "", "", "0000000000000011"}});
    window_.showEditingButtons();
    grid->setFocus();
    grid->setCurrentIndex(window_.fieldModel().index(0, 6));
    for (Qt::Key key : {Qt::Key_F2, Qt::Key_Space}) {
        const auto closing =
            testing::whenModalOpens<BarcodeDialog>([](BarcodeDialog& dialog) { dialog.reject(); });
        QTest::keyClick(grid, key);
        QCoreApplication::processEvents();  // the dialog opens from the queue, as after a click
    }
}

TEST_F(MainWindowTest, ClosingWithUnsavedRowsAsksAndCancelKeepsTheWindow) {
    formwell::testing::TempDir dir;
    const std::string file = (dir / "new.ini").string();
    ui_.queueFile(file);
    window_.commands().newDocument();
    window_.fieldModel().setData(window_.fieldModel().index(0, 0), QStringLiteral("QTY"));
    ui_.clear();

    ui_.queueAnswer(Answer::Cancel);
    EXPECT_FALSE(window_.close());
    EXPECT_TRUE(window_.isVisible());
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0].buttons, MessageButtons::YesNoCancel);

    ui_.queueAnswer(Answer::No);
    EXPECT_TRUE(window_.close());
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(StartupDirectory, NoTrailingSeparator) {
    const auto native = [](const char* path) { return QDir::toNativeSeparators(QString::fromLatin1(path)); };
    EXPECT_EQ(startupDirectoryFrom(QStringLiteral("/home/user/Formwell/")), native("/home/user/Formwell"));
    EXPECT_EQ(startupDirectoryFrom(QStringLiteral("/home/user")), native("/home/user"));
    EXPECT_EQ(startupDirectoryFrom(QStringLiteral("/")), native("/"));
}

TEST(Splash, TimerClosesTheSplashBeforeTheMainWindowAppears) {
    bool splashVisibleWhenMainShown = true;
    QPointer<SplashWindow> splash;
    int shown = 0;
    splash = new SplashWindow([&] {
        ++shown;
        splashVisibleWhenMainShown = splash && splash->isVisible();
    });
    splash->show();
    EXPECT_EQ(splash->windowTitle(), "Veltrax Inc.");
    EXPECT_EQ(splash->size(), QSize(640, 473));
    EXPECT_EQ(splash->findChild<QLabel*>(QStringLiteral("Image1"))->geometry(), QRect(6, 4, 606, 413));
    EXPECT_EQ(splash->findChild<QLabel*>(QStringLiteral("Label1"))->geometry(), QRect(56, 424, 494, 20));
    ASSERT_TRUE(splash->timer()->isActive());
    EXPECT_TRUE(splash->timer()->isSingleShot());
    EXPECT_EQ(splash->timer()->interval(), 2000);

    // Fire the real timer at once instead of waiting two seconds.
    splash->timer()->start(0);
    for (int i = 0; i < 100 && shown == 0; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(splashVisibleWhenMainShown);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(splash.isNull());
}

TEST(AboutBox, LinksNeedABrowserAndAppendTheAddress) {
    RecordingInteraction ui;
    std::string browser = "Not Found";
    std::vector<std::string> started;
    BrowserLauncher launcher{[&] { return browser; },
                             [&](const std::string& line, std::string&) {
                                 started.push_back(line);
                                 return true;
                             }};
    AboutBox about(ui, launcher);
    EXPECT_EQ(about.windowTitle(), "About- Formwell");
    EXPECT_EQ(about.size(), QSize(567, 333));
    EXPECT_EQ(about.pos(), QPoint(33, 33));
    about.show();
    auto* picture = about.findChild<QLabel*>(QStringLiteral("Image1"));
    auto* address = about.findChild<QLabel*>(QStringLiteral("Label15"));
    ASSERT_NE(picture, nullptr);
    ASSERT_NE(address, nullptr);

    for (const std::string& none : {std::string("Not Found"), std::string()}) {
        browser = none;
        QTest::mouseClick(address, Qt::LeftButton);
        QTest::mouseClick(picture, Qt::LeftButton);
    }
    EXPECT_EQ(ui.transcript(), std::vector<std::string>(4, "msg[ERROR|No browser installed|critical]"));
    EXPECT_TRUE(started.empty());

    browser = "\"C:\\Browser\\browse.exe\" -nohome";
    QTest::mouseClick(address, Qt::LeftButton);
    QTest::mouseClick(picture, Qt::LeftButton);
    const std::string expected = "\"C:\\Browser\\browse.exe\" -nohome http://www.veltrax.example/";
    EXPECT_EQ(started, (std::vector<std::string>{expected, expected}));
}

TEST(AboutBox, ABrowserThatCannotStartIsReported) {
    RecordingInteraction ui;
    BrowserLauncher launcher{[] { return std::string("/no/such/browser"); },
                             [](const std::string&, std::string& error) {
                                 error = "No such file or directory";
                                 return false;
                             }};
    EXPECT_FALSE(openWebPage(ui, launcher, kMakerWebAddress));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "ERROR");
    EXPECT_EQ(ui.messages()[0].icon, MessageIcon::Critical);
}

QString accessibleName(QWidget& widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&widget);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

// What a person reads on a control, if anything.
QString caption(QWidget& widget) {
    if (auto* b = qobject_cast<QAbstractButton*>(&widget)) {
        return QString(b->text()).remove(QLatin1Char('&'));
    }
    if (auto* label = qobject_cast<QLabel*>(&widget)) {
        return label->text();
    }
    if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
        return group->title();
    }
    for (QLabel* label : widget.window()->findChildren<QLabel*>()) {
        if (label->buddy() == &widget) {
            return label->text().remove(QLatin1Char('&'));
        }
    }
    return {};
}

// Every control, down through its containers (but not into a grid's own parts), has its legacy name
// as its object name, and a screen reader says what a person reads, not that name.
void expectNamedForPeopleAndAutomation(QWidget& parent) {
    for (QWidget* control : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const std::string name = control->objectName().toStdString();
        EXPECT_FALSE(name.empty()) << "a " << control->metaObject()->className() << " in "
                                   << parent.objectName().toStdString();
        if (accessibleName(*control) == control->objectName()) {
            EXPECT_EQ(caption(*control).toStdString(), name);
        }
        if (qobject_cast<QAbstractButton*>(control) != nullptr) {
            EXPECT_EQ(accessibleName(*control).toStdString(), caption(*control).toStdString()) << name;
        }
        if (qobject_cast<QAbstractScrollArea*>(control) == nullptr &&
            qobject_cast<QComboBox*>(control) == nullptr) {
            expectNamedForPeopleAndAutomation(*control);
        }
    }
}

TEST(LegacyNames, ObjectNamesAreTheLegacyNamesAndAccessibleNamesTheCaptions) {
    RecordingInteraction ui;
    MainWindow mainWindow(MainWindowServices{&ui, {}, {}});
    PortSettingsDialog portSettings(ui, "/nonexistent-start/mbx.dat");
    AboutBox about(ui, BrowserLauncher{});
    SplashWindow splash({});
    BarcodeDialog barcodes("0111111111111111", ui);
    const std::pair<QWidget*, const char*> windows[] = {{&mainWindow, "Interface"},
                                                        {&portSettings, "Parameter"},
                                                        {&about, "frmAbout"},
                                                        {&splash, "frmSpalsh"},
                                                        {&barcodes, "frmBarcode_Selection"}};
    for (const auto& [window, name] : windows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(window->objectName(), name);
        EXPECT_EQ(accessibleName(*window), window->windowTitle());
        expectNamedForPeopleAndAutomation(*window);
    }
    auto* currentFile = mainWindow.findChild<QWidget*>(QStringLiteral("CurrFile"));
    ASSERT_NE(currentFile, nullptr);
    EXPECT_EQ(accessibleName(*currentFile), "INI File");
}

TEST(StartWatched, ALauncherThatEndsInFailureIsReportedAfterwards) {
    if (QStandardPaths::findExecutable(QStringLiteral("false")).isEmpty()) {
        GTEST_SKIP() << "no false program to start";
    }
    std::string error;
    EXPECT_FALSE(startWatched(ProgramCall{"/no/such/viewer-formwell", {}}, error, {}));
    EXPECT_NE(error.find("/no/such/viewer-formwell"), std::string::npos) << error;

    std::string reason;
    ASSERT_TRUE(startWatched(ProgramCall{"false", {}}, error, [&](const std::string& r) { reason = r; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !reason.empty(); }, 30000));
    EXPECT_EQ(reason, "false ended with exit status 1");
}

}  // namespace
}  // namespace formwell::shell
