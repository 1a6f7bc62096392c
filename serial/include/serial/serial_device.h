// A serial port opened by its PC port number: configure, read with time-outs, write with a bound,
// modem lines, drain and purge. One small library shared by the two transfer libraries, with a
// termios backend and a Win32 backend behind the same contract.
//
// Contract common to every call:
// - Nothing here prints or throws. Every failure comes back as an Error carrying a kind that callers
//   can act on and the operating system's own text for people to read.
// - One thread at a time per SerialDevice. Different devices are independent.
// - Every call ends within a bound: reads at their total time-out, writes at their write bound.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace serial {

enum class Parity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : std::uint8_t { One, OneAndHalf, Two };

struct LineConfig {
    // POSIX ports take the standard rates (50 to 2000000, 2400 to 115200 among them) and refuse any
    // other with InvalidSetting rather than round it; on Windows the driver decides.
    std::uint32_t baud = 19200;
    std::uint8_t dataBits = 8;  // 5 to 8
    Parity parity = Parity::None;
    // On POSIX ports one and a half stop bits are sent as two: termios has no half bit.
    StopBits stopBits = StopBits::One;
};

// One character's time on the wire: start bit, data bits, parity bit and stop bits at the baud rate
// (one and a half stop bits counted as two). Rounded up to the nanosecond, so that a bound built on it
// is never shorter than the wire needs.
std::chrono::nanoseconds characterTime(const LineConfig& config);

enum class ErrorKind : std::uint8_t {
    None,
    NoSuchDevice,      // the device named for the port does not exist (or port 0 has no device named)
    PermissionDenied,  // the device exists but this user may not open it
    InUse,             // another program (or another SerialDevice) holds the port
    NotSerialDevice,   // the name leads to something that is not a serial line (a file, /dev/null)
    InvalidSetting,    // a baud rate, data-bit count or parity the port cannot take
    NotOpen,           // the call was made on a closed device
    TimedOut,          // a write did not finish within its bound
    HungUp,            // the line went away (adapter unplugged, pty peer closed)
    Unsupported,       // the device has no modem lines (a pseudo-terminal); nothing was changed
    Other,
};

struct Error {
    ErrorKind kind = ErrorKind::None;
    int osError = 0;   // errno or GetLastError(); 0 when the library itself refused
    std::string text;  // what happened, with the operating system's description when there is one

    bool ok() const { return kind == ErrorKind::None; }
};

// How long a read may wait. Follows the serial-port time-outs of the PC's own comm API:
// - intervalMs: once the first byte has arrived, the read ends when this long passes without another
//   byte. 0: no interval limit. kEndOnArrival: the read ends with the first bytes that arrive.
// - the total deadline, counted from the start of the call: totalConstantMs + totalPerByteMs * n.
//   A total of 0 returns at once with whatever is already waiting. There is no "wait for ever".
struct ReadTimeouts {
    static constexpr std::uint32_t kEndOnArrival = 0xFFFFFFFF;

    std::uint32_t intervalMs = 0;
    std::uint32_t totalConstantMs = 0;
    std::uint32_t totalPerByteMs = 0;
};

// A read or write's outcome: the bytes moved, and why it ended early if it did.
struct IoResult {
    std::size_t count = 0;
    Error error;

    bool ok() const { return error.ok(); }
};

// The device that port number `portNumber` names. Only the low byte of the number counts, so the same
// argument picks the same port on every platform.
// - POSIX: the value of the environment variable COM<n> when it is set and not empty (COM2=/dev/ttyUSB0,
//   or a pseudo-terminal's path for tests), then the device the user stored for it (port_map.h),
//   otherwise /dev/ttyS<n-1>. Port 0 has no default device:
//   it needs COM0 set, otherwise there is no device (nullopt).
// - Windows: "\\.\COM<n>", which also reaches ports above 9; COM0 is passed on as it is.
std::optional<std::string> devicePathForPort(int portNumber);

// The PC's local calendar time, for setting a terminal's clock.
struct CalendarTime {
    int year = 0;
    int month = 0;      // 1-12
    int day = 0;        // 1-31
    int dayOfWeek = 0;  // 0 = Sunday
    int hour = 0;
    int minute = 0;
    int second = 0;
};
CalendarTime localCalendarTime();

namespace detail {
class PortBackend;
}

class SerialDevice {
  public:
    SerialDevice();
    ~SerialDevice();  // closes the port if it is open
    SerialDevice(SerialDevice&& other) noexcept;
    SerialDevice& operator=(SerialDevice&& other) noexcept;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens the port's device (devicePathForPort) exclusively and configures it: raw bytes, the given
    // line settings, receiver on, modem-status lines ignored, no flow control of any kind, DTR and RTS
    // held on. Where the driver offers a low-latency mode it is asked for (USB adapters otherwise hold
    // back each short answer for several milliseconds); a driver without it is not an error.
    // Exclusive: while this device is open a second open of the same port fails with InUse.
    // Fails with NoSuchDevice, PermissionDenied, InUse, NotSerialDevice, InvalidSetting or Other; the
    // device stays closed then. Opening an open device closes it first. InvalidSetting also when the
    // driver does not take a setting (POSIX reads them back; a pseudo-terminal, which has no character
    // format, is not held to data bits and parity). On Linux an InUse text names the holder where the
    // system can tell ("/dev/ttyUSB0 is in use by minicom (pid 812)"); Windows reports a held port as
    // access denied, so there it is always InUse and never PermissionDenied. explainOpenFailure
    // (serial/open_failure.h) turns any of these into advice for a person.
    Error open(int portNumber, const LineConfig& config);
    // The same, for a device named directly.
    Error openPath(const std::string& path, const LineConfig& config);

    bool isOpen() const;
    // The device name of the open port (empty when closed).
    const std::string& path() const { return path_; }

    // Reads up to n bytes into buf. Ends when n bytes have arrived, when the interval time-out passes
    // after a byte, or at the total deadline, whichever comes first (see ReadTimeouts). A short count,
    // 0 included, is the normal outcome of a silent or slow peer and is not an error. Bytes received
    // before an error are counted and kept in buf. Errors: NotOpen, HungUp, Other.
    IoResult read(std::uint8_t* buf, std::size_t n, const ReadTimeouts& timeouts);

    // Writes all n bytes, waiting at most `bound` for the port to take them (a port that stopped
    // sending cannot hang the caller). Returns the count taken; TimedOut when not all were taken in
    // time. The bytes may still be on their way out when this returns: drain() waits for them.
    IoResult write(const std::uint8_t* buf, std::size_t n, std::chrono::milliseconds bound);

    // Waits until every written byte has left the port.
    Error drain();
    // Discards everything received and not yet read, and everything written and not yet sent.
    Error purge();
    // drain() then purge(): the line is quiet and both directions are empty afterwards.
    Error flushAndPurge();

    // Changes the line settings; InvalidSetting leaves the previous ones in force.
    Error setLine(const LineConfig& config);
    // Changes only the baud rate.
    Error setBaud(std::uint32_t baud);
    const LineConfig& lineConfig() const { return config_; }

    // Modem lines. A device without them reports Unsupported, which callers that only drive the
    // lines may treat as success; readCts then reports the line as on.
    Error setDtr(bool on);
    Error setRts(bool on);
    Error readCts(bool& on);

    // Releases the port. Safe to call on a closed device.
    void close();

  private:
    // The platform's side of the open port; none while closed.
    std::unique_ptr<detail::PortBackend> port_;
    std::string path_;
    LineConfig config_;
};

// A short human-readable name of an error kind ("in use", "no such device", ...).
const char* describe(ErrorKind kind);

}  // namespace serial
