#include "command_table.h"

namespace formwell::cli {

// Each subcommand's file defines one of these; add a line below to offer it.
Subcommand sendIniCommand();
Subcommand receiveCommand();
Subcommand iniCommand();
Subcommand checkCommand();
Subcommand loadCommand();
Subcommand portsCommand();

const std::vector<Subcommand>& commandTable() {
    static const std::vector<Subcommand> table = {
        sendIniCommand(), receiveCommand(), loadCommand(), checkCommand(), portsCommand(), iniCommand(),
    };
    return table;
}

}  // namespace formwell::cli
