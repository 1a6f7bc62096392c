// What send-ini and receive share: the comrig they talk through (Ctrl-C and --trace wrapped around
// it) and the exit status of a transfer command.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "formwell/link/comrig_table.h"
#include "formwell/link/transfer_commands.h"
#include "subcommand.h"

namespace formwell::cli {

// The context's comrig; with --trace every byte on standard error; Ctrl-C raises error 18 at the
// next call, so the transfer ends through its error path with the port closed.
link::ComrigTable transferComrig(CommandContext& context);

// --port N and --device PATH of a transfer command. `port` becomes N; with --device, the port
// (N, else mbx.dat's, else 1) is made to open PATH for this run, as the variable COM<n> would, so
// the loader library and comrig open it too. kExitSuccess, or the status of the usage error printed.
int choosePort(CommandContext& context, std::string_view command, std::optional<std::int32_t>& port);

// The options that go with choosePort, for a command's option list.
inline constexpr CommandOption kPortOption{"--port", "N", "use port N instead of the one in mbx.dat"};
inline constexpr CommandOption kDeviceOption{
    "--device", "PATH", "open the device PATH for the port (Linux), e.g. /dev/serial/by-id/usb-FTDI_..."};

// 0 when the transfer succeeded; 1 when it failed or did not start (no, or no answer, to the question).
int exitStatusOf(link::CommandOutcome outcome);

}  // namespace formwell::cli
