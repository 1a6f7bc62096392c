// Pieces of the hex-block protocol that tests reach on their own.
#pragma once

#include <string>
#include <string_view>

namespace pushkit {

// 8 characters of the terminal's first answer, up to the first zero byte; a space where a character
// is expected is skipped.
std::string terminalIdentification(std::string_view answer);

}  // namespace pushkit
