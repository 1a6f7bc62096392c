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

bool sameRows(const FieldRows& a, const FieldRows& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a.row(i) != b.row(i)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool isExistingFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(fs::path(path), ec);
}

std::string withIniExtension(std::string path) {
    if (!fs::path(path).filename().has_extension()) {
        path += ".ini";
    }
    return path;
}

std::vector<std::string> installedHelpFiles(const std::string& programDirectory) {
    std::vector<std::string> files;
    if (!programDirectory.empty()) {
        const fs::path program(programDirectory);
        files.push_back((program / kHelpFileName).string());
        files.push_back(
            (program / ".." / "share" / "doc" / "formwell" / kHelpFileName).lexically_normal().string());
    }
    if constexpr (fs::path::preferred_separator == '/') {
        files.push_back(std::string("/usr/share/doc/formwell/") + kHelpFileName);
    }
    return files;
}

ProgramStarter systemProgramStarter() {
    return [](const ProgramCall& call, std::string& error, ProgramFailure failedLater) {
        return startWatched(call, error, std::move(failedLater));
    };
}

DocumentCommands::DocumentCommands(DocumentWindow& window, UserInteraction& ui, std::string startupDirectory,
                                   ProgramStarter starter, std::vector<std::string> installedHelp)
    : window_(window),
      ui_(ui),
      startupDirectory_(std::move(startupDirectory)),
      starter_(std::move(starter)),
      installedHelp_(std::move(installedHelp)) {}

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

void DocumentCommands::resetGrid(const FieldRows& rows) {
    window_.resetGrid(rows);
    savedRows_ = rows;
}

void DocumentCommands::loadGridFrom(const std::string& path) {
    const IniRowsResult read = readIniRows(fs::path(path));
    resetGrid(read.rows);
    if (read.error) {
        reportError(*read.error);
    }
}

void DocumentCommands::newDocument() {
    std::string path = showFileDialog(ui_, kIniFileFilter, "Type in the new file name", kAnyExtension);
    if (path.empty()) {
        return;
    }
    path = withIniExtension(std::move(path));
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
    resetGrid({});
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

bool DocumentCommands::save() {
    const FieldRows rows = window_.gridRows();
    if (countMatches(rows, kLoopbackColumn, "Y") > 1) {
        ui_.beep();
        ui_.show(information("Operation Failed", "Only one field can be selected as Loop-back field ..."));
        return false;
    }
    // A failed write is reported here and the window still returns to viewing: the rows stay in the
    // grid (still unsaved), and the old file is whole because the writer replaces it only after a
    // complete write.
    const std::optional<AppError> error = writeIniFile(fs::path(currFile_), rows);
    if (error) {
        reportError(*error);
    } else {
        savedRows_ = rows;
    }
    window_.showViewingButtons();
    mode_ = DocumentMode::Viewing;
    return !error;
}

void DocumentCommands::cancelEditing() {
    if (newFile_) {
        setCurrentFile({});
        resetGrid({});
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
    resetGrid({});
    setCurrentFile({});
}

void DocumentCommands::exit() {
    window_.closeWindow();
}

bool DocumentCommands::hasUnsavedRows() const {
    // Without a current file there is nowhere to save to (a New ini whose name was refused).
    return !currFile_.empty() && !sameRows(window_.gridRows(), savedRows_);
}

bool DocumentCommands::mayClose() {
    if (!hasUnsavedRows()) {
        return true;
    }
    Message ask = question(
        std::string(), "The fields of " + currFile_ + " were changed.\r\nSave the changes before closing?",
        Answer::Yes);
    ask.buttons = MessageButtons::YesNoCancel;
    switch (ui_.show(ask)) {
        case Answer::Yes:
            return save();
        case Answer::No:
            return true;
        case Answer::Ok:
        case Answer::Cancel:
            break;
    }
    return false;
}

void DocumentCommands::showHelp() {
    const std::string startupReadme = startupFile(kHelpFileName);
    std::string readme = isExistingFile(startupReadme) ? startupReadme : std::string();
    for (const std::string& installed : installedHelp_) {
        if (readme.empty() && isExistingFile(installed)) {
            readme = installed;
        }
    }
    if (readme.empty()) {
        std::string lookedAt = "Also looked for:";
        for (const std::string& installed : installedHelp_) {
            lookedAt += "\n" + installed;
        }
        ui_.beep();
        ui_.show(withDetail(
            information("File Not Found", "The help file " + startupReadme + " cannot be found ..."),
            installedHelp_.empty() ? std::string() : lookedAt));
        return;
    }
    std::string error;
    ProgramFailure failedLater = [this, alive = std::weak_ptr<char>(alive_),
                                  readme](const std::string& reason) {
        if (alive.lock()) {
            reportViewerFailure(readme, reason);
        }
    };
    if (!starter_ || !starter_(textViewerCommand(readme), error, std::move(failedLater))) {
        reportViewerFailure(readme, error);
    }
}

void DocumentCommands::reportViewerFailure(const std::string& readme, const std::string& reason) {
    ui_.beep();
    ui_.show(withDetail(
        information("Help", "The text viewer could not be started to show " + readme + ": " + reason),
        "Open that file with any text editor."));
}

}  // namespace formwell::shell
