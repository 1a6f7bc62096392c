#include "serial_terminal_port.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <thread>
#include <utility>

namespace pushkit {

namespace {

// Callers' parity and stop-bit codes pass to the serial library by number, unknown ones included, so
// that the library refuses those as invalid settings: the two orders must stay the same.
template <typename SerialEnum>
constexpr bool sameCode(SerialEnum serialValue, std::uint8_t code) {
    return static_cast<std::uint8_t>(serialValue) == code;
}
static_assert(sameCode(serial::Parity::None, kParityNone) && sameCode(serial::Parity::Odd, kParityOdd) &&
              sameCode(serial::Parity::Even, kParityEven) && sameCode(serial::Parity::Mark, kParityMark) &&
              sameCode(serial::Parity::Space, kParitySpace));
static_assert(sameCode(serial::StopBits::One, kStopOne) &&
              sameCode(serial::StopBits::OneAndHalf, kStopOneAndHalf) &&
              sameCode(serial::StopBits::Two, kStopTwo));

}  // namespace

serial::LineConfig toLineConfig(const LineSettings& settings) {
    serial::LineConfig config;
    config.baud = settings.baud;
    config.dataBits = settings.dataBits;
    config.parity = static_cast<serial::Parity>(settings.parity);
    config.stopBits = static_cast<serial::StopBits>(settings.stopBits);
    return config;
}

SerialTerminalPort::SerialTerminalPort(serial::SerialDevice device) : device_(std::move(device)) {}

void SerialTerminalPort::note(serial::Error error) {
    // A device without modem lines is the normal case on a pseudo-terminal, not a failure.
    if (!error.ok() && error.kind != serial::ErrorKind::Unsupported) {
        lastError_ = std::move(error);
    }
}

std::size_t SerialTerminalPort::read(std::uint8_t* buf, std::size_t n) {
    serial::IoResult result = device_.read(buf, n, kTerminalReadTimeouts);
    note(std::move(result.error));
    return result.count;
}

bool SerialTerminalPort::write(const std::uint8_t* buf, std::size_t n) {
    serial::IoResult result = device_.write(buf, n, kTerminalWriteBound);
    const bool ok = result.ok();
    note(std::move(result.error));
    return ok;
}

void SerialTerminalPort::drain() {
    note(device_.drain());
}

Discarded SerialTerminalPort::discardUntilQuiet() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::array<std::uint8_t, kDiscardByteCap> sink{};
    Discarded discarded;
    // Silence from the start is the common case: one quiet window and nothing more.
    serial::IoResult first = device_.read(sink.data(), 1, serial::ReadTimeouts{0, kQuietWindowMs, 0});
    discarded.bytes = first.count;
    note(std::move(first.error));
    if (discarded.bytes == 0) {
        return discarded;
    }
    // Then until a quiet window follows a byte, the byte cap or the time cap.
    const auto spentMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const auto leftMs = static_cast<std::uint32_t>(
        std::max<std::int64_t>(0, std::int64_t{kDiscardTimeCapMs} - static_cast<std::int64_t>(spentMs)));
    serial::IoResult rest =
        device_.read(sink.data(), sink.size() - 1, serial::ReadTimeouts{kQuietWindowMs, leftMs, 0});
    discarded.bytes += rest.count;
    note(std::move(rest.error));
    discarded.capped = discarded.bytes >= kDiscardByteCap ||
                       Clock::now() - start >= std::chrono::milliseconds(kDiscardTimeCapMs);
    return discarded;
}

void SerialTerminalPort::setBaud(std::uint32_t baud) {
    note(device_.setBaud(baud));
}

void SerialTerminalPort::setLine(const LineSettings& settings) {
    note(device_.setLine(toLineConfig(settings)));
}

void SerialTerminalPort::flushAndPurge() {
    note(device_.flushAndPurge());
}

void SerialTerminalPort::setDtr(bool on) {
    note(device_.setDtr(on));
}

void SerialTerminalPort::setRts(bool on) {
    note(device_.setRts(on));
}

bool SerialTerminalPort::cts() {
    bool on = true;
    note(device_.readCts(on));
    return on;
}

void SerialTerminalPort::sleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint64_t SerialTerminalPort::nowMs() {
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count());
}

LocalTime SerialTerminalPort::localTime() {
    const serial::CalendarTime now = serial::localCalendarTime();
    return LocalTime{now.year, now.month, now.day, now.dayOfWeek, now.hour, now.minute, now.second};
}

std::unique_ptr<Port> SerialPortOpener::open(int portNumber, const LineSettings& settings) {
    serial::SerialDevice device;
    lastError_ = device.open(portNumber, toLineConfig(settings));
    if (!lastError_.ok()) {
        return nullptr;
    }
    return std::make_unique<SerialTerminalPort>(std::move(device));
}

}  // namespace pushkit
