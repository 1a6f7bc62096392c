// load IMAGE: Load Program In HHT from the console, for one port or, with --ports, several at once.
#include "child_process.h"
#include "command_support.h"
#include "single_load.h"
#include "station.h"
#include "transfer_support.h"

namespace formwell::cli {

namespace {

constexpr std::string_view kName = "load";

int runLoad(CommandContext& c) {
    LoadRequest request;
    request.image = c.line.arguments[0];
    request.force = c.line.has("--force");
    if (const int status = choosePort(c, kName, request.overrides.port); status != kExitSuccess) {
        return status;
    }
    if (const std::optional<std::string> baud = c.line.value("--baud")) {
        request.overrides.baud = wholeNumber(*baud, 1, 4000000);
        if (!request.overrides.baud) {
            return usageError(c, kName, "--baud takes a speed in bits per second, e.g. 19200");
        }
    }
    if (const std::optional<std::string> wake = c.line.value("--wake")) {
        const std::optional<int> method = wholeNumber(*wake, 0, 2);
        if (!method) {
            return usageError(c, kName, "--wake takes 0 (none), 1 (DTR pulses) or 2 (code byte)");
        }
        request.overrides.wakeMethod = *method;
    }
    if (const std::optional<std::string> fd = c.line.value("--progress-fd")) {
        request.reportFd = wholeNumber(*fd, 3, 1 << 20);
        if (!request.reportFd) {
            return usageError(c, kName, "--progress-fd takes a file descriptor number from 3");
        }
    }
    if (const std::optional<std::string> list = c.line.value("--ports")) {
        if (request.overrides.port || request.reportFd || c.line.has("--device")) {
            return usageError(c, kName, "--ports goes without --port, --device and --progress-fd");
        }
        std::string error;
        StationRequest station{request.image, parsePortList(*list, error), request.overrides, request.force};
        if (station.ports.empty()) {
            return usageError(c, kName, error);
        }
        return runStation(c, station);
    }
    return runSingleLoad(c, request);
}

}  // namespace

Subcommand loadCommand() {
    return Subcommand{
        kName,
        "load IMAGE",
        "Load a program image into the terminal (Load Program In HHT).",
        "Loads IMAGE into the terminal in the cradle, as the window's Load Program In HHT does: the\n"
        "port settings from mbx.dat in the start-up directory (--port and --baud override them), the\n"
        "\"Download ?\" question (answered by --yes, or y/n on standard input), then the load.\n"
        "\n"
        "Before the port is opened the image is checked as 'formwell-cli check' does; an image with a\n"
        "problem that would put wrong bytes into a terminal is not loaded unless --force is given.\n"
        "\n"
        "While it loads, standard error shows the share loaded, the time and the rate (one updating\n"
        "line on a terminal, a line per quarter otherwise). Ctrl-C cancels the load: the loader stops\n"
        "at its next step and closes the port (a second Ctrl-C ends the program at once). The result is\n"
        "printed on standard output as its code and meaning, e.g. 'result: 14 (S-record image loaded)'.\n"
        "--trace shows nothing here: the loader library talks to the port itself.\n"
        "\n"
        "With --ports 1,2,3,4 the image goes into the terminals on all those ports at once, each load in\n"
        "a formwell-cli process of its own: one progress line per port, then a table of port, device,\n"
        "result and time. The image is checked and the question asked once for all of them; Ctrl-C\n"
        "stops every load, and the station waits until each port is closed.\n"
        "\n"
        "Examples:\n"
        "  formwell-cli load app.s2 --yes\n"
        "  COM2=/dev/ttyUSB0 formwell-cli load VKSAPP.HEX --port 2 --yes\n"
        "  formwell-cli --dir /srv/bench load app.s2 --ports 1,2,3,4 --yes\n",
        {{"--port", "N", "load through port N instead of the one in mbx.dat"},
         kDeviceOption,
         {"--baud", "B", "the speed for terminals answering RMT (instead of mbx.dat's)"},
         {"--wake", "0|1|2", "wake the terminal: 0 not (default), 1 DTR pulses, 2 a code byte"},
         {"--force", "", "load an image the check finds problems in"},
         {"--ports", "LIST", "load several cradles at once, e.g. 1,2,3,4"},
         {"--progress-fd", "FD", "report progress as lines on descriptor FD (what --ports uses)"}},
        1,
        1,
        runLoad};
}

}  // namespace formwell::cli
