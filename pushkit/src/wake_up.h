// Waking the terminal's loader before a download. The terminal learns the speed to use from the
// number of DTR pulses, or from a code byte sent at 9600 baud.
#pragma once

#include <cstdint>

#include "port.h"

namespace pushkit {

// The wake-up methods as Download's callers name them; any other value wakes nothing.
inline constexpr int kWakeByDtrPulses = 1;
inline constexpr int kWakeByCodeByte = 2;

enum class WakeResult { Woken, NoCodeForSpeed };

// NoCodeForSpeed when the speed has no pulse count (2400-115200 are known).
WakeResult wakeByDtrPulses(Port& port, std::uint32_t speed);
// NoCodeForSpeed when the speed has no code byte (2400-57600 are known). When woken, the port is
// left at `after` (speed with the caller's data bits, parity, stop bits).
WakeResult wakeByCodeByte(Port& port, const LineSettings& after);

}  // namespace pushkit
