#include "formwell/shell/document_commands.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>

#include "formwell/common/show_file_dialog.h"
#include "formwell/document/ini_file.h"

namespace formwell::shell {

namespace fs = std::filesystem;

namespace {

constexpr int kLoopbackColumn = static_cast<int>(FieldColumn::Loopback);

Message openFileFirst() {
    return information("Invalid Action", "Please open an ini file first ...");
}

}  // namespace

bool isExistingFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(fs::path(path), ec);
}

ProgramStarter systemProgramStarter() {
    return [](const ProgramCall& call, std::string& error) {
        return startDetached(call.program, call.arguments, error);
    };
}

DocumentCommands::DocumentCommands(DocumentWindow& window, UserInteraction& ui, std::string startupDirectory,
                                   ProgramStarter starter)
    : window_(window),
      ui_(ui),
      startupDirectory_(std::move(startupDirectory)),
      starter_(std::move(starter)) {}

void DocumentCommands::setCurrentFile(std::string path) {
    currFile_ = std::move(path);
    window_.showCurrentFile(currFile_);
}

// Joined as text, not as a path: a start-up directory of "C:" (a drive's root, recorded without its
// separator) must give "C:\name", where path joining would give the drive-relative "C:name".
std::string DocumentCommands::startupFile(const std::string& name) const {
    if (startupDirectory_.empty() || startupDirectory_.back() == '/' || startupDirectory_.back() == '\\') {
        return startupDirectory_ + name;
    }
    return startupDirectory_ + static_cast<char>(fs::path::preferred_separator) + name;
}

void DocumentCommands::reportError(const AppError& error) {
    ui_.show(plainNotice(error.text()));
}

void DocumentCommands::loadGridFrom(const std::string& path) {
    const IniRowsResult read = readIniRows(fs::path(path));
    window_.resetGrid(read.rows);
    if (read.error) {
        reportError(*read.error);
    }
}

void DocumentCommands::newDocument() {
    const std::string path = showFileDialog(ui_, kIniFileFilter, "Type in the new file name", kAnyExtension);
    if (path.empty()) {
        return;
    }
    if (isExistingFile(path)) {
        ui_.beep();
        ui_.show(information("Permission Denied", "The file already exists. Please type in a new name ..."));
        // The previous document's rows stay on screen, but without a current file nothing acts on them.
        setCurrentFile({});
        return;
    }
    newFile_ = true;
    existingFile_ = false;
    setCurrentFile(path);
    window_.resetGrid({});
    window_.showEditingButtons();
    mode_ = DocumentMode::Editing;
}

void DocumentCommands::openDocument() {
    const std::string path = showFileDialog(ui_, kIniFileFilter, "Select File to Open", kAnyExtension);
    if (path.empty()) {
        return;
    }
    if (!isExistingFile(path)) {
        ui_.beep();
        ui_.show(information("File Not Found", "The file cannot be found ..."));
        return;
    }
    setCurrentFile(path);
    loadGridFrom(path);
}

void DocumentCommands::modify() {
    if (currFile_.empty()) {
        ui_.beep();
        ui_.show(openFileFirst());
        return;
    }
    newFile_ = false;
    existingFile_ = true;
    window_.showEditingButtons();
    mode_ = DocumentMode::Editing;
}

void DocumentCommands::save() {
    const FieldRows rows = window_.gridRows();
    if (countMatches(rows, kLoopbackColumn, "Y") > 1) {
        ui_.beep();
        ui_.show(information("Operation Failed", "Only one field can be selected as Loop-back field ..."));
        return;
    }
    // A failed write is reported here and the window still returns to viewing: the rows stay in the
    // grid, and the old file is whole because the writer replaces it only after a complete write.
    if (const std::optional<AppError> error = writeIniFile(fs::path(currFile_), rows)) {
        reportError(*error);
    }
    window_.showViewingButtons();
    mode_ = DocumentMode::Viewing;
}

void DocumentCommands::cancelEditing() {
    if (newFile_) {
        setCurrentFile({});
        window_.resetGrid({});
    } else if (existingFile_) {
        loadGridFrom(currFile_);
    }
    window_.showViewingButtons();
    mode_ = DocumentMode::Viewing;
}

void DocumentCommands::deleteDocument() {
    if (currFile_.empty()) {
        ui_.beep();
        ui_.show(openFileFirst());
        return;
    }
    if (ui_.show(question("Confirm Action", "Are you sure you want to delete the file?")) != Answer::Yes) {
        return;
    }
    if (ui_.show(question("Confirm Action", "Final Warning. Delete File ?")) != Answer::Yes) {
        return;
    }
    const fs::path path(currFile_);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    std::optional<AppError> failure;
    if (!fs::exists(status)) {
        failure = makeError(errnum::kFileNotFound);
        failure->description += " (" + currFile_ + ")";
    } else if (fs::is_directory(status)) {
        // Removing an empty folder that took the file's place is not what the user asked for.
        failure = AppError{errnum::kPathFileAccess, "Not a file (" + currFile_ + ")"};
    } else if (!fs::remove(path, ec) || ec) {
        failure = errorFromErrno(ec ? ec.default_error_condition().value() : ENOENT, currFile_);
    }
    if (failure) {
        // The file is still there (or was never there): keep the document as it is on screen.
        ui_.beep();
        reportError(*failure);
        return;
    }
    window_.resetGrid({});
    setCurrentFile({});
}

void DocumentCommands::exit() {
    window_.closeWindow();
}

void DocumentCommands::showHelp() {
    const std::string readme = startupFile(kHelpFileName);
    if (!isExistingFile(readme)) {
        ui_.beep();
        ui_.show(information("File Not Found", "The help file " + readme + " cannot be found ..."));
        return;
    }
    std::string error;
    if (!starter_ || !starter_(textViewerCommand(readme), error)) {
        ui_.beep();
        ui_.show(
            information("Help", "The text viewer could not be started to show " + readme + ": " + error));
    }
}

}  // namespace formwell::shell
