// The floor of a transfer: the least time it can take over its wire against a terminal that answers
// at once. Worked out from what hhtsim's wire log says went over the wire (every message, with its
// bytes, in both directions) and the fixed waits each protocol mandates, step by step as the host
// takes them: a pause after a write runs while the bytes are on the wire, a read ends when its last
// byte has crossed it, and a read that ends on silence takes its whole time-out.
//
// The host's drain returns at once on a pseudo-terminal, so a wait that follows a drain overlaps the
// bytes' wire time here where on a real port it would follow it; the floors below are those of the
// pty, the only wire the benchmark can time.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct WireMessage {
    bool fromHost = false;  // rx in the log: the host's bytes, as the terminal took them
    std::size_t bytes = 0;
    std::string event;
};

// The messages of a wire log; false (with the line) when a line cannot be read.
bool readWireLog(const std::filesystem::path& path, std::vector<WireMessage>& messages, std::string& problem);

struct Floor {
    double seconds = 0;
    double waitSeconds = 0;  // the fixed waits within it
    std::size_t hostBytes = 0;
    std::size_t terminalBytes = 0;
    std::string problem;  // set when the log is not the exchange the model expects
};

// characterSeconds: one character's time on the wire (10 bits for 8N1).
Floor framedFloor(const std::vector<WireMessage>& messages, double characterSeconds);
Floor hexBlockFloor(const std::vector<WireMessage>& messages, double characterSeconds);
Floor lineProtocolFloor(const std::vector<WireMessage>& messages, double characterSeconds);
Floor iniSendFloor(const std::vector<WireMessage>& messages, double characterSeconds);
Floor dataReceiveFloor(const std::vector<WireMessage>& messages, double characterSeconds);

}  // namespace bench
