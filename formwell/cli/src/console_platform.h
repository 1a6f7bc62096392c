// What formwell-cli needs from its console: whether standard error is a terminal, and Ctrl-C.
#pragma once

namespace formwell::cli {

bool standardErrorIsTerminal();
bool standardInputIsTerminal();

// After this, the first Ctrl-C only sets a flag that interruptRequested() reports: the running
// transfer sees it at its next step, closes the port and ends through its failure path. A second
// Ctrl-C ends the program at once, as usual (the system then closes the port).
void installInterruptHandler();
bool interruptRequested();

}  // namespace formwell::cli
