// formwell-cli receive: "Receive File From HHT" without the window.
#include "formwell/link/transfer_commands.h"
#include "transfer_support.h"

namespace formwell::cli {

Subcommand receiveCommand() {
    return Subcommand{
        "receive",
        "receive",
        "Receive the terminal's records into import.txt (Receive File From HHT).",
        "Put the terminal in the cradle and choose 1 in its DATA TRANSFER menu first. The port\n"
        "settings come from mbx.dat in the start-up directory, where import.txt is written: it is\n"
        "emptied at the start (a non-empty one is kept as import.txt.bak first), then gets one line\n"
        "per record the terminal sends, until the terminal ends the transfer.\n",
        {},
        0,
        0,
        [](CommandContext& c) {
            link::TransferGuard guard;
            link::LinkCommands commands(c.ui, c.global.startupDirectory, transferComrig(c), guard,
                                        openFailureReporter(c));
            commands.receiveFile();
            return exitStatusOf(commands.lastOutcome());
        }};
}

}  // namespace formwell::cli
