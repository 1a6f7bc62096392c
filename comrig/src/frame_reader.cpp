#include "frame_reader.h"

namespace comrig {

namespace {
// The terminal ends a receive with a lone EOT where the next frame would begin.
constexpr std::uint8_t kEot = 0x04;
}  // namespace

FrameRead readFrame(ReceiveQueue& queue, std::uint8_t* buf, const FrameRequest& request) {
    FrameRead read;
    while (read.count < request.max) {
        const TakenByte next = queue.take(request.silence);
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
            // The check byte follows the terminator on the wire; the caller reads it a moment after
            // this returns and must not take a late one for a bad frame. It stays queued for that read.
            (void)queue.peek(request.checkByteGrace);  // a failure shows at that read
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
