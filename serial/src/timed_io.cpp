// Reads and writes that end by their time-outs, the same on every platform: the backends only wait as
// long as they are told.
#include <string>

#include "port_backend.h"

namespace serial::detail {

namespace {

// A sleep ends late by the timer's slack (50 us on Linux) and the wake-up's own latency; it aims
// this much early, so that it does not end after the byte it was meant to end before.
constexpr std::chrono::microseconds kWakeUpLateness{100};

// How long the bytes still wanted keep the wire busy, less half a character and the wake-up's
// lateness: the sleep is meant to end between the last two, so only the last one needs a wake-up.
Clock::duration restOnTheWire(std::size_t wanted, std::chrono::nanoseconds characterTime) {
    const auto rest = characterTime * static_cast<std::int64_t>(wanted) - characterTime / 2 - kWakeUpLateness;
    return std::chrono::duration_cast<Clock::duration>(rest);
}

}  // namespace

IoResult readWithin(PortBackend& port, std::uint8_t* buf, std::size_t n, const ReadTimeouts& timeouts,
                    std::chrono::nanoseconds characterTime) {
    IoResult result;
    ReadDeadline deadline(timeouts, n, port.now());
    std::chrono::milliseconds wait = deadline.remaining(port.now());
    while (result.count < n) {
        const IoResult some = port.readSome(buf + result.count, n - result.count, wait);
        result.count += some.count;
        if (!some.ok()) {
            result.error = some.error;  // the bytes that came before it stay counted
            return result;
        }
        Clock::time_point now = port.now();
        if (some.count > 0) {
            deadline.onBytes(now);
        }
        wait = deadline.remaining(now);
        // A zero total still takes what was waiting: the first call ran with no wait at all. A peer
        // that never pauses cannot hold the read past its total either.
        if (wait.count() == 0) {
            break;
        }
        const std::size_t wanted = n - result.count;
        if (some.count > 0 && wanted > 1 && characterTime.count() > 0) {
            const Clock::duration rest = restOnTheWire(wanted, characterTime);
            // wait is rounded up to whole milliseconds: a millisecond less is surely within it.
            if (rest.count() > 0 && rest + std::chrono::milliseconds(1) <= wait) {
                port.sleepFor(rest);
                now = port.now();
                wait = deadline.remaining(now);
            }
        }
    }
    return result;
}

IoResult writeWithin(PortBackend& port, const std::uint8_t* buf, std::size_t n,
                     std::chrono::milliseconds bound) {
    IoResult result;
    const Clock::time_point deadline = port.now() + bound;
    while (result.count < n) {
        const Clock::time_point now = port.now();
        const auto wait = now < deadline ? std::chrono::ceil<std::chrono::milliseconds>(deadline - now)
                                         : std::chrono::milliseconds::zero();
        const IoResult some = port.writeSome(buf + result.count, n - result.count, wait);
        result.count += some.count;
        if (!some.ok()) {
            result.error = some.error;
            return result;
        }
        if (result.count < n && port.now() >= deadline) {
            result.error =
                Error{ErrorKind::TimedOut, 0,
                      "the port took " + std::to_string(result.count) + " of " + std::to_string(n) +
                          " bytes within " + std::to_string(bound.count()) + " ms"};
            return result;
        }
    }
    return result;
}

}  // namespace serial::detail
