// ComReadBuf's byte rules against a terminal scripted on a virtual clock: what lands in the buffer,
// which result, and when the read returns.
#include "frame_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "receive_queue.h"

namespace comrig {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Bytes = std::vector<std::uint8_t>;

// The terminal's bytes, each batch arriving at its moment; reads advance the clock as a real line
// would wait.
class ScriptedLine : public ReceiveLine {
  public:
    void arrive(microseconds at, const Bytes& bytes) { batches_.push_back(Batch{at, bytes}); }
    void hangUpAt(microseconds at) { hangUp_ = at; }
    std::chrono::steady_clock::time_point now() const override {
        return std::chrono::steady_clock::time_point(now_);
    }
    microseconds elapsed() const { return now_; }

    LineRead readSome(std::uint8_t* buf, std::size_t capacity, milliseconds wait) override {
        const microseconds deadline = now_ + wait;
        if (!batches_.empty() && batches_.front().at <= deadline &&
            (!hangUp_ || batches_.front().at < *hangUp_)) {
            now_ = std::max(now_, batches_.front().at);
            std::size_t count = 0;
            while (count < capacity && !batches_.empty() && batches_.front().at <= now_) {
                Batch& batch = batches_.front();
                const std::size_t n = std::min(capacity - count, batch.bytes.size());
                std::copy_n(batch.bytes.begin(), n, buf + count);
                batch.bytes.erase(batch.bytes.begin(), batch.bytes.begin() + static_cast<std::ptrdiff_t>(n));
                count += n;
                if (batch.bytes.empty()) {
                    batches_.pop_front();
                }
            }
            return LineRead{count, false};
        }
        if (hangUp_ && *hangUp_ <= deadline) {
            now_ = std::max(now_, *hangUp_);
            return LineRead{0, true};
        }
        now_ = deadline;
        return LineRead{0, false};
    }

  private:
    struct Batch {
        microseconds at;
        Bytes bytes;
    };
    std::deque<Batch> batches_;
    std::optional<microseconds> hangUp_;
    microseconds now_{0};
};

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

constexpr std::uint8_t kSpace = ' ';
constexpr milliseconds kGrace{55};
const Bytes kFrame = bytesOf(
    "\x02"
    "abc\r\n\x03");  // check byte 0x66

struct Reader {
    ScriptedLine line;
    ReceiveQueue queue{line};
    Bytes buffer = Bytes(201, kSpace);

