#include "formwell/common/show_file_dialog.h"

#include <exception>

namespace formwell {

std::string showFileDialog(UserInteraction& ui, const std::string& filter, const std::string& title,
                           const std::string& defaultExt) {
    try {
        return ui.chooseFile(FileDialogRequest{filter, title, defaultExt});
    } catch (const std::exception& e) {
        ui.beep();
        ui.show(plainNotice(e.what()));
    }
    return {};
}

}  // namespace formwell
