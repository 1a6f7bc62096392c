#include "receive_queue.h"

#include <algorithm>

namespace comrig {

namespace {
// One read of the line takes at most this many bytes: a frame with room to spare, so the queue stays
// small whatever the terminal sends.
constexpr std::size_t kChunkBytes = 256;
}  // namespace

TakenByte ReceiveQueue::take(std::chrono::milliseconds wait) {
    if (size() == 0) {
        if (const Arrival arrival = refill(wait, kChunkBytes); arrival != Arrival::Byte) {
            return TakenByte{arrival, 0};
        }
    }
    const std::uint8_t value = bytes_[head_++];
    if (head_ == bytes_.size()) {
        clear();
    }
    return TakenByte{Arrival::Byte, value};
}

Arrival ReceiveQueue::peek(std::chrono::milliseconds wait) {
    return size() != 0 ? Arrival::Byte : refill(wait, kChunkBytes);
}

bool ReceiveQueue::pullWaiting(std::size_t limit) {
    while (size() < limit) {
        const Arrival arrival =
            refill(std::chrono::milliseconds::zero(), std::min(kChunkBytes, limit - size()));
        if (arrival != Arrival::Byte) {
            return arrival == Arrival::Silence;
        }
    }
    return true;
}

void ReceiveQueue::clear() {
    bytes_.clear();
    head_ = 0;
}

// Appends one read of the line. Bytes that came with a failure are kept; the failure is reported
// when no byte came.
Arrival ReceiveQueue::refill(std::chrono::milliseconds wait, std::size_t capacity) {
    const std::size_t before = bytes_.size();
    bytes_.resize(before + capacity);
    const LineRead got = line_.readSome(bytes_.data() + before, capacity, wait);
    bytes_.resize(before + std::min(got.count, capacity));
    if (got.count > 0) {
        return Arrival::Byte;
    }
    return got.failed ? Arrival::Failed : Arrival::Silence;
}

}  // namespace comrig
