// The one thing the receive side needs from a port: bytes that have arrived, with a bounded wait.
// The port's own line and the tests' scripted terminal on a virtual clock both provide it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace comrig {

struct LineRead {
    std::size_t count = 0;  // bytes placed in the buffer
    bool failed = false;    // the line failed (hang-up included); the bytes counted still arrived
};

class ReceiveLine {
  public:
    virtual ~ReceiveLine() = default;
    // Reads what has arrived, at most `capacity` bytes, waiting at most `wait` for the first one; returns
    // soon after the bytes stop coming. A count of 0 without failure: nothing arrived in `wait`.
    virtual LineRead readSome(std::uint8_t* buf, std::size_t capacity, std::chrono::milliseconds wait) = 0;
    // The line's clock: monotonic, or virtual for a scripted terminal.
    virtual std::chrono::steady_clock::time_point now() const = 0;
};

}  // namespace comrig
