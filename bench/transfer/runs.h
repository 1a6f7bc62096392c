// One transfer of the benchmark against the simulated terminal on a modelled wire: the loads through
// libpushkit.so's Download in this process, the INI send and the data receive as formwell-cli
// processes of their own, each checked for what arrived and measured against its floor.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

#include "wire_floor.h"

namespace bench {

enum class Protocol { Framed, HexBlock, Line, IniSend, DataReceive };

struct Row {
    std::string name;
    Protocol protocol;
    int baud;
    std::size_t dataBytes;  // of the image, or the number of INI lines or data records
};

inline bool isLinkTransfer(Protocol protocol) {
    return protocol == Protocol::IniSend || protocol == Protocol::DataReceive;
}

struct Measured {
    double elapsed = 0;
    double cpu = 0;
    Floor floor;
    std::size_t handOvers = 0;  // the times the wire turned round: the terminal answered, or the host
    std::string failure;
};

// Runs the row once in `dir` (the terminal's logs stay there). A latency timer above zero puts a USB
// adapter's timer on the terminal's bytes to the host (hhtsim --latency-timer).
Measured runTransfer(const Row& row, const std::filesystem::path& dir,
                     std::chrono::milliseconds latencyTimer = std::chrono::milliseconds(0));

}  // namespace bench
