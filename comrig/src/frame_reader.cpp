#include "frame_reader.h"

#include <algorithm>

namespace comrig {

namespace {

using Clock = std::chrono::steady_clock;

// The terminal ends a receive with a lone EOT where the next frame would begin.
constexpr std::uint8_t kEot = 0x04;

// The check byte follows the terminator on the wire as closely as the frame's bytes follow each other.
std::chrono::milliseconds checkByteWait(const FrameRequest& request, Clock::duration longestPause) {
    const auto slowness = std::min<Clock::duration>(2 * longestPause, request.silence);
    return request.checkByteGrace + std::chrono::ceil<std::chrono::milliseconds>(slowness);
}

}  // namespace

FrameRead readFrame(ReceiveQueue& queue, std::uint8_t* buf, const FrameRequest& request) {
    FrameRead read;
    Clock::duration longestPause{0};
    while (read.count < request.max) {
        const auto before = queue.now();
        const TakenByte next = queue.take(request.silence);
        if (read.count > 0) {
            longestPause = std::max(longestPause, queue.now() - before);
        }
        if (next.arrival == Arrival::Silence) {
            read.outcome = FrameOutcome::WaitEnded;
            return read;
        }
        if (next.arrival == Arrival::Failed) {
            read.outcome = FrameOutcome::Failed;
            return read;
        }
        buf[read.count++] = next.value;
        if (next.value == request.terminator) {
            // The caller reads the check byte a moment after this returns and must not take a late one
            // for a bad frame. It stays queued for that read, where a failure of the line shows too.
            (void)queue.peek(checkByteWait(request, longestPause));
            buf[read.count] = 0;
            read.outcome = FrameOutcome::Frame;
            return read;
        }
        if (next.value == kEot && read.count == 1) {
            read.outcome = FrameOutcome::WaitEnded;
            return read;
        }
    }
    read.outcome = FrameOutcome::Full;
    return read;
}

}  // namespace comrig
