// When a read with interval and total time-outs must end, kept apart from the I/O so the arithmetic
// can be checked on a virtual clock.
#pragma once

#include <chrono>
#include <cstddef>

#include "serial/serial_device.h"

namespace serial::detail {

using Clock = std::chrono::steady_clock;

class ReadDeadline {
  public:
    ReadDeadline(const ReadTimeouts& timeouts, std::size_t wanted, Clock::time_point start);

    // Call whenever bytes arrived: the interval time-out counts from the newest byte.
    void onBytes(Clock::time_point now);

    // How much longer the read may wait for more bytes, rounded up to whole milliseconds so that a
    // poll never wakes before the deadline and spins. Zero: the read is over.
    std::chrono::milliseconds remaining(Clock::time_point now) const;

  private:
    Clock::time_point totalDeadline_;
    Clock::duration interval_;
    bool endOnArrival_ = false;
    bool haveByte_ = false;
    Clock::time_point lastByte_{};
};

}  // namespace serial::detail
