// The document commands of the main window (New ini, Open ini, Modify, Save, Cancel, Delete, Exit,
// Help) as plain logic: what each one asks, says and changes. The window supplies the grid and the
// focus-driven mode switch through DocumentWindow; the person at the screen is reached only
// through UserInteraction, so every message sequence runs in tests without a display.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "formwell/common/app_error.h"
#include "formwell/common/user_interaction.h"
#include "formwell/document/field_rows.h"
#include "formwell/shell/platform.h"

namespace formwell::shell {

enum class DocumentMode { Viewing, Editing };

// What only the window can do.
class DocumentWindow {
  public:
    virtual ~DocumentWindow() = default;
    // Shows Save and Cancel and gives Save the focus, which switches the window to editing.
    virtual void showEditingButtons() = 0;
    // Shows Delete, Modify and Exit and gives Exit the focus, which switches the window to viewing.
    virtual void showViewingButtons() = 0;
    // The document lives in the grid: these replace and read all of its rows.
    virtual void resetGrid(const FieldRows& rows) = 0;
    virtual FieldRows gridRows() const = 0;
    virtual void showCurrentFile(const std::string& path) = 0;
    virtual void closeWindow() = 0;
};

// Starts a program without waiting; false and a reason when it could not be started.
using ProgramStarter = std::function<bool(const ProgramCall& call, std::string& error)>;
ProgramStarter systemProgramStarter();

inline constexpr const char* kHelpFileName = "readme.txt";

class DocumentCommands {
  public:
    DocumentCommands(DocumentWindow& window, UserInteraction& ui, std::string startupDirectory,
                     ProgramStarter starter = systemProgramStarter());

    // One per button, named for what it does.
    void newDocument();     // New ini: a name that is not taken yet, then editing an empty grid
    void openDocument();    // Open ini: an existing file into the grid
    void modify();          // Modify: editing the open file
    void save();            // Save: the grid into the current file, then viewing
    void cancelEditing();   // Cancel: a new file forgotten, an existing one read again, then viewing
    void deleteDocument();  // Delete: the current file removed after two confirmations
    void exit();            // Exit: closes the window
    void showHelp();        // Help: readme.txt from the start-up directory in the text viewer

    // The window reports the mode it applied when Save or Exit received the focus.
    void modeApplied(DocumentMode mode) { mode_ = mode; }

    const std::string& currentFile() const { return currFile_; }
    // CurrFile is the path every command works on; the window lets nobody else write it.
    void setCurrentFile(std::string path);
    DocumentMode mode() const { return mode_; }
    bool editingNewFile() const { return newFile_; }
    bool editingExistingFile() const { return existingFile_; }
    const std::string& startupDirectory() const { return startupDirectory_; }
    // A file in the start-up directory (mbx.dat, import.txt, readme.txt).
    std::string startupFile(const std::string& name) const;

  private:
    // Clears the grid and loads the file into it; a read error is shown after the rows read so far.
    void loadGridFrom(const std::string& path);
    void reportError(const AppError& error);

    DocumentWindow& window_;
    UserInteraction& ui_;
    std::string startupDirectory_;
    ProgramStarter starter_;
    std::string currFile_;
    bool newFile_ = false;
    bool existingFile_ = false;
    DocumentMode mode_ = DocumentMode::Viewing;
};

// The "file exists" test of New ini and Open ini: only regular files count, a folder is not a file.
bool isExistingFile(const std::string& path);

}  // namespace formwell::shell
