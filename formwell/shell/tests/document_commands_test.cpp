#include "formwell/shell/document_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fake_document_window.h"
#include "formwell/document/ini_file.h"
#include "formwell/testing/recording_interaction.h"

namespace formwell::shell {
namespace {

namespace fs = std::filesystem;
using formwell::testing::Event;
using formwell::testing::RecordingInteraction;
using Transcript = std::vector<std::string>;

const std::string kOpenFirst = "msg[Invalid Action|Please open an ini file first ...|info]";
const std::string kNewDialog = "file[Type in the new file name]";
const std::string kOpenDialog = "file[Select File to Open]";

FieldDefinition field(std::string name, std::string loopback = "N") {
    return FieldDefinition{name, "Text", "1", "5", "Y", loopback, std::string(kDefaultBarcodeMask)};
}

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class DocumentCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("formwell_commands_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        window_.commands = &commands_;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // A file on disk with the given rows, opened through Open ini; the transcript starts empty.
    std::string openDocument(const std::vector<FieldDefinition>& rows, const std::string& name = "doc.ini") {
        const std::string file = path(name);
        EXPECT_FALSE(writeIniFile(file, rows).has_value());
        ui_.queueFile(file);
        commands_.openDocument();
        EXPECT_EQ(commands_.currentFile(), file);
        ui_.clear();
        return file;
    }

    fs::path dir_;
    RecordingInteraction ui_;
    testing::FakeDocumentWindow window_;
    std::vector<ProgramCall> started_;
    bool starterSucceeds_ = true;
    ProgramFailure failedLater_;
    ProgramStarter starter() {
        return [this](const ProgramCall& call, std::string& error, ProgramFailure failed) {
            started_.push_back(call);
            failedLater_ = std::move(failed);
            if (!starterSucceeds_) {
                error = "no viewer";
            }
            return starterSucceeds_;
        };
    }
    DocumentCommands commands_{window_, ui_, "/nonexistent-start", starter()};
};

TEST_F(DocumentCommandsTest, ModifyAndDeleteNeedACurrentFile) {
    window_.rows = {field("KEEP")};
    commands_.modify();
    commands_.deleteDocument();
    EXPECT_EQ(ui_.transcript(), (Transcript{"beep", kOpenFirst, "beep", kOpenFirst}));
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);
    EXPECT_EQ(window_.rows.size(), 1u);
}

TEST_F(DocumentCommandsTest, NewOverAnExistingNameClearsTheFileButKeepsTheRows) {
    const std::string existing = openDocument({field("A"), field("B")});
    ui_.queueFile(existing);
    commands_.newDocument();
    EXPECT_EQ(
        ui_.transcript(),
        (Transcript{kNewDialog, "beep",
                    "msg[Permission Denied|The file already exists. Please type in a new name ...|info]"}));
    EXPECT_EQ(commands_.currentFile(), "");
    EXPECT_EQ(window_.shownFile, "");
    EXPECT_EQ(window_.rows.size(), 2u);
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);

    ui_.clear();
    commands_.modify();
    EXPECT_EQ(ui_.transcript(), (Transcript{"beep", kOpenFirst}));
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);
}

TEST_F(DocumentCommandsTest, NewThenCancelLeavesNothingBehind) {
    window_.rows = {field("OLD")};
    const std::string fresh = path("fresh.ini");
    ui_.queueFile(fresh);
    commands_.newDocument();
    EXPECT_EQ(window_.mode, DocumentMode::Editing);
    EXPECT_TRUE(window_.rows.empty());
    EXPECT_EQ(commands_.currentFile(), fresh);
    EXPECT_TRUE(commands_.editingNewFile());
    EXPECT_FALSE(commands_.editingExistingFile());

    window_.rows = {field("TYPED")};
    commands_.cancelEditing();
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);
    EXPECT_EQ(commands_.currentFile(), "");
    EXPECT_TRUE(window_.rows.empty());
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(ui_.transcript(), (Transcript{kNewDialog}));
}

TEST_F(DocumentCommandsTest, NewThenSaveWithoutRowsWritesAnEmptyFileNamedDotIni) {
    const std::string fresh = path("empty.ini");
    ui_.queueFile(path("empty"));
    commands_.newDocument();
    commands_.save();
    ASSERT_TRUE(fs::is_regular_file(fresh));
    EXPECT_EQ(fs::file_size(fresh), 0u);
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);
    EXPECT_EQ(commands_.currentFile(), fresh);
}

TEST_F(DocumentCommandsTest, SaveRefusesASecondLoopbackFieldWhateverItsCase) {
    const std::string file = openDocument({field("ONE")});
    const std::string before = fileBytes(file);
    commands_.modify();
    window_.rows = {field("ONE", "Y"), field("TWO", "N"), field("THREE", "y")};
    commands_.save();
    EXPECT_EQ(
        ui_.transcript(),
        (Transcript{"beep",
                    "msg[Operation Failed|Only one field can be selected as Loop-back field ...|info]"}));
    EXPECT_EQ(window_.mode, DocumentMode::Editing);
    EXPECT_EQ(fileBytes(file), before);

    // One loop-back field is fine, and the rows reach the disk exactly as held.
    ui_.clear();
    window_.rows[2].Loopback = "n";
    commands_.save();
    EXPECT_TRUE(ui_.transcript().empty());
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);
    EXPECT_EQ(fileBytes(file), formatIniDocument(window_.rows));
}

