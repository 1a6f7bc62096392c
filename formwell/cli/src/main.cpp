// formwell-cli: Formwell's transfers without a window.
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "cli_app.h"
#include "command_table.h"
#include "console_platform.h"

int main(int argc, char** argv) {
    using namespace formwell::cli;
    installInterruptHandler();
    std::error_code ec;
    const std::filesystem::path current = std::filesystem::current_path(ec);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    CliEnvironment env{std::cin,
                       std::cout,
                       std::cerr,
                       standardErrorIsTerminal(),
                       standardInputIsTerminal(),
                       ec ? std::string(".") : current.string(),
                       interruptRequested};
    return runCli(args, commandTable(), env);
}
