// The only way Pushkit's protocols reach a terminal: an open serial port plus the clock.
// Production code puts this on the serial library; tests put a scripted terminal on a virtual clock
// behind it, so every wait and time-out of the protocols is checked exactly and instantly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace pushkit {

// Parity and stop-bit codes as callers of Download pass them.
enum ParityCode : std::uint8_t {
    kParityNone = 0,
    kParityOdd = 1,
    kParityEven = 2,
    kParityMark = 3,
    kParitySpace = 4
};
enum StopBitsCode : std::uint8_t { kStopOne = 0, kStopOneAndHalf = 1, kStopTwo = 2 };

struct LineSettings {
    std::uint32_t baud = 19200;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = kParityNone;
    std::uint8_t stopBits = kStopOne;
};

// Calendar time of the PC, for setting the terminal's clock.
struct LocalTime {
    int year = 0;       // e.g. 2026
    int month = 0;      // 1-12
    int day = 0;        // 1-31
    int dayOfWeek = 0;  // 0 = Sunday
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Every read on a port: it ends kReadIntervalMs after the last byte, or kReadTotalConstantMs +
// kReadTotalPerByteMs * n after it began. A silent terminal costs about 200 ms for a one-byte answer
// and 1.9 s for an 18-byte one; the protocols' attempt counts are set against these.
inline constexpr std::uint32_t kReadIntervalMs = 100;
inline constexpr std::uint32_t kReadTotalConstantMs = 100;
inline constexpr std::uint32_t kReadTotalPerByteMs = 100;

// A terminal sends each answer in one burst, and USB serial adapters hand the bytes over in chunks up
// to about 16 ms apart: once 20 ms pass with nothing arriving, the terminal has finished talking.
inline constexpr std::uint32_t kQuietWindowMs = 20;
// A terminal that never stops talking must not hold a load: discarding ends after this many bytes or
// this long, whichever comes first. Left-overs of a real answer are a few dozen bytes at most.
inline constexpr std::size_t kDiscardByteCap = 256;
inline constexpr std::uint32_t kDiscardTimeCapMs = 500;

// What discardUntilQuiet threw away.
struct Discarded {
    std::size_t bytes = 0;
    bool capped = false;  // ended at the byte or time cap: the terminal was still talking
};

class Port {
  public:
    virtual ~Port() = default;

    // Reads up to n bytes into buf and returns how many arrived. The read ends when n bytes have
    // arrived, when kReadIntervalMs pass between two bytes, or after kReadTotalConstantMs +
    // kReadTotalPerByteMs * n in all, whichever comes first. A short count (0 included) is not an
    // error: the terminal was silent or slow, and the caller decides what a missing answer means.
    virtual std::size_t read(std::uint8_t* buf, std::size_t n) = 0;

    // Writes n bytes; true when the port took them within its write time-out. The bytes may still be
    // on their way out when it returns.
    virtual bool write(const std::uint8_t* buf, std::size_t n) = 0;
    // Waits until every byte written has left the port, so that a pause after it counts from the
    // moment the terminal has the whole text, whatever the baud rate.
    virtual void drain() = 0;

    // Reads and throws away whatever the terminal is still sending, until kQuietWindowMs pass with
    // nothing arriving (kQuietWindowMs when it is silent already), bounded by kDiscardByteCap and
    // kDiscardTimeCapMs. Used before a reply is read, so the end of an earlier answer is never taken
    // for it, and after a reply, to tell an answer longer than expected.
    virtual Discarded discardUntilQuiet() = 0;

    // Changes only the baud rate; data bits, parity and stop bits stay.
    virtual void setBaud(std::uint32_t baud) = 0;
    // Changes baud rate, data bits, parity and stop bits together.
    virtual void setLine(const LineSettings& settings) = 0;

    // Drains the output, then discards everything pending in both directions.
    virtual void flushAndPurge() = 0;

    // Modem lines. A device without them (a pseudo-terminal) ignores the setters and reports CTS on.
    virtual void setDtr(bool on) = 0;
    virtual void setRts(bool on) = 0;
    virtual bool cts() = 0;

    // The clock the protocols wait on: sleepMs pauses, nowMs is monotonic milliseconds.
    virtual void sleepMs(std::uint32_t ms) = 0;
    virtual std::uint64_t nowMs() = 0;
    virtual LocalTime localTime() = 0;
};

// Text commands go out as their characters' bytes.
inline bool writeText(Port& port, std::string_view text) {
    return port.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// Opens the port numbered like the PC's COM ports (1 = COM1). Download opens once at the start;
// the line protocol closes that port and opens it again at 115200 baud.
class PortOpener {
  public:
    virtual ~PortOpener() = default;
    // nullptr when the port cannot be opened.
    virtual std::unique_ptr<Port> open(int portNumber, const LineSettings& settings) = 0;
};

}  // namespace pushkit
