#include "cli_app.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "formwell/common/app_error.h"
#include "serial/port_map.h"

namespace formwell::cli {

namespace {

struct GlobalOptionHelp {
    const char* usage;
    const char* help;
};
constexpr GlobalOptionHelp kGlobalOptions[] = {
    {"--dir DIR", "start-up directory, where mbx.dat and import.txt are (default: the current one)"},
    {"--yes, -y", "answer Yes to every confirmation (otherwise y or n is read from stdin)"},
    {"--trace", "print every byte sent and received, time-stamped in milliseconds"},
    {"--help, -h", "this help; 'formwell-cli COMMAND --help' for a command's"},
    {"--version", "the program's version"},
};

constexpr const char* kExitStatusHelp =
    "Exit status:\n"
    "    0  success\n"
    "    1  failed: the transfer or load did not complete, or a file could not be read or written\n"
    "       (the messages on standard error say why); with several ports, any port that failed\n"
    "    2  usage error: the command line was wrong and nothing was done\n"
    "    3  refused: the input is not sound (an image the loader would get wrong, rows the\n"
    "       window's Save refuses); nothing was sent or written\n"
    "  130  load and station: cancelled by Ctrl-C (send-ini and receive stopped by Ctrl-C end\n"
    "       as failed, 1, as the window's transfers do)\n";

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::string_view(text).substr(0, prefix.size()) == prefix;
}

const Subcommand* findCommand(const std::vector<Subcommand>& table, const std::string& name) {
    const auto it =
        std::find_if(table.begin(), table.end(), [&](const Subcommand& c) { return c.name == name; });
    return it == table.end() ? nullptr : &*it;
}

const CommandOption* findOption(const Subcommand& command, std::string_view name) {
    const auto it = std::find_if(command.options.begin(), command.options.end(),
                                 [&](const CommandOption& o) { return o.name == name; });
    return it == command.options.end() ? nullptr : &*it;
}

std::string describeArity(const Subcommand& command) {
    if (command.minArguments == command.maxArguments) {
        return command.minArguments == 0 ? std::string("no arguments")
                                         : std::to_string(command.minArguments) + " argument" +
                                               (command.minArguments == 1 ? "" : "s");
    }
    if (command.maxArguments == kAnyNumber) {
        return "at least " + std::to_string(command.minArguments) + " argument" +
               (command.minArguments == 1 ? "" : "s");
    }
    return std::to_string(command.minArguments) + " to " + std::to_string(command.maxArguments) +
           " arguments";
}

void appendOptionLine(std::ostringstream& text, const std::string& usage, std::string_view help) {
    text << "  " << usage;
    if (usage.size() < 22) {
        text << std::string(22 - usage.size(), ' ');
    } else {
        text << "\n" << std::string(24, ' ');
    }
    text << help << '\n';
}

}  // namespace

bool CommandLine::has(std::string_view name) const {
    return std::any_of(options.begin(), options.end(), [&](const auto& o) { return o.first == name; });
}

std::optional<std::string> CommandLine::value(std::string_view name) const {
    std::optional<std::string> found;
    for (const auto& [key, val] : options) {
        if (key == name) {
            found = val;
        }
    }
    return found;
}

std::vector<std::string> CommandLine::values(std::string_view name) const {
    std::vector<std::string> found;
    for (const auto& [key, val] : options) {
        if (key == name) {
            found.push_back(val);
        }
    }
    return found;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args, const std::vector<Subcommand>& table,
                                   const std::string& currentDirectory) {
    ParsedCommandLine parsed;
    parsed.global.startupDirectory = currentDirectory;
    bool optionsEnded = false;
    auto fail = [&](std::string error) {
        if (parsed.error.empty()) {
            parsed.error = std::move(error);
        }
    };
    auto positional = [&](const std::string& token) {
        if (parsed.command == nullptr) {
            parsed.command = findCommand(table, token);
            if (parsed.command == nullptr) {
                fail("unknown command '" + token + "'");
            }
        } else {
            parsed.line.arguments.push_back(token);
        }
    };

    for (std::size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
        const std::string& token = args[i];
        if (optionsEnded || token == "-" || !startsWith(token, "-")) {
            positional(token);
            continue;
        }
        if (token == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value" or "--name value".
        const std::size_t equals = token.find('=');
        const std::string name = token.substr(0, equals);
        std::optional<std::string> inlineValue;
        if (equals != std::string::npos) {
            inlineValue = token.substr(equals + 1);
        }
        auto takeValue = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            fail(name + " needs a value");
            return std::nullopt;
        };
        auto noValue = [&]() {
            if (inlineValue) {
                fail(name + " takes no value");
            }
        };

        if (name == "--dir") {
            if (std::optional<std::string> dir = takeValue()) {
                if (dir->empty()) {
                    fail("--dir needs a directory");
                }
                parsed.global.startupDirectory = *dir;
            }
        } else if (name == "--yes" || name == "-y") {
            noValue();
            parsed.global.assumeYes = true;
        } else if (name == "--trace") {
            noValue();
            parsed.global.trace = true;
        } else if (name == "--help" || name == "-h") {
            noValue();
            parsed.help = true;
        } else if (name == "--version") {
            noValue();
            parsed.version = true;
        } else if (const CommandOption* option =
                       parsed.command ? findOption(*parsed.command, name) : nullptr) {
            if (option->valueName.empty()) {
                noValue();
                parsed.line.options.emplace_back(name, std::string());
            } else if (std::optional<std::string> v = takeValue()) {
                parsed.line.options.emplace_back(name, *v);
            }
        } else {
            fail("unknown option '" + name + "'" +
                 (parsed.command ? std::string(" for ") + std::string(parsed.command->name) : std::string()));
        }
    }

    if (!parsed.error.empty() || parsed.help || parsed.version) {
        return parsed;
    }
    if (parsed.command == nullptr) {
        fail("no command given");
        return parsed;
    }
    const std::size_t count = parsed.line.arguments.size();
    if (count < parsed.command->minArguments || count > parsed.command->maxArguments) {
        fail(std::string(parsed.command->name) + " takes " + describeArity(*parsed.command) + ": " +
             std::string(parsed.command->synopsis));
    }
    return parsed;
}

