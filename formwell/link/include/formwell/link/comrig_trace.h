// A trace of what crosses the port: every byte sent and received, each call on one line with the
// milliseconds since the trace began. formwell-cli --trace wraps the binding with it.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>

#include "formwell/link/comrig_table.h"

namespace formwell::link {

// The calls go on to `inner` unchanged. Lines look like
//   "   1203 ms  tx 01 (SOH)", "   1304 ms  rx 06 (ACK)", "   1304 ms  rx none",
//   "   1405 ms  tx 8 bytes: 02 61 62 63 0D 0A 03 66 |.abc...f| = 8",
//   "   1600 ms  read = 2: 7 bytes: 02 61 62 63 0D 0A 03 |.abc...|"
// plus one line each for open, flow, flush and close with their results. Pauses are not printed:
// the time stamps show them. `nowMs` is a monotonic clock in milliseconds (the default: the steady
// clock); the first call's time is 0.
ComrigTable tracedComrig(ComrigTable inner, std::ostream& out, std::function<std::int64_t()> nowMs = {});

}  // namespace formwell::link
