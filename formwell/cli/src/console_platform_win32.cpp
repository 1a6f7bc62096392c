#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <atomic>

#include "console_platform.h"

namespace formwell::cli {

namespace {
std::atomic<bool> interrupted{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    // The second Ctrl-C goes to the system's handler, which ends the program.
    return interrupted.exchange(true) ? FALSE : TRUE;
}
}  // namespace

bool standardErrorIsTerminal() {
    return ::_isatty(::_fileno(stderr)) != 0;
}

bool standardInputIsTerminal() {
    return ::_isatty(::_fileno(stdin)) != 0;
}

void installInterruptHandler() {
    (void)::SetConsoleCtrlHandler(onConsoleEvent, TRUE);  // without a console there is no Ctrl-C
}

bool interruptRequested() {
    return interrupted.load();
}

}  // namespace formwell::cli
