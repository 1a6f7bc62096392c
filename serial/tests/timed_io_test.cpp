// The read and write contracts over a scripted backend on a virtual clock: what every platform's port
// does with its time-outs, to the millisecond.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "port_backend.h"

namespace serial::detail {
namespace {

using std::chrono::milliseconds;

// Bytes arrive at fixed times, and the line may hang up at a time; room for writing comes the same way.
// A wait advances the virtual clock to whichever comes first: its end, a byte (or room), the hang-up.
class ScriptedBackend : public PortBackend {
  public:
    struct Arrival {
        Clock::duration at;
        std::size_t bytes;
    };
    std::vector<Arrival> arrivals;
    std::vector<Arrival> room;
    std::optional<Clock::duration> hangUpAt;
    std::optional<Clock::time_point> deadline;  // of the read or write under test
    milliseconds longestWaitPastDeadline{0};

    Error configure(const LineConfig&) override { return {}; }
    int readCalls = 0;

    IoResult readSome(std::uint8_t*, std::size_t n, milliseconds wait) override {
        ++readCalls;
        const std::size_t taken = take(arrivals, read_, n, wait);
        if (taken == 0 && hangUpAt && at(*hangUpAt) <= now_) {
            return IoResult{0, Error{ErrorKind::HungUp, 0, "the line hung up"}};
        }
        return IoResult{taken, {}};
    }
    IoResult writeSome(const std::uint8_t*, std::size_t n, milliseconds wait) override {
        return IoResult{take(room, written_, n, wait), {}};
    }
    Error drain() override { return {}; }
    Error purge() override { return {}; }
    Error setModemLine(ModemLine, bool) override { return {}; }
    Error readCts(bool&) override { return {}; }
    Clock::time_point now() const override { return now_; }
    void sleepFor(Clock::duration duration) override {
        if (deadline) {
            longestWaitPastDeadline = std::max(longestWaitPastDeadline,
                                               std::chrono::ceil<milliseconds>(now_ + duration - *deadline));
        }
        now_ += duration;
    }

    milliseconds elapsed() const { return std::chrono::duration_cast<milliseconds>(now_ - at({})); }
    Clock::duration exactlyElapsed() const { return now_ - at({}); }

  private:
    static Clock::time_point at(Clock::duration offset) {
        return Clock::time_point{} + std::chrono::hours(1) + offset;
    }
    std::size_t available(const std::vector<Arrival>& events, std::size_t used) const {
        std::size_t total = 0;
        for (const Arrival& a : events) {
            total += at(a.at) <= now_ ? a.bytes : 0;
        }
        return total - used;
    }
    std::size_t take(const std::vector<Arrival>& events, std::size_t& used, std::size_t n,
                     milliseconds wait) {
        if (deadline) {
            longestWaitPastDeadline =
                std::max(longestWaitPastDeadline, std::chrono::ceil<milliseconds>(now_ + wait - *deadline));
        }
        if (available(events, used) == 0 && !(hangUpAt && at(*hangUpAt) <= now_)) {
            Clock::time_point wake = now_ + wait;
            for (const Arrival& a : events) {
                wake = at(a.at) > now_ ? std::min(wake, at(a.at)) : wake;
            }
            wake = hangUpAt && at(*hangUpAt) > now_ ? std::min(wake, at(*hangUpAt)) : wake;
            now_ = wake;
        }
        const std::size_t taken = std::min(available(events, used), n);
        used += taken;
        return taken;
    }