TEST_F(DocumentCommandsTest, SaveFailureIsReportedAndTheWindowStillReturnsToViewing) {
    const std::string file = openDocument({field("ONE")});
    commands_.modify();
    fs::remove(file);
    fs::create_directory(file);  // a folder in the file's place: the replacement cannot happen
    window_.rows = {field("ONE"), field("TWO")};
    commands_.save();
    const std::vector<Message> shown = ui_.messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MessageIcon::None);
    EXPECT_EQ(shown[0].shownTitle(), "Formwell");
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);
    EXPECT_EQ(window_.rows.size(), 2u);  // the edits stay on screen
}

TEST_F(DocumentCommandsTest, CancelOfAModificationShowsTheFileAsOnDisk) {
    const std::vector<FieldDefinition> onDisk = {field("QTY"), field("ITEM", "Y")};
    const std::string file = openDocument(onDisk);
    const std::vector<FieldDefinition> loaded = window_.rows;
    commands_.modify();
    EXPECT_EQ(window_.mode, DocumentMode::Editing);
    EXPECT_TRUE(commands_.editingExistingFile());
    window_.rows.push_back(field("EXTRA"));
    window_.rows[0].FieldName = "CHANGED";
    commands_.cancelEditing();
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);
    EXPECT_EQ(window_.rows, loaded);
    EXPECT_EQ(commands_.currentFile(), file);
    EXPECT_TRUE(ui_.transcript().empty());
}

TEST_F(DocumentCommandsTest, DeleteAsksTwiceAndOnlyYesYesDeletes) {
    const std::string confirm = "msg[Confirm Action|Are you sure you want to delete the file?|question]";
    const std::string finalWarning = "msg[Confirm Action|Final Warning. Delete File ?|question]";
    struct Case {
        std::vector<Answer> answers;
        Transcript expected;
        bool deleted;
    };
    const Case cases[] = {
        {{Answer::No}, {confirm}, false},
        {{Answer::Yes, Answer::No}, {confirm, finalWarning}, false},
        {{Answer::Yes, Answer::Yes}, {confirm, finalWarning}, true},
    };
    for (const Case& c : cases) {
        const std::string file = openDocument({field("A")});
        for (Answer a : c.answers) {
            ui_.queueAnswer(a);
        }
        commands_.deleteDocument();
        EXPECT_EQ(ui_.transcript(), c.expected);
        for (const Message& m : ui_.messages()) {
            EXPECT_EQ(m.defaultButton, Answer::No);
        }
        EXPECT_EQ(fs::exists(file), !c.deleted);
        EXPECT_EQ(commands_.currentFile(), c.deleted ? "" : file);
        EXPECT_EQ(window_.rows.size(), c.deleted ? 0u : 1u);
        EXPECT_EQ(window_.mode, DocumentMode::Viewing);
    }
}

TEST_F(DocumentCommandsTest, DeleteOfAFileThatIsGoneIsReportedAndChangesNothing) {
    const std::string file = openDocument({field("A")});
    fs::remove(file);
    ui_.queueAnswer(Answer::Yes);
    ui_.queueAnswer(Answer::Yes);
    commands_.deleteDocument();
    const Transcript t = ui_.transcript();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[2], "beep");
    EXPECT_EQ(t[3].rfind("msg[Formwell|53 File not found", 0), 0u) << t[3];
    EXPECT_EQ(commands_.currentFile(), file);
    EXPECT_EQ(window_.rows.size(), 1u);
}

TEST_F(DocumentCommandsTest, OpenOfSomethingThatIsNotAFileChangesNothing) {
    fs::create_directory(path("folder.ini"));
    for (const std::string& name : {path("missing.ini"), path("folder.ini")}) {
        window_.rows = {field("KEEP")};
        ui_.clear();
        ui_.queueFile(name);
        commands_.openDocument();
        EXPECT_EQ(ui_.transcript(),
                  (Transcript{kOpenDialog, "beep", "msg[File Not Found|The file cannot be found ...|info]"}));
        EXPECT_EQ(commands_.currentFile(), "");
        EXPECT_EQ(window_.rows.size(), 1u);
        EXPECT_EQ(window_.resets, 0);
    }
}

TEST_F(DocumentCommandsTest, CancelledFileDialogsChangeNothing) {
    const std::string file = openDocument({field("A")});
    const int resets = window_.resets;
    commands_.newDocument();
    commands_.openDocument();
    EXPECT_EQ(ui_.transcript(), (Transcript{kNewDialog, kOpenDialog}));
    const std::vector<Event>& events = ui_.events();
    EXPECT_EQ(events[0].request.filter, "INI File (*.ini)|*.ini||");
    EXPECT_EQ(events[0].request.defaultExtension, "*.*");
    EXPECT_EQ(commands_.currentFile(), file);
    EXPECT_EQ(window_.resets, resets);
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);
}

