// formwell-cli receive: "Receive File From HHT" without the window.
#include <cstdint>
#include <optional>

#include "formwell/link/transfer_commands.h"
#include "transfer_support.h"

namespace formwell::cli {

Subcommand receiveCommand() {
    return Subcommand{
        "receive",
        "receive",
        "Receive the terminal's records into import.txt (Receive File From HHT).",
        "Put the terminal in the cradle and choose 1 in its DATA TRANSFER menu first. The port\n"
        "settings come from mbx.dat in the start-up directory, where import.txt is written (--port N\n"
        "takes port N instead, --device PATH makes the port open PATH). Once the port is open\n"
        "import.txt is emptied (a non-empty one is kept first as import.txt.bak and as a dated\n"
        "import.txt.YYYYMMDD-HHMMSS.bak that is never overwritten), then gets one line per record\n"
        "the terminal sends, each on the disk before the terminal is told, until the terminal ends\n"
        "the transfer. One receive at a time per start-up directory.\n",
        {kPortOption, kDeviceOption},
        0,
        0,
        [](CommandContext& c) {
            std::optional<std::int32_t> port;
            if (const int status = choosePort(c, "receive", port); status != kExitSuccess) {
                return status;
            }
            link::TransferGuard guard;
            link::LinkCommands commands(c.ui, c.global.startupDirectory, transferComrig(c), guard, c.history);
            commands.overridePort(port);
            commands.receiveFile();
            return exitStatusOf(commands.lastOutcome());
        }};
}

}  // namespace formwell::cli
