// What one formwell-cli subcommand is: its name, help, the options and arguments it takes, and the
// function that runs it. Each subcommand lives in its own file and defines one Subcommand; the table
// in command_table.cpp lists them in the order the program's help shows them.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console_interaction.h"
#include "formwell/link/comrig_table.h"
#include "formwell/link/pushkit_table.h"
#include "formwell/link/transfer_history.h"

namespace formwell::cli {

// The program's exit statuses (listed in --help).
enum ExitStatus : int {
    kExitSuccess = 0,
    kExitFailed = 1,       // the transfer (or the check, the load ...) failed: its messages say why
    kExitUsage = 2,        // the command line was wrong: nothing was done
    kExitRefused = 3,      // the input was refused before anything was sent or written (an unsound image)
    kExitCancelled = 130,  // stopped by Ctrl-C (the shells' number for an interrupted program)
};

// Options every command takes, wherever they stand on the command line.
struct GlobalOptions {
    std::string startupDirectory;  // --dir DIR: where mbx.dat is read and import.txt written
    bool assumeYes = false;        // --yes: every confirmation answered Yes
    bool trace = false;            // --trace: every byte sent and received, time-stamped, on stderr
};

// One option of a subcommand: "--port N" (takes a value) or "--quiet" (a switch).
struct CommandOption {
    std::string_view name;       // with its dashes: "--port"
    std::string_view valueName;  // "N"; empty for a switch
    std::string_view help;       // one line for the command's --help
};

// The command line after the global options were taken out.
struct CommandLine {
    std::vector<std::string> arguments;                        // positional, in order
    std::vector<std::pair<std::string, std::string>> options;  // the command's own, in order

    bool has(std::string_view name) const;
    // The last value given for `name`, or nullopt.
    std::optional<std::string> value(std::string_view name) const;
    // Every value given for a repeatable option, in order.
    std::vector<std::string> values(std::string_view name) const;
};

// What a running subcommand may use. The person is reached only through `ui` (messages, questions,
// beeps, progress), which prints to standard error; `out` is for a command's own results (a port
// list, a check report) and stays clean for scripts.
struct CommandContext {
    const GlobalOptions& global;
    const CommandLine& line;
    ConsoleInteraction& ui;
    std::ostream& out;
    std::ostream& err;
    // True once Ctrl-C was pressed (see ConsoleInteraction::processEvents).
    std::function<bool()> interrupted;
    // The comrig the transfers use: the library bound by name (tests: a fake terminal).
    std::function<link::ComrigTable()> comrig;
    // The loader: pushkit bound by name (tests: a fake loader). Throws AppError 48 or 453.
    std::function<link::PushkitTable()> pushkit;
    // Standard error is a terminal: progress as lines updated in place.
    bool errorIsTerminal = false;
    // Where each transfer leaves its line and its byte trace; null: nowhere.
    link::TransferHistory* history = nullptr;
};

struct Subcommand {
    std::string_view name;      // "send-ini"
    std::string_view synopsis;  // "send-ini FILE": the usage line after "formwell-cli"
    std::string_view summary;   // one line for the program's --help
    std::string_view help;      // the rest of the command's --help: what it does, what it prints
    std::vector<CommandOption> options;
    std::size_t minArguments = 0;
    std::size_t maxArguments = 0;  // kAnyNumber for a list
    std::function<int(CommandContext&)> run;
};

inline constexpr std::size_t kAnyNumber = std::numeric_limits<std::size_t>::max();

}  // namespace formwell::cli
