#include "com_port.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>

namespace comrig {

namespace {

using std::chrono::milliseconds;

// Received bytes ComFlush and ComFlushImmediate handle in one call: far more than a cradle's buffers
// hold, and a bound on a line that never stops talking.
constexpr std::size_t kMostWaitingBytes = 64 * 1024;
// A send may take its time on the wire plus this long before it counts as stuck.
constexpr milliseconds kSendMargin{2000};
// The check byte follows the terminator at once on the wire; a few character times cover a terminal
// that pauses briefly between them, and the margin covers a USB adapter's delivery delay and a
// busy scheduler.
constexpr std::int64_t kCheckByteGraceCharacters = 4;
constexpr milliseconds kCheckByteMargin{50};

PortStatus statusOf(const serial::Error& error) {
    if (error.ok()) {
        return PortStatus::Ok;
    }
    return error.kind == serial::ErrorKind::NotOpen ? PortStatus::NotOpen : PortStatus::Failed;
}

}  // namespace

LineRead ComPort::DeviceLine::readSome(std::uint8_t* buf, std::size_t capacity, milliseconds wait) {
    const auto longest = milliseconds(std::numeric_limits<std::uint32_t>::max());
    serial::ReadTimeouts timeouts;
    // What has arrived is handed on at once: the terminal waits for our answer to the frame whose
    // check byte just came, and the frame reader simply reads again for the rest of a frame.
    timeouts.intervalMs = serial::ReadTimeouts::kEndOnArrival;
    timeouts.totalConstantMs =
        static_cast<std::uint32_t>(std::clamp(wait, milliseconds::zero(), longest).count());
    const serial::IoResult got = device_.read(buf, capacity, timeouts);
    return LineRead{got.count, !got.ok()};
}

ComPort::ComPort() = default;

serial::Error ComPort::open(int portNumber, const serial::LineConfig& config) {
    const std::lock_guard guard(mutex_);
    received_.clear();
    unsentMayRemain_ = false;
    return device_.open(portNumber, config);
}

void ComPort::close() {
    const std::lock_guard guard(mutex_);
    device_.close();
    received_.clear();
    unsentMayRemain_ = false;
}

PortStatus ComPort::checkOpen() {
    const std::lock_guard guard(mutex_);
    return device_.isOpen() ? PortStatus::Ok : PortStatus::NotOpen;
}

PortStatus ComPort::discardReceived() {
    const std::lock_guard guard(mutex_);
    if (!device_.isOpen()) {
        return PortStatus::NotOpen;
    }
    received_.clear();
    const bool lineOk = received_.pullWaiting(kMostWaitingBytes);
    received_.clear();
    return lineOk ? PortStatus::Ok : PortStatus::Failed;
}

PortStatus ComPort::discardUnsent() {
    const std::lock_guard guard(mutex_);
    if (!device_.isOpen()) {
        return PortStatus::NotOpen;
    }
    if (!unsentMayRemain_) {
        return PortStatus::Ok;  // every send waited until its bytes had left
    }
    // The port discards both directions at once: what has arrived is moved here first.
    if (!received_.pullWaiting(kMostWaitingBytes)) {
        return PortStatus::Failed;
    }
    const serial::Error purged = device_.purge();
    if (purged.ok()) {
        unsentMayRemain_ = false;
    }
    return statusOf(purged);
}

SendResult ComPort::send(const std::uint8_t* bytes, std::size_t n) {
    const std::lock_guard guard(mutex_);
    if (!device_.isOpen()) {
        return SendResult{PortStatus::NotOpen, 0};
    }
    if (n == 0) {
        return SendResult{PortStatus::Ok, 0};
    }
    const auto onTheWire = std::chrono::ceil<milliseconds>(serial::characterTime(device_.lineConfig()) *
                                                           static_cast<std::int64_t>(n));
    const serial::IoResult written = device_.write(bytes, n, onTheWire + kSendMargin);
    if (written.error.kind == serial::ErrorKind::TimedOut) {
        unsentMayRemain_ = true;
        return SendResult{PortStatus::Ok, written.count};
    }
    if (!written.ok()) {
        return SendResult{statusOf(written.error), written.count};
    }
    // The caller times the terminal's answer from our return: the bytes must be on the wire by then.
    if (const serial::Error drained = device_.drain(); !drained.ok()) {
        unsentMayRemain_ = true;
        return SendResult{statusOf(drained), written.count};
    }
    return SendResult{PortStatus::Ok, written.count};
}

ByteResult ComPort::takeByte() {
    const std::lock_guard guard(mutex_);
    if (!device_.isOpen()) {
        return ByteResult{PortStatus::NotOpen, false, 0};
    }
    const TakenByte taken = received_.take(milliseconds::zero());
    if (taken.arrival == Arrival::Failed) {
        return ByteResult{PortStatus::Failed, false, 0};
    }
    return ByteResult{PortStatus::Ok, taken.arrival == Arrival::Byte, taken.value};
}

FrameRead ComPort::readFrame(std::uint8_t* buf, std::uint8_t terminator, std::size_t max,
                             milliseconds silence) {
    const std::lock_guard guard(mutex_);
    if (!device_.isOpen()) {
        return FrameRead{FrameOutcome::Failed, 0};
    }
    FrameRequest request;
    request.terminator = terminator;
    request.max = max;
    request.silence = silence;
    request.checkByteGrace = std::chrono::ceil<milliseconds>(serial::characterTime(device_.lineConfig()) *
                                                             kCheckByteGraceCharacters) +
                             kCheckByteMargin;
    return comrig::readFrame(received_, buf, request);
}

}  // namespace comrig
