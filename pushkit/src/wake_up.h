// Waking the terminal's loader before a download. The terminal learns the speed to use from the
// number of DTR pulses, or from a code byte sent at 9600 baud.
#pragma once

#include <cstdint>

#include "port.h"

namespace pushkit {

// 1, or -28 when the speed has no pulse count (2400-115200 are known).
int wakeByDtrPulses(Port& port, std::uint32_t speed);
// 1, or -28 when the speed has no code byte (2400-57600 are known). On success the port is left at
// `after` (speed with the caller's data bits, parity, stop bits).
int wakeByCodeByte(Port& port, const LineSettings& after);

}  // namespace pushkit
