// The terminal's end of the serial line, as the roles see it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "hhtsim/wire.h"

namespace hhtsim {

enum class ReadStatus {
    Byte,
    Timeout,
    Stopped,     // SIGINT/SIGTERM
    HostClosed,  // the host closed the device: once, after the bytes it wrote before closing
    HungUp,      // the line is gone (the terminal hung up)
};

struct ReadResult {
    ReadStatus status = ReadStatus::Timeout;
    std::uint8_t byte = 0;
    // When the byte reached our end of the device: the moment the host's write let go of it.
    WireClock::time_point arrivedAt{};
};

class Line {
  public:
    virtual ~Line() = default;
    // The next byte from the host, waiting at most timeout (no limit when empty).
    virtual ReadResult read(std::optional<std::chrono::milliseconds> timeout) = 0;
    // All bytes or false: the line is gone, a stop was requested, or the host stopped reading.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    // False when a stop was requested during the pause.
    virtual bool pause(std::chrono::nanoseconds duration) = 0;
    // Sleeps until `until` while the wire from the host is busy: bytes the host writes meanwhile are
    // not taken in one by one, and count as having come at `until` at the latest, which is all the
    // wire's schedule needs of them. False when a stop was requested.
    virtual bool sleepUntil(WireClock::time_point until) = 0;
    virtual void hangUp() = 0;
    // The speed and character format the host configured on its end, when the device reports them.
    virtual std::optional<CharacterFormat> hostFormat() const = 0;
    // The clock every pause and arrival time is counted on.
    virtual WireClock::time_point now() const = 0;
};

}  // namespace hhtsim