    FrameRead read(milliseconds silence = seconds(5), std::size_t max = 200) {
        FrameRequest request;
        request.max = max;
        request.silence = silence;
        request.checkByteGrace = kGrace;
        return readFrame(queue, buffer.data(), request);
    }
    Bytes held(std::size_t count) const { return Bytes(buffer.begin(), buffer.begin() + count); }
};

TEST(FrameReader, FrameLandsWithOneNulAndTheRestUntouchedWhileLaterBytesWait) {
    Reader reader;
    Bytes sent = kFrame;
    sent.push_back(0x66);
    sent.push_back(0x02);  // the next frame's first byte
    reader.line.arrive(seconds(1), sent);

    const FrameRead read = reader.read();
    EXPECT_EQ(read.outcome, FrameOutcome::Frame);
    ASSERT_EQ(read.count, kFrame.size());
    EXPECT_EQ(reader.held(kFrame.size()), kFrame);
    EXPECT_EQ(reader.buffer[kFrame.size()], 0);
    EXPECT_TRUE(std::all_of(reader.buffer.begin() + kFrame.size() + 1, reader.buffer.end(),
                            [](std::uint8_t b) { return b == kSpace; }));
    EXPECT_EQ(reader.line.elapsed(), seconds(1));
    EXPECT_EQ(reader.queue.take(milliseconds(0)).value, 0x66);
    EXPECT_EQ(reader.queue.take(milliseconds(0)).value, 0x02);
}

TEST(FrameReader, NeverWritesPastMaxWhateverArrives) {
    // 300 bytes without the terminator: max bytes, no NUL, nothing beyond.
    Reader flood;
    flood.buffer.assign(512, 0xAA);
    flood.line.arrive(microseconds(0), Bytes(300, 'x'));
    FrameRead read = flood.read();
    EXPECT_EQ(read.outcome, FrameOutcome::Full);
    EXPECT_EQ(read.count, 200u);
    EXPECT_EQ(flood.held(200), Bytes(200, 'x'));
    EXPECT_TRUE(std::all_of(flood.buffer.begin() + 200, flood.buffer.end(),
                            [](std::uint8_t b) { return b == 0xAA; }));
    EXPECT_EQ(flood.queue.size(), 56u);  // the rest of the read's chunk stays received

    // The terminator as the max-th byte is still a frame: its NUL is the one byte after max.
    Reader exact;
    exact.buffer.assign(512, 0xAA);
    Bytes frame(199, 'y');
    frame.push_back(0x03);
    exact.line.arrive(microseconds(0), frame);
    read = exact.read();
    EXPECT_EQ(read.outcome, FrameOutcome::Frame);
    EXPECT_EQ(read.count, 200u);
    EXPECT_EQ(exact.buffer[200], 0);
    EXPECT_EQ(exact.buffer[201], 0xAA);
}

TEST(FrameReader, LoneEotEndsTheWaitAtOnceButNotInsideOtherBytes) {
    Reader alone;
    alone.line.arrive(milliseconds(300), {0x04});
    FrameRead read = alone.read();
    EXPECT_EQ(read.outcome, FrameOutcome::WaitEnded);
    EXPECT_EQ(alone.held(2), (Bytes{0x04, kSpace}));
    EXPECT_EQ(alone.line.elapsed(), milliseconds(300));

    // An EOT after other bytes is data: the read waits out the silence and hands over both.
    Reader late;
    late.line.arrive(milliseconds(0), {'z', 0x04});
    read = late.read();
    EXPECT_EQ(read.outcome, FrameOutcome::WaitEnded);
    EXPECT_EQ(late.held(2), (Bytes{'z', 0x04}));
    EXPECT_EQ(late.line.elapsed(), seconds(5));
}

TEST(FrameReader, EachByteStartsTheWaitAgain) {
    // A terminal dripping one byte every 4.9 s is never cut off, however long the frame takes, and its
    // check byte, as slow as the rest, is waited for.
    Reader slow;
    Bytes dripped = kFrame;
    dripped.push_back(0x66);
    for (std::size_t i = 0; i < dripped.size(); ++i) {
        slow.line.arrive(milliseconds(4900) * static_cast<int>(i + 1), {dripped[i]});
    }
    FrameRead read = slow.read();
    EXPECT_EQ(read.outcome, FrameOutcome::Frame);
    EXPECT_EQ(slow.held(kFrame.size()), kFrame);
    EXPECT_EQ(slow.line.elapsed(), milliseconds(4900 * 8));
    EXPECT_EQ(slow.queue.take(milliseconds(0)).value, 0x66);

    // A gap longer than the wait ends it, with what came before.
    Reader stalled;
    stalled.line.arrive(seconds(1), {0x02, 'a'});
    stalled.line.arrive(milliseconds(6100), {'b'});
    read = stalled.read();
    EXPECT_EQ(read.outcome, FrameOutcome::WaitEnded);
    EXPECT_EQ(read.count, 2u);
    EXPECT_EQ(stalled.line.elapsed(), seconds(6));

    // A wait of 0 takes what is already there and returns without waiting.
    Reader now;
    now.line.arrive(microseconds(0), {0x02, 'a'});
    read = now.read(milliseconds(0));
    EXPECT_EQ(read.outcome, FrameOutcome::WaitEnded);
    EXPECT_EQ(read.count, 2u);
    EXPECT_EQ(now.line.elapsed(), microseconds(0));
}

TEST(FrameReader, CheckByteAfterTheTerminatorGetsItsGraceAndStaysQueued) {
    // One character time at 9600 baud after the ETX: the read returns as soon as it is there.
    Reader prompt;
    prompt.line.arrive(seconds(1), kFrame);
    prompt.line.arrive(seconds(1) + microseconds(1042), {0x66});
    EXPECT_EQ(prompt.read().outcome, FrameOutcome::Frame);
    EXPECT_EQ(prompt.line.elapsed(), seconds(1) + microseconds(1042));
    const TakenByte check = prompt.queue.take(milliseconds(0));
    EXPECT_EQ(check.arrival, Arrival::Byte);
    EXPECT_EQ(check.value, 0x66);

    // No check byte: the read still returns the frame, after the grace and no later.
    Reader missing;
    missing.line.arrive(seconds(1), kFrame);
    EXPECT_EQ(missing.read().outcome, FrameOutcome::Frame);
    EXPECT_EQ(missing.line.elapsed(), seconds(1) + kGrace);
    EXPECT_EQ(missing.queue.take(milliseconds(0)).arrival, Arrival::Silence);
}

TEST(FrameReader, HangUpFailsTheReadAndKeepsWhatArrived) {
    Reader reader;
    reader.line.arrive(milliseconds(10), {0x02, 'a'});
    reader.line.hangUpAt(milliseconds(20));
    const FrameRead read = reader.read();
    EXPECT_EQ(read.outcome, FrameOutcome::Failed);
    EXPECT_EQ(reader.held(2), (Bytes{0x02, 'a'}));
    EXPECT_EQ(reader.line.elapsed(), milliseconds(20));
}

}  // namespace
}  // namespace comrig
