#include "formwell/document/pad_right.h"

namespace formwell {

std::string padRight(std::string_view text, int width) {
    std::string padded(text);
    if (width > 0 && padded.size() < static_cast<std::size_t>(width)) {
        padded.append(static_cast<std::size_t>(width) - padded.size(), ' ');
    }
    return padded;
}

}  // namespace formwell
