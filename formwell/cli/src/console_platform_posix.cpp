#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "console_platform.h"

namespace formwell::cli {

namespace {
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onInterrupt(int) {
    interrupted.store(true);
}
}  // namespace

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

bool standardInputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a question waiting on standard input returns, and is answered No. SA_RESETHAND:
    // the second Ctrl-C is the system's own.
    action.sa_flags = SA_RESETHAND;
    (void)::sigaction(SIGINT, &action, nullptr);  // cannot fail for SIGINT with a valid handler
    (void)::sigaction(SIGTERM, &action, nullptr);
    // A file-size limit must end a write with an error the transfer reports (import.txt then ends at
    // its last whole record), not end the program in the middle of a record.
    (void)::signal(SIGXFSZ, SIG_IGN);
}

bool interruptRequested() {
    return interrupted.load();
}

}  // namespace formwell::cli
