// The timing of a serial wire, for --baud-throttle. A character occupies the line for its start bit,
// data bits, parity bit and stop bits at the line's speed, and the next one cannot start before it
// has ended; each direction is a wire of its own. Pure arithmetic on time points, so the pacing can be
// checked on a virtual clock.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>

namespace hhtsim {

using WireClock = std::chrono::steady_clock;

enum class WireParity { None, Odd, Even, Mark, Space };

struct CharacterFormat {
    int baud = 19200;
    int dataBits = 8;
    WireParity parity = WireParity::None;
    int stopBits = 1;

    int bitsPerCharacter() const { return 1 + dataBits + (parity == WireParity::None ? 0 : 1) + stopBits; }
    // One character's time on the wire, to the nanosecond: 10 bits at 115200 baud are 86806 ns.
    std::chrono::nanoseconds characterTime() const;
};

// "8N1", "7E2": data bits 5-8, parity N, O, E, M or S, stop bits 1 or 2.
std::optional<CharacterFormat> parseCharacterFormat(std::string_view text, int baud);

// One direction of the wire. A character handed to it at `ready` starts when the line is free (at
// `ready`, or when the character before it ends) and is whole at the far end one character time
// later. Every start is counted from the running end of the line, never from when the caller got
// round to the next character, so sleeping late on one character does not delay the ones after it.
class WireDirection {
  public:
    WireClock::time_point carry(WireClock::time_point ready, std::chrono::nanoseconds characterTime) {
        end_ = std::max(end_, ready) + characterTime;
        return end_;
    }
    // When the last character handed over is whole at the far end.
    WireClock::time_point end() const { return end_; }

  private:
    WireClock::time_point end_{};
};

}  // namespace hhtsim
