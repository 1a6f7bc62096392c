// Reads and writes that end by their time-outs, the same on every platform: the backends only wait as
// long as they are told.
#include <string>

#include "port_backend.h"

namespace serial::detail {

IoResult readWithin(PortBackend& port, std::uint8_t* buf, std::size_t n, const ReadTimeouts& timeouts) {
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
        const Clock::time_point now = port.now();
        if (some.count > 0) {
            deadline.onBytes(now);
        }
        wait = deadline.remaining(now);
        // A zero total still takes what was waiting: the first call ran with no wait at all. A peer
        // that never pauses cannot hold the read past its total either.
        if (wait.count() == 0) {
            break;
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
