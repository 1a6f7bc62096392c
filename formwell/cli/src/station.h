// The flashing station: one image into the terminals on several ports at once. The loader runs one
// download per process, so each port gets a formwell-cli of its own, started for that one port with a
// progress pipe back to the station. One progress line per port while they run, then a table: port,
// device, result, time. Ctrl-C stops them all, each through its own CancelAll, and the station waits
// for every one of them.
#pragma once

#include <string>
#include <vector>

#include "formwell/link/program_load.h"
#include "subcommand.h"

namespace formwell::cli {

struct StationRequest {
    std::string image;
    std::vector<int> ports;
    link::LoadOverrides overrides;  // baud and wake-up method; the port is each child's own
    bool force = false;
};

// Exit status: 0 every port loaded, 1 any port failed, 3 the image refused, 130 stopped by Ctrl-C.
int runStation(CommandContext& context, const StationRequest& request);

// "1,2,3,4" to the port numbers; an empty result and the reason in `error` for anything else.
std::vector<int> parsePortList(const std::string& text, std::string& error);

}  // namespace formwell::cli
