// The file-choosing helper every command uses: the open-file dialog with a filter, a title and a
// default extension. A cancelled dialog, and a dialog that failed, both answer with an empty path,
// which every caller treats as "nothing chosen".
#pragma once

#include <string>

#include "formwell/common/user_interaction.h"

namespace formwell {

inline constexpr const char* kIniFileFilter = "INI File (*.ini)|*.ini||";
inline constexpr const char* kAnyExtension = "*.*";

std::string showFileDialog(UserInteraction& ui, const std::string& filter, const std::string& title,
                           const std::string& defaultExt);

}  // namespace formwell
