// The terminal's end of the serial line, as the roles see it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace hhtsim {

enum class ReadStatus {
    Byte,
    Timeout,
    Stopped,     // SIGINT/SIGTERM
    HostClosed,  // the host closed the device (reported once, when no byte is waiting)
    HungUp,      // the line is gone (the terminal hung up)
};

struct ReadResult {
    ReadStatus status = ReadStatus::Timeout;
    std::uint8_t byte = 0;
};

class Line {
  public:
    virtual ~Line() = default;
    // The next byte from the host, waiting at most timeout (no limit when empty).
    virtual ReadResult read(std::optional<std::chrono::milliseconds> timeout) = 0;
    // All bytes or false: the line is gone, a stop was requested, or the host stopped reading.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    // False when a stop was requested during the pause.
    virtual bool pause(std::chrono::microseconds duration) = 0;
    virtual void hangUp() = 0;
    // The speed the host configured on its end, when the device reports one.
    virtual std::optional<int> hostBaud() const = 0;
};

}  // namespace hhtsim
