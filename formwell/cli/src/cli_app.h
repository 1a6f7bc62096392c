// formwell-cli's command line: global options anywhere, one subcommand, its own options after its
// name, and "--" to end the options. Parsing is pure; runCli adds the streams and runs the command.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "subcommand.h"

namespace formwell::cli {

inline constexpr const char* kProgramName = "formwell-cli";

struct ParsedCommandLine {
    GlobalOptions global;
    const Subcommand* command = nullptr;  // null when none was named
    CommandLine line;
    bool help = false;     // --help / -h: the command's help, or the program's without a command
    bool version = false;  // --version
    std::string error;     // what is wrong with the command line; empty when nothing is
};

// Parses `args` (without the program name). The start-up directory defaults to `currentDirectory`.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args, const std::vector<Subcommand>& table,
                                   const std::string& currentDirectory);

std::string programHelp(const std::vector<Subcommand>& table);
std::string commandHelp(const Subcommand& command);

// Where the program meets its process.
struct CliEnvironment {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool errorIsTerminal = false;
    bool inputIsTerminal = false;
    std::string currentDirectory;
    std::function<bool()> interrupted;  // Ctrl-C pressed
    std::function<link::ComrigTable()> comrig = [] { return link::boundComrig(); };
    std::function<link::PushkitTable()> pushkit = [] { return link::bindPushkit(); };
};

// Parses, prints help or a usage error (status 2), or runs the command and returns its status. No
// exception leaves it: an error that escapes a command is printed and gives status 1.
int runCli(const std::vector<std::string>& args, const std::vector<Subcommand>& table, CliEnvironment& env);

}  // namespace formwell::cli
