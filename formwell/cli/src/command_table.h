// The subcommands formwell-cli offers, in the order its help lists them.
#pragma once

#include <vector>

#include "subcommand.h"

namespace formwell::cli {

const std::vector<Subcommand>& commandTable();

}  // namespace formwell::cli
