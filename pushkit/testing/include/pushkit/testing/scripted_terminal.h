// A terminal on a virtual clock behind the Port seam. Reads keep the real port's time-out rules to
// the millisecond, so "a silent terminal gives up after about 10 s" is checked exactly and instantly.
// Every call the protocols make is logged with its virtual time; tests assert on that log.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "port.h"

namespace pushkit::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text);

enum class EventKind {
    Open,
    OpenFailed,
    Close,
    Write,
    WriteFailed,
    Read,
    Sleep,
    SetBaud,
    SetLine,
    FlushPurge,
    Drain,
    Discard,
    SetDtr,
    SetRts,
    Cts,
};

struct Event {
    EventKind kind = EventKind::Open;
    std::uint64_t timeMs = 0;  // virtual time when the call began
    Bytes bytes;               // Write: what was written; Read: what arrived; Discard: what was dropped
    std::size_t asked = 0;     // Read: n asked for
    std::uint32_t value = 0;   // Sleep: ms; SetBaud: baud; Open: port number
    bool on = false;           // SetDtr/SetRts: level; Cts: the answer; Discard: ended at a cap
    LineSettings line;         // Open, SetLine
};

class ScriptedTerminal;

// Sees each successful write as a whole and queues answers. terminal.nowMs() is the time the write
// has reached the terminal: at once, or after its wire time when that is modelled.
using Responder = std::function<void(ScriptedTerminal& terminal, const Bytes& written)>;

class ScriptedTerminal {
  public:
    ScriptedTerminal();

    void setResponder(Responder responder) { responder_ = std::move(responder); }
    // Queues bytes that reach the PC `delayMs` after now, then one every `gapMs`.
    void answer(const Bytes& bytes, std::uint32_t delayMs = 0, std::uint32_t gapMs = 0);

    // Off by default, so a write reaches the terminal the moment it is made. On: written bytes leave
    // one after the other at the port's baud rate (start bit, data bits, parity bit, stop bits), the
    // responder sees a write when its last byte has arrived, and drain() waits for that moment.
    void modelWireTime(bool on = true) { wireTime_ = on; }

    // Writes with index >= firstFailing (0-based over all writes, failed ones included) return false.
    void failWritesFrom(std::size_t firstFailing) { firstFailingWrite_ = firstFailing; }
    // Answer to the i-th CTS query (0-based); CTS is on by default.
    void setCts(std::function<bool(std::size_t query)> cts) { cts_ = std::move(cts); }
    void setLocalTime(const LocalTime& time) { localTime_ = time; }
    const LocalTime& localTime() const { return localTime_; }
    // The next `count` opens through the opener fail.
    void failOpens(int count) { failingOpens_ = count; }

    std::unique_ptr<Port> openPort(int portNumber = 1, const LineSettings& settings = {});
    std::unique_ptr<PortOpener> opener();

    std::uint64_t nowMs() const { return std::max(nowMs_, arrivalMs_); }
    const std::vector<Event>& log() const { return log_; }
    // Shortcuts over the log.
    std::vector<Bytes> writes() const;  // successful writes, in order
    Bytes writtenStream() const;        // all successful writes joined
    std::size_t count(EventKind kind) const;
    std::vector<std::uint32_t> sleeps() const;

  private:
    friend class ScriptedPort;
    friend class ScriptedOpener;

    struct Pending {
        std::uint8_t byte;
        std::uint64_t atMs;
    };

    std::size_t read(std::uint8_t* buf, std::size_t n);
    bool write(const std::uint8_t* buf, std::size_t n);
    Discarded discardUntilQuiet();
    // When the last byte written so far has left the port, in whole milliseconds.
    std::uint64_t lineFreeMs() const;
    Event& record(EventKind kind) {
        Event& e = log_.emplace_back();
        e.kind = kind;
        e.timeMs = nowMs_;
        return e;
    }

    std::uint64_t nowMs_ = 0;
    LineSettings line_;
    bool wireTime_ = false;
    std::uint64_t lineFreeNs_ = 0;  // when the transmitter is idle again
    std::uint64_t arrivalMs_ = 0;   // while a responder runs: when the write reached the terminal
    std::deque<Pending> incoming_;
    std::vector<Event> log_;
    Responder responder_;
    std::size_t writeIndex_ = 0;
    std::size_t firstFailingWrite_ = SIZE_MAX;
    std::function<bool(std::size_t)> cts_;
    std::size_t ctsQueries_ = 0;
    LocalTime localTime_;
    int failingOpens_ = 0;
};

// Ready-made terminals. Each returns a responder; combine them with the wrappers below.
Responder ackEverything();
Responder silent();
Responder answerEverythingWith(std::uint8_t byte);
// Answers like `inner` for the first `writes` writes, then never again.
Responder silentAfter(std::size_t writes, Responder inner);
// Answers `reply` to a write equal to `request`; every other write goes to `otherwise`.
Responder answerTo(Bytes request, Bytes reply, Responder otherwise);
// Identification query ESC "Z1" CR answered with `ident`.
Responder identifiesAs(std::string_view ident, Responder otherwise);
// Flash query frame answered with the three bytes `reply` (a short reply is allowed).
Responder answersFlashQuery(Bytes reply, Responder otherwise);
// Gathers single-character writes up to a CR and hands the whole line to `inner` (a terminal that
// answers lines, not characters). Whole writes that end in CR pass as they are.
Responder perLine(Responder inner);

}  // namespace pushkit::testing
