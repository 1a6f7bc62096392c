// formwell-cli's side of the user-interaction seam. Every message goes to standard error as
// "Title: text" ("Formwell: text" for a box without a title), the text's CR LF shown as line breaks.
// Yes/No questions are answered Yes by --yes, otherwise read from standard input ("y" or "n");
// closed input answers No, so a script without --yes never starts a transfer by accident. The beep
// is a BEL, and only on a terminal; the hourglass means nothing here. Progress is one updating line
// on a terminal and a few plain lines otherwise.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>

#include "formwell/common/user_interaction.h"

namespace formwell::cli {

struct ConsoleSettings {
    bool assumeYes = false;        // --yes
    bool errorIsTerminal = false;  // standard error is a terminal: BEL beeps, one updating progress line
    bool inputIsTerminal = false;  // standard input is a terminal: it shows the typed answer itself
    // True once Ctrl-C was pressed. Empty: never.
    std::function<bool()> interrupted;
};

class ConsoleInteraction : public UserInteraction {
  public:
    ConsoleInteraction(std::istream& in, std::ostream& err, ConsoleSettings settings);

    Answer show(const Message& message) override;
    void beep() override;
    void setBusy(bool busy) override { (void)busy; }
    // Throws AppError 18 ("User interrupt occurred") once Ctrl-C was pressed. The transfers call it
    // between tries and frames inside their error path, so Ctrl-C ends a transfer the way any raised
    // error does: the port closed, "ERROR: 18 ...", then the transfer's failure message.
    void processEvents() override;
    // There is no dialog: empty, which the commands take as a cancelled choice. formwell-cli hands
    // the file named on its command line to the commands directly.
    std::string chooseFile(const FileDialogRequest& request) override;
    void showProgress(const Progress& progress) override;

  private:
    Answer ask();
    // Ends an updating progress line before anything else is printed.
    void endProgressLine();

    std::istream& in_;
    std::ostream& err_;
    ConsoleSettings settings_;
    bool progressLineOpen_ = false;
    std::int64_t nextPlainReport_ = 0;  // plain progress: the next count worth a line
    std::string plainActivity_;
    std::string lastPlainLine_;
};

// The text as the console shows it: CR LF (and a lone CR) become line breaks.
std::string consoleText(const std::string& text);

}  // namespace formwell::cli
