// Bytes taken from the line and not yet handed to the caller. The line is read in chunks, so a read
// may bring more than the caller asked for (a frame's check byte behind its ETX, the next frame);
// those bytes wait here for the next ComGetc or ComReadBuf.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "receive_line.h"

namespace comrig {

enum class Arrival : std::uint8_t { Byte, Silence, Failed };

struct TakenByte {
    Arrival arrival = Arrival::Silence;
    std::uint8_t value = 0;
};

class ReceiveQueue {
  public:
    explicit ReceiveQueue(ReceiveLine& line) : line_(line) {}

    // The next received byte, waiting at most `wait` for one when none is queued.
    TakenByte take(std::chrono::milliseconds wait);
    // Whether a byte is queued or arrives within `wait`; it stays queued.
    Arrival peek(std::chrono::milliseconds wait);
    // Moves what is already waiting on the line into the queue, up to `limit` bytes in all, without
    // waiting. False when the line failed.
    bool pullWaiting(std::size_t limit);
    // Drops every queued byte.
    void clear();
    std::size_t size() const { return bytes_.size() - head_; }
    std::chrono::steady_clock::time_point now() const { return line_.now(); }

  private:
    Arrival refill(std::chrono::milliseconds wait, std::size_t capacity);

    ReceiveLine& line_;
    std::vector<std::uint8_t> bytes_;
    std::size_t head_ = 0;
};

}  // namespace comrig