TEST_F(DocumentCommandsTest, OpenShowsTheRowsReadBeforeAReadError) {
    // More fields than a document can hold: the first 32767 are shown, then error 6.
    const std::string file = path("huge.ini");
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i <= kMaxFields; ++i) {
            out << formatIniRecord(field("F"));
        }
    }
    ui_.queueFile(file);
    commands_.openDocument();
    EXPECT_EQ(window_.rows.size(), static_cast<std::size_t>(kMaxFields));
    const std::vector<Message> shown = ui_.messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text.rfind("6 ", 0), 0u) << shown[0].text;
    EXPECT_EQ(window_.mode, DocumentMode::Viewing);
}

TEST_F(DocumentCommandsTest, HelpFallsBackToTheInstalledReadmeAndReportsAViewerThatFailed) {
    fs::create_directories(dir_ / "start");
    fs::create_directories(dir_ / "doc");
    const std::string installed = (dir_ / "doc" / "readme.txt").string();
    const std::string own = (dir_ / "start" / "readme.txt").string();
    DocumentCommands help(window_, ui_, path("start"), starter(), {path("nowhere.txt"), installed});
    help.showHelp();
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.transcript(),
              (Transcript{"beep", "msg[File Not Found|The help file " + own + " cannot be found ...|info]"}));
    EXPECT_NE(ui_.messages()[0].detail.find(installed), std::string::npos);
    EXPECT_TRUE(started_.empty());

    std::ofstream(installed) << "installed";
    ui_.clear();
    help.showHelp();
    std::ofstream(own) << "own";
    help.showHelp();
    ASSERT_EQ(started_.size(), 2u);
    EXPECT_EQ(started_[0].arguments.back(), installed);
    EXPECT_EQ(started_[1].arguments.back(), own);
    EXPECT_TRUE(ui_.transcript().empty());

    // The launcher started, then found no viewer: said afterwards, naming the file.
    failedLater_("xdg-open ended with exit status 3");
    starterSucceeds_ = false;
    help.showHelp();
    const std::vector<Message> shown = ui_.messages();
    ASSERT_EQ(shown.size(), 2u);
    for (const Message& m : shown) {
        EXPECT_EQ(m.icon, MessageIcon::Information);
        EXPECT_NE(m.text.find(own), std::string::npos) << m.text;
    }
    EXPECT_NE(shown[0].text.find("exit status 3"), std::string::npos);
    EXPECT_NE(shown[1].text.find("no viewer"), std::string::npos);
}

TEST(InstalledHelpFiles, BesideTheProgramThenItsInstallTreeThenThePackage) {
    std::vector<std::string> expected = {"/opt/fw/bin/readme.txt", "/opt/fw/share/doc/formwell/readme.txt"};
    if (fs::path::preferred_separator == '/') {
        expected.push_back("/usr/share/doc/formwell/readme.txt");
        EXPECT_EQ(installedHelpFiles("/opt/fw/bin"), expected);
    }
    EXPECT_EQ(installedHelpFiles("").size(), expected.size() - 2);
}

TEST_F(DocumentCommandsTest, ClosingWithChangedRowsAsksToSave) {
    const std::string ask = "msg[Formwell|The fields of " + path("doc.ini") +
                            " were changed.\r\nSave the changes before closing?|question]";
    struct Case {
        std::vector<FieldDefinition> edited;
        Answer answer;
        bool closes;
        bool written;
    };
    const Case cases[] = {
        {{field("A")}, Answer::Ok, true, false},  // unchanged: no question
        {{field("A"), field("B")}, Answer::Cancel, false, false},
        {{field("A"), field("B")}, Answer::No, true, false},
        {{field("A"), field("B")}, Answer::Yes, true, true},
        {{field("A", "Y"), field("B", "Y")}, Answer::Yes, false, false},  // Save refuses
    };
    for (const Case& c : cases) {
        const std::string file = openDocument({field("A")});
        commands_.modify();
        if (c.answer != Answer::Ok) {  // the rows as read stay in the grid otherwise
            window_.rows = c.edited;
            ui_.queueAnswer(c.answer);
        }
        EXPECT_EQ(commands_.mayClose(), c.closes);
        const Transcript t = ui_.transcript();
        EXPECT_EQ(t.empty() ? "" : t[0], c.edited.size() == 1 ? "" : ask);
        if (!t.empty()) {
            EXPECT_EQ(ui_.messages()[0].buttons, MessageButtons::YesNoCancel);
        }
        EXPECT_EQ(fileBytes(file) == formatIniDocument(c.edited), c.written || c.edited.size() == 1);
        EXPECT_EQ(commands_.hasUnsavedRows(), !c.written && c.edited.size() > 1);
    }

    // A new document with nothing typed in closes as it is.
    ui_.clear();
    ui_.queueFile(path("new.ini"));
    commands_.newDocument();
    EXPECT_TRUE(commands_.mayClose());
    EXPECT_EQ(ui_.transcript(), (Transcript{kNewDialog}));
}

}  // namespace
}  // namespace formwell::shell
