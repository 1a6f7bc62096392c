#include "hhtsim/adapter_line.h"

#include <algorithm>

namespace hhtsim {

std::vector<std::uint8_t> LatencyTimer::hold(std::span<const std::uint8_t> bytes, WireClock::time_point at) {
    std::vector<std::uint8_t> out;
    for (const std::uint8_t byte : bytes) {
        if (held_.empty()) {
            firstHeld_ = at;
        }
        held_.push_back(byte);
        if (held_.size() == kPacketBytes) {
            out.insert(out.end(), held_.begin(), held_.end());
            held_.clear();
        }
    }
    return out;
}

std::optional<WireClock::time_point> LatencyTimer::due() const {
    if (held_.empty()) {
        return std::nullopt;
    }
    return firstHeld_ + period_;
}

std::vector<std::uint8_t> LatencyTimer::release() {
    std::vector<std::uint8_t> out;
    out.swap(held_);
    return out;
}

void AdapterLine::releaseDue() {
    const auto due = timer_.due();
    if (due && *due <= host_.now()) {
        (void)host_.write(timer_.release());
    }
}

// A byte from the host that comes while bytes are held is taken in (and stamped) during the wait but
// seen only when they are due: the terminal's answer to it would have been held with them anyway.
ReadResult AdapterLine::read(std::optional<std::chrono::milliseconds> timeout) {
    std::optional<WireClock::time_point> end;
    if (timeout) {
        end = host_.now() + *timeout;
    }
    for (;;) {
        releaseDue();
        const auto due = timer_.due();
        if (due && (!end || *due < *end)) {
            if (!host_.pause(std::max<std::chrono::nanoseconds>(*due - host_.now(), {}))) {
                return {ReadStatus::Stopped};
            }
            continue;
        }
        std::optional<std::chrono::milliseconds> left;
        if (end) {
            left = std::max(std::chrono::ceil<std::chrono::milliseconds>(*end - host_.now()),
                            std::chrono::milliseconds(0));
        }
        ReadResult result = host_.read(left);
        // Closing the port clears the adapter's buffers; the host's next open finds none of it.
        if (result.status == ReadStatus::HostClosed) {
            timer_.discard();
        }
        if (result.status != ReadStatus::Timeout || !timer_.due() || (end && host_.now() >= *end)) {
            return result;
        }
    }
}

bool AdapterLine::write(std::span<const std::uint8_t> bytes) {
    releaseDue();
    const std::vector<std::uint8_t> out = timer_.hold(bytes, host_.now());
    return out.empty() || host_.write(out);
}

bool AdapterLine::pause(std::chrono::nanoseconds duration) {
    const WireClock::time_point end = host_.now() + duration;
    for (auto due = timer_.due(); due && *due < end; due = timer_.due()) {
        if (!host_.pause(std::max<std::chrono::nanoseconds>(*due - host_.now(), {}))) {
            return false;
        }
        releaseDue();
    }
    return host_.pause(std::max<std::chrono::nanoseconds>(end - host_.now(), {}));
}

bool AdapterLine::sleepUntil(WireClock::time_point until) {
    for (auto due = timer_.due(); due && *due < until; due = timer_.due()) {
        if (!host_.sleepUntil(*due)) {
            return false;
        }
        releaseDue();
    }
    return host_.sleepUntil(until);
}

void AdapterLine::hangUp() {
    if (const std::vector<std::uint8_t> held = timer_.release(); !held.empty()) {
        (void)host_.write(held);
    }
    host_.hangUp();
}

bool AdapterLine::settle() {
    const auto due = timer_.due();
    return !due || pause(std::max<std::chrono::nanoseconds>(*due - host_.now(), {}));
}

}  // namespace hhtsim
