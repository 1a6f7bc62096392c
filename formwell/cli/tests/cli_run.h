// Runs formwell-cli's real command table in-process, with its streams captured.
#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cli_app.h"
#include "command_table.h"

namespace formwell::cli {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// What a test may put in place of the process's own: standard input, Ctrl-C, the loader.
struct CliWorld {
    std::string input;
    std::function<bool()> interrupted;
    std::function<link::PushkitTable()> pushkit;
};

inline CliRun runFormwellCli(const std::vector<std::string>& args, const std::string& cwd,
                             const CliWorld& world = {}) {
    std::istringstream in(world.input);
    std::ostringstream out, err;
    CliEnvironment env{
        .in = in, .out = out, .err = err, .currentDirectory = cwd, .interrupted = world.interrupted};
    if (world.pushkit) {
        env.pushkit = world.pushkit;
    }
    CliRun r;
    r.status = runCli(args, commandTable(), env);
    r.out = out.str();
    r.err = err.str();
    return r;
}

}  // namespace formwell::cli
