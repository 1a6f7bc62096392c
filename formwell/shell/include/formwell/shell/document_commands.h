// The document commands of the main window (New ini, Open ini, Modify, Save, Cancel, Delete, Exit,
// Help) as plain logic: what each one asks, says and changes. The window supplies the grid and the
// focus-driven mode switch through DocumentWindow; the person at the screen is reached only
// through UserInteraction, so every message sequence runs in tests without a display.
#pragma once

#include <functional>
#include <memory>
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

// Starts a program without waiting; false and a reason when it could not be started. Should the
// program end in failure afterwards (a launcher that found no viewer), `failedLater` gets the reason.
using ProgramStarter =
    std::function<bool(const ProgramCall& call, std::string& error, ProgramFailure failedLater)>;
ProgramStarter systemProgramStarter();

inline constexpr const char* kHelpFileName = "readme.txt";

class DocumentCommands {
  public:
    // `installedHelp`: where Help looks, in order, when the start-up directory holds no readme.txt.
    DocumentCommands(DocumentWindow& window, UserInteraction& ui, std::string startupDirectory,
                     ProgramStarter starter = systemProgramStarter(),
                     std::vector<std::string> installedHelp = {});

    // One per button, named for what it does.
    void newDocument();     // New ini: a name that is not taken yet, then editing an empty grid
    void openDocument();    // Open ini: an existing file into the grid
    void modify();          // Modify: editing the open file
    bool save();            // Save: the grid into the current file, then viewing; true when written
    void cancelEditing();   // Cancel: a new file forgotten, an existing one read again, then viewing
    void deleteDocument();  // Delete: the current file removed after two confirmations
    void exit();            // Exit: closes the window
    void showHelp();        // Help: readme.txt from the start-up directory in the text viewer

    // Asked before the window closes: true when it may. Rows changed since they were read or last
    // written are offered for saving first: Yes saves (a failed or refused save keeps the window
    // open), No drops them, Cancel keeps the window open.
    bool mayClose();
    bool hasUnsavedRows() const;

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
    void resetGrid(const FieldRows& rows);
    void reportError(const AppError& error);
    void reportViewerFailure(const std::string& readme, const std::string& reason);

    DocumentWindow& window_;
    UserInteraction& ui_;
    std::string startupDirectory_;
    ProgramStarter starter_;
    std::vector<std::string> installedHelp_;
    // A viewer's late failure is reported only while these commands still exist.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
    std::string currFile_;
    FieldRows savedRows_;  // the rows as last read from or written to the current file
    bool newFile_ = false;
    bool existingFile_ = false;
    DocumentMode mode_ = DocumentMode::Viewing;
};

// The "file exists" test of New ini and Open ini: only regular files count, a folder is not a file.
bool isExistingFile(const std::string& path);

// The name New ini works on: ".ini" added when the typed name has no extension.
std::string withIniExtension(std::string path);

// Where Help looks after the start-up directory, in order: beside the program (the Windows program
// folder, a build tree), the share/doc/formwell folder of the tree it was installed into, and on
// POSIX systems the package's place.
std::vector<std::string> installedHelpFiles(const std::string& programDirectory);

}  // namespace formwell::shell
