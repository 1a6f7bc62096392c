// formwell-cli send-ini FILE: "Transmit ini File" without the window.
#include <filesystem>

#include "formwell/link/transfer_commands.h"
#include "transfer_support.h"

namespace formwell::cli {

Subcommand sendIniCommand() {
    return Subcommand{
        "send-ini",
        "send-ini FILE",
        "Send an INI file to the terminal (Transmit ini File).",
        "Put the terminal in the cradle and choose 2 in its DATA TRANSFER menu first. The port\n"
        "settings come from mbx.dat in the start-up directory. After the confirmation (--yes, or y on\n"
        "standard input) FILE goes to the terminal line by line, each line one frame the terminal\n"
        "acknowledges, exactly as stored: lines end at CR LF, CR or LF.\n",
        {},
        1,
        1,
        [](CommandContext& c) {
            link::TransferGuard guard;
            link::LinkCommands commands(c.ui, c.global.startupDirectory, transferComrig(c), guard, c.history);
            commands.transmitIniFile(
                std::filesystem::absolute(std::filesystem::path(c.line.arguments.front())).string());
            return exitStatusOf(commands.lastOutcome());
        }};
}

}  // namespace formwell::cli
