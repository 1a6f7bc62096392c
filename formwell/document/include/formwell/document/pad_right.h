// Left-justifies a value in a fixed-width slot: the text followed by spaces up to the width. A text
// that is already as wide or wider is returned whole (the fixed-width writers never cut a value; an
// overlong one pushes the rest of the line to the right).
#pragma once

#include <string>
#include <string_view>

namespace formwell {

std::string padRight(std::string_view text, int width);

}  // namespace formwell
