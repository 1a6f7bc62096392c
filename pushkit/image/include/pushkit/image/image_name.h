// What an image's file name decides: its extension makes it an Intel HEX image or an S-record one,
// and a HEX image's first three letters choose the transfer. Pure functions over the name.
#pragma once

#include <string_view>

#include "pushkit/image/terminal_kinds.h"

namespace pushkit {

// The file name split as the loader chooses by it: the last path component (either separator), its
// extension from the last '.', the base name before it.
struct ImageName {
    std::string_view base;
    std::string_view extension;  // with its '.', empty when none
};
ImageName splitImageName(std::string_view path);

// ASCII comparison without regard to case; `upper` is written in capitals.
bool equalsIgnoringCase(std::string_view text, std::string_view upper);
bool startsWithIgnoringCase(std::string_view text, std::string_view upper);

// Extension and prefix compared without regard to case.
ImageRoute imageRoute(std::string_view path);

}  // namespace pushkit
