#include "formwell/common/user_interaction.h"

namespace formwell {

std::string progressText(const Progress& progress) {
    std::string text = progress.activity + ": " + std::to_string(progress.done);
    if (progress.unit == "%") {
        return text + " %";
    }
    if (progress.total >= 0) {
        text += " of " + std::to_string(progress.total);
    }
    if (!progress.unit.empty()) {
        // "1 record" of an open-ended count; "1 of 200 lines" keeps the plural.
        const bool single = progress.done == 1 && progress.total < 0 && progress.unit.back() == 's';
        text += " " + (single ? progress.unit.substr(0, progress.unit.size() - 1) : progress.unit);
    }
    return text;
}

}  // namespace formwell
