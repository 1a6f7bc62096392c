// What send-ini and receive share: the comrig they talk through (Ctrl-C and --trace wrapped around
// it) and the exit status of a transfer command.
#pragma once

#include "formwell/link/comrig_table.h"
#include "formwell/link/transfer_commands.h"
#include "subcommand.h"

namespace formwell::cli {

// The context's comrig; with --trace every byte on standard error; Ctrl-C raises error 18 at the
// next call, so the transfer ends through its error path with the port closed.
link::ComrigTable transferComrig(CommandContext& context);

// 0 when the transfer succeeded; 1 when it failed or did not start (no, or no answer, to the question).
int exitStatusOf(link::CommandOutcome outcome);

}  // namespace formwell::cli
