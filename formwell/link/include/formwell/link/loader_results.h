// Download's results in words, for people reading a console or a log: "loaded (S-record image)",
// "cancelled". The window shows only its own messages; formwell-cli prints the code and this.
#pragma once

#include <cstdint>
#include <string>

namespace formwell::link {

std::string loaderResultMeaning(std::int32_t result);

}  // namespace formwell::link
