// How ComReadBuf collects one frame from the terminal: the byte rules only, over the receive queue, so
// slow, dripping and silent terminals are checked on a virtual clock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "receive_queue.h"

namespace comrig {

struct FrameRequest {
    std::uint8_t terminator = 0x03;
    std::size_t max = 200;  // the buffer holds max + 1 bytes
    // How long the line may stay silent before the read gives up; each byte starts it again.
    std::chrono::milliseconds silence{5000};
    // How long the byte after the terminator may take to arrive before the read returns without it,
    // for a terminal that sends without pauses. Twice the longest pause between the frame's bytes is
    // added (at most `silence`): a slow terminal is as slow with its check byte.
    std::chrono::milliseconds checkByteGrace{0};
};

enum class FrameOutcome : std::uint8_t {
    Frame,      // through the terminator, then a NUL
    WaitEnded,  // silence for the whole wait, or an EOT on its own
    Full,       // max bytes without the terminator
    Failed,     // the line failed
};

struct FrameRead {
    FrameOutcome outcome = FrameOutcome::WaitEnded;
    std::size_t count = 0;  // bytes written to the buffer, the NUL not counted
};

// Writes at most request.max bytes to buf, and for a frame the NUL after them.
FrameRead readFrame(ReceiveQueue& queue, std::uint8_t* buf, const FrameRequest& request);

}  // namespace comrig
