#include "read_deadline.h"

#include <algorithm>
#include <cstdint>

namespace serial::detail {

namespace {
// A total that exceeds this is capped; it keeps constant + perByte * n far from overflowing a time point.
constexpr std::uint64_t kLongestTotalMs = std::uint64_t{1} << 40;
}  // namespace

ReadDeadline::ReadDeadline(const ReadTimeouts& timeouts, std::size_t wanted, Clock::time_point start)
    : interval_(std::chrono::milliseconds(timeouts.intervalMs)),
      endOnArrival_(timeouts.intervalMs == ReadTimeouts::kEndOnArrival) {
    std::uint64_t totalMs = timeouts.totalConstantMs;
    const std::uint64_t perByte = timeouts.totalPerByteMs;
    if (perByte != 0 && wanted > (kLongestTotalMs - totalMs) / perByte) {
        totalMs = kLongestTotalMs;
    } else {
        totalMs += perByte * wanted;
    }
    totalDeadline_ = start + std::chrono::milliseconds(static_cast<std::int64_t>(totalMs));
}

void ReadDeadline::onBytes(Clock::time_point now) {
    haveByte_ = true;
    lastByte_ = now;
}

std::chrono::milliseconds ReadDeadline::remaining(Clock::time_point now) const {
    if (haveByte_ && endOnArrival_) {
        return std::chrono::milliseconds::zero();
    }
    Clock::time_point end = totalDeadline_;
    if (haveByte_ && interval_ > Clock::duration::zero()) {
        end = std::min(end, lastByte_ + interval_);
    }
    if (end <= now) {
        return std::chrono::milliseconds::zero();
    }
    return std::chrono::ceil<std::chrono::milliseconds>(end - now);
}

}  // namespace serial::detail