    Clock::time_point now_ = at({});
    std::size_t read_ = 0;
    std::size_t written_ = 0;
};

std::vector<ScriptedBackend::Arrival> drip(Clock::duration first, Clock::duration every, int count) {
    std::vector<ScriptedBackend::Arrival> arrivals;
    for (int i = 0; i < count; ++i) {
        arrivals.push_back({first + every * i, 1});
    }
    return arrivals;
}

TEST(TimedIo, ReadEndsAtTheIntervalTheTotalOrTheCount) {
    struct Case {
        const char* what;
        ReadTimeouts timeouts;
        std::size_t wanted;
        std::vector<ScriptedBackend::Arrival> arrivals;
        std::optional<Clock::duration> hangUpAt;
        std::size_t count;
        milliseconds took;
        ErrorKind error;
    };
    const Case cases[] = {
        {"silent terminal: the whole total",
         {100, 100, 100},
         18,
         {},
         {},
         0,
         milliseconds(1900),
         ErrorKind::None},
        {"answer, then the interval",
         {100, 100, 100},
         18,
         {{milliseconds(30), 5}},
         {},
         5,
         milliseconds(130),
         ErrorKind::None},
        {"dripping terminal: each byte restarts the interval",
         {50, 10000, 0},
         40,
         drip(milliseconds(20), milliseconds(40), 6),
         {},
         6,
         milliseconds(270),
         ErrorKind::None},
        {"a peer that never pauses ends at the total",
         {50, 195, 0},
         1000,
         drip(milliseconds(0), milliseconds(10), 100),
         {},
         20,
         milliseconds(195),
         ErrorKind::None},
        {"all that was wanted, at once",
         {100, 1000, 0},
         4,
         {{milliseconds(0), 9}},
         {},
         4,
         milliseconds(0),
         ErrorKind::None},
        {"zero total takes only what waits",
         {100, 0, 0},
         8,
         {{milliseconds(0), 3}, {milliseconds(1), 3}},
         {},
         3,
         milliseconds(0),
         ErrorKind::None},
        {"hang-up keeps the bytes before it",
         {100, 5000, 0},
         8,
         {{milliseconds(10), 2}},
         milliseconds(40),
         2,
         milliseconds(40),
         ErrorKind::HungUp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedBackend port;
        port.arrivals = c.arrivals;
        port.hangUpAt = c.hangUpAt;
        std::vector<std::uint8_t> buf(c.wanted);
        const IoResult got = readWithin(port, buf.data(), buf.size(), c.timeouts);
        EXPECT_EQ(got.count, c.count);
        EXPECT_EQ(got.error.kind, c.error) << got.error.text;
        EXPECT_EQ(port.elapsed().count(), c.took.count());
    }
}

// An answer at the line's pace is taken in three goes, not one per byte: its first byte, then what came
// while the rest crossed the wire, then the last byte the moment it arrives. A peer that stops part-way
// still ends the read by the interval, counted from when its bytes were taken: no earlier than after
// its last byte, and no later than one wire time of the answer past that.
TEST(TimedIo, AnAnswerAtWirePaceIsGatheredWithoutAWakeUpPerByte) {
    const std::chrono::nanoseconds character(520833);  // 10 bits at 19200 baud
    const ReadTimeouts timeouts{100, 100, 100};
    std::uint8_t buf[9];
    {
        ScriptedBackend port;
        port.arrivals = drip(milliseconds(10), character, 9);
        port.deadline = port.now() + milliseconds(1000);
        EXPECT_EQ(readWithin(port, buf, sizeof buf, timeouts, character).count, 9u);
        EXPECT_EQ(port.exactlyElapsed(), milliseconds(10) + 8 * character);
        EXPECT_EQ(port.readCalls, 3);
        EXPECT_EQ(port.longestWaitPastDeadline.count(), 0);
    }
    {
        ScriptedBackend port;
        port.arrivals = drip(milliseconds(10), character, 5);
        EXPECT_EQ(readWithin(port, buf, sizeof buf, timeouts, character).count, 5u);
        const Clock::duration lastByte = milliseconds(10) + 4 * character;
        EXPECT_GE(port.exactlyElapsed(), lastByte + milliseconds(100));
        EXPECT_LE(port.exactlyElapsed(), lastByte + milliseconds(100) + 9 * character + milliseconds(1));
    }
}

// No wait handed to the port reaches past the read's total or the write's bound.
TEST(TimedIo, NoWaitOutlastsTheDeadline) {
    ScriptedBackend reader;
    reader.arrivals = drip(milliseconds(7), milliseconds(33), 30);
    reader.deadline = reader.now() + milliseconds(500);
    std::vector<std::uint8_t> buf(64);
    EXPECT_EQ(readWithin(reader, buf.data(), buf.size(), ReadTimeouts{60, 500, 0}).count, 15u);
    EXPECT_EQ(reader.longestWaitPastDeadline.count(), 0);

    ScriptedBackend writer;  // takes 100 bytes every 30 ms, 700 in all
    for (const ScriptedBackend::Arrival& a : drip(milliseconds(0), milliseconds(30), 7)) {
        writer.room.push_back({a.at, 100});
    }
    writer.deadline = writer.now() + milliseconds(250);
    const IoResult written = writeWithin(writer, buf.data(), 1000, milliseconds(250));
    EXPECT_EQ(written.count, 700u);
    EXPECT_EQ(written.error.kind, ErrorKind::TimedOut);
    EXPECT_EQ(written.error.text, "the port took 700 of 1000 bytes within 250 ms");
    EXPECT_EQ(writer.elapsed().count(), 250);
    EXPECT_EQ(writer.longestWaitPastDeadline.count(), 0);
}

}  // namespace
}  // namespace serial::detail
