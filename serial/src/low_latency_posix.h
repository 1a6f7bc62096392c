// Asking a serial driver to hand each received byte on at once. USB adapters otherwise hold received
// bytes back for up to 16 ms, which stretches every one-byte acknowledgement of a download; ptys and
// many drivers have no such mode, which is fine: reads are correct without it.
#pragma once

#include <linux/serial.h>

#include <cstdint>
#include <functional>

namespace serial::detail {

enum class LowLatency : std::uint8_t { AlreadyOn, TurnedOn, NotOffered, Refused };

// The driver's serial flags (TIOCGSERIAL, TIOCSSERIAL); 0 on success, as ioctl. Tests put a driver of
// their own in.
struct SerialFlagsAccess {
    std::function<int(int fd, serial_struct& info)> get;
    std::function<int(int fd, const serial_struct& info)> set;
};
SerialFlagsAccess driverSerialFlags();

// Sets ASYNC_LOW_LATENCY where the driver offers it and leaves every other flag as it was.
LowLatency requestLowLatency(int fd, const SerialFlagsAccess& access = driverSerialFlags());

}  // namespace serial::detail
