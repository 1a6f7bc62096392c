// What SerialDevice needs from the operating system, one implementation per platform (the build picks
// the file). SerialDevice checks arguments, keeps the settings and does all the time-out arithmetic;
// a backend only talks to its OS. It is never called closed and never handed an invalid setting.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "read_deadline.h"
#include "serial/serial_device.h"

namespace serial::detail {

enum class ModemLine : std::uint8_t { Dtr, Rts };

class PortBackend {
  public:
    virtual ~PortBackend() = default;  // releases the port

    // Writes the line settings (within the ranges SerialDevice checks) together with everything else
    // a raw line needs: binary bytes, no flow control of any kind, modem-status lines ignored. A
    // setting the port cannot take is InvalidSetting and leaves the previous ones in force.
    virtual Error configure(const LineConfig& config) = 0;

    // Takes up to n bytes that are waiting. When none are, waits up to `wait` for some and takes
    // those. 0 bytes without an error: nothing came in time (or the wait was cut short); the caller
    // asks again while its own deadline allows. Errors: HungUp, Other.
    virtual IoResult readSome(std::uint8_t* buf, std::size_t n, std::chrono::milliseconds wait) = 0;

    // Hands up to n bytes to the port: what it takes at once, or after waiting up to `wait` for room.
    // 0 without an error: no room came in time. Errors: HungUp, Other.
    virtual IoResult writeSome(const std::uint8_t* buf, std::size_t n, std::chrono::milliseconds wait) = 0;

    virtual Error drain() = 0;
    virtual Error purge() = 0;
    // A device without modem lines answers Unsupported.
    virtual Error setModemLine(ModemLine line, bool on) = 0;
    virtual Error readCts(bool& on) = 0;

    // The monotonic clock the time-outs are counted on; tests put a virtual one in its place.
    virtual Clock::time_point now() const { return Clock::now(); }
    // Sleeps without looking at the port, on the same clock.
    virtual void sleepFor(Clock::duration duration) { std::this_thread::sleep_for(duration); }
};

// Opens the device exclusively for raw reading and writing and makes sure it is a serial line; it is
// not configured yet. On failure the Error says why (NoSuchDevice, PermissionDenied, InUse naming the
// holder where the system can tell, NotSerialDevice, Other) and nothing stays open.
std::unique_ptr<PortBackend> openBackend(const std::string& path, Error& error);

// The read and write contracts of SerialDevice over a backend: as many readSome/writeSome calls as
// fit before the time-outs, each waiting no longer than what is left.
// characterTime: one character's time on the wire at the line's settings (zero: unknown). Once an
// answer has begun, its other bytes follow one character time apart; the read then sleeps while
// they cross the wire and takes them together, instead of waking for each one. The sleep never
// reaches past the read's deadline. Bytes that came during it count as taken when it ends, so a peer
// that stops part-way ends the read at most that sleep later than the interval alone would.
IoResult readWithin(PortBackend& port, std::uint8_t* buf, std::size_t n, const ReadTimeouts& timeouts,
                    std::chrono::nanoseconds characterTime = std::chrono::nanoseconds::zero());
IoResult writeWithin(PortBackend& port, const std::uint8_t* buf, std::size_t n,
                     std::chrono::milliseconds bound);

}  // namespace serial::detail
