#include "command_table.h"

namespace formwell::cli {

// Each subcommand's file defines one of these; add a line here to offer it.

const std::vector<Subcommand>& commandTable() {
    static const std::vector<Subcommand> table = {};
    return table;
}

}  // namespace formwell::cli
