// A window for the document commands without widgets: it applies the mode the real window would
// apply when Save or Exit takes the focus, and holds the grid's rows.
#pragma once

#include <string>
#include <vector>

#include "formwell/shell/document_commands.h"

namespace formwell::shell::testing {

class FakeDocumentWindow : public DocumentWindow {
  public:
    DocumentCommands* commands = nullptr;
    DocumentMode mode = DocumentMode::Viewing;
    std::vector<FieldDefinition> rows;
    std::string shownFile;
    int resets = 0;
    bool closed = false;

    void showEditingButtons() override { apply(DocumentMode::Editing); }
    void showViewingButtons() override { apply(DocumentMode::Viewing); }
    void resetGrid(const FieldRows& newRows) override {
        rows = newRows.toVector();
        ++resets;
    }
    FieldRows gridRows() const override { return rows; }
    void showCurrentFile(const std::string& path) override { shownFile = path; }
    void closeWindow() override { closed = true; }

  private:
    void apply(DocumentMode m) {
        mode = m;
        if (commands != nullptr) {
            commands->modeApplied(m);
        }
    }
};

}  // namespace formwell::shell::testing