std::string programHelp(const std::vector<Subcommand>& table) {
    std::ostringstream text;
    text << "Usage: " << kProgramName << " [OPTIONS] COMMAND [ARGS]\n\n"
         << "Formwell's transfers without a window, for scripts, service benches and terminals.\n"
         << "Messages and questions go to standard error as 'Title: text'.\n\nCommands:\n";
    for (const Subcommand& command : table) {
        appendOptionLine(text, std::string(command.synopsis), command.summary);
    }
    text << "\nOptions (accepted anywhere before '--'):\n";
    for (const GlobalOptionHelp& option : kGlobalOptions) {
        appendOptionLine(text, option.usage, option.help);
    }
    text << "\nSerial " << serial::portRuleText() << ";\n'" << kProgramName << " ports' lists them.\n\n"
         << kExitStatusHelp;
    return text.str();
}

std::string commandHelp(const Subcommand& command) {
    std::ostringstream text;
    text << "Usage: " << kProgramName << " [OPTIONS] " << command.synopsis << "\n\n"
         << command.summary << "\n";
    if (!command.help.empty()) {
        text << "\n" << command.help;
        if (command.help.back() != '\n') {
            text << '\n';
        }
    }
    text << "\nOptions:\n";
    for (const CommandOption& option : command.options) {
        std::string usage(option.name);
        if (!option.valueName.empty()) {
            usage += " " + std::string(option.valueName);
        }
        appendOptionLine(text, usage, option.help);
    }
    for (const GlobalOptionHelp& option : kGlobalOptions) {
        appendOptionLine(text, option.usage, option.help);
    }
    text << "\n" << kExitStatusHelp;
    return text.str();
}

int runCli(const std::vector<std::string>& args, const std::vector<Subcommand>& table, CliEnvironment& env) {
    const ParsedCommandLine parsed = parseCommandLine(args, table, env.currentDirectory);
    if (!parsed.error.empty()) {
        env.err << kProgramName << ": " << parsed.error << "\nTry '" << kProgramName << " "
                << (parsed.command ? std::string(parsed.command->name) + " " : std::string()) << "--help'.\n";
        return kExitUsage;
    }
    if (parsed.help) {
        env.out << (parsed.command ? commandHelp(*parsed.command) : programHelp(table));
        return kExitSuccess;
    }
    if (parsed.version) {
        env.out << kProgramName << " " << FORMWELL_VERSION << '\n';
        return kExitSuccess;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::path(parsed.global.startupDirectory), ec)) {
        env.err << kProgramName << ": --dir: not a directory: " << parsed.global.startupDirectory << '\n';
        return kExitUsage;
    }

    ConsoleInteraction ui(
        env.in, env.err,
        ConsoleSettings{parsed.global.assumeYes, env.errorIsTerminal, env.inputIsTerminal, env.interrupted});
    link::TransferHistory history(link::historyFolder());
    CommandContext context{
        parsed.global, parsed.line,         ui,      env.out, env.err, env.interrupted, env.comrig,
        env.pushkit,   env.errorIsTerminal, &history};
    try {
        return parsed.command->run(context);
    } catch (const AppError& e) {
        ui.show(plainNotice(e.text()));
    } catch (const std::exception& e) {
        ui.show(plainNotice(e.what()));
    }
    return kExitFailed;
}

}  // namespace formwell::cli
