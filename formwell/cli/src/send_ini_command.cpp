// formwell-cli send-ini FILE: "Transmit ini File" without the window.
#include <cstdint>
#include <filesystem>
#include <optional>

#include "formwell/link/transfer_commands.h"
#include "transfer_support.h"

namespace formwell::cli {

Subcommand sendIniCommand() {
    return Subcommand{
        "send-ini",
        "send-ini FILE",
        "Send an INI file to the terminal (Transmit ini File).",
        "Put the terminal in the cradle and choose 2 in its DATA TRANSFER menu first. The port\n"
        "settings come from mbx.dat in the start-up directory; --port N takes port N instead, and\n"
        "--device PATH makes the port open PATH (no COM<n> variable needed). After the confirmation\n"
        "(--yes, or y on standard input) FILE goes to the terminal line by line, each line one frame\n"
        "the terminal acknowledges, exactly as stored: lines end at CR LF, CR or LF.\n",
        {kPortOption, kDeviceOption},
        1,
        1,
        [](CommandContext& c) {
            std::optional<std::int32_t> port;
            if (const int status = choosePort(c, "send-ini", port); status != kExitSuccess) {
                return status;
            }
            link::TransferGuard guard;
            link::LinkCommands commands(c.ui, c.global.startupDirectory, transferComrig(c), guard, c.history);
            commands.overridePort(port);
            commands.transmitIniFile(
                std::filesystem::absolute(std::filesystem::path(c.line.arguments.front())).string());
            return exitStatusOf(commands.lastOutcome());
        }};
}

}  // namespace formwell::cli
