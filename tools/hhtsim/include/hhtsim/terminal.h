// The terminal's conduct on the line: what it reads, what it sends and how, with the misbehaviour the
// user asked for applied in one place so every role fails the same way.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "hhtsim/chaos.h"
#include "hhtsim/event_log.h"
#include "hhtsim/line.h"
#include "hhtsim/options.h"
#include "hhtsim/terminal_codec.h"
#include "hhtsim/wire.h"

namespace hhtsim {

enum class Permit { Go, Withheld, LineGone };

class Terminal {
  public:
    Terminal(Line& line, EventLog& log, const Misbehaviour& misbehaviour)
        : line_(line), log_(log), misbehaviour_(misbehaviour), answerFrom_(line.now()) {}

    // With --baud-throttle a byte is handed over only once it has crossed the wire: one character
    // time after it reached the device, or after the byte before it was whole, whichever is later.
    ReadResult read(std::optional<std::chrono::milliseconds> timeout);
    void unread(std::uint8_t byte) { unread_.push_front(byte); }

    // Counts one frame the terminal answers (or, sending data, one frame it sends) and says whether the
    // misbehaviour switches let it go out: --silent and --stop-after withhold it, --hangup-after closes
    // the line instead.
    Permit permit(std::string_view what);

    // An answer that carries an ACK: build() gets the byte to put where the ACK belongs (the --wrong-ack
    // byte when set). Counted through permit().
    Permit answerAck(const std::function<Bytes(std::uint8_t)>& build, std::string_view what);
    // Any other counted answer (identification, flash id).
    Permit answer(std::span<const std::uint8_t> bytes, std::string_view what);

    // Sends with --drip and --baud-throttle pacing; logs "tx <what>". With --baud-throttle each byte
    // is written when its last bit would reach the host, the first of an answer included. With
    // --chaos the message counted last is spoiled as the plan says. False when the line is gone.
    bool send(std::span<const std::uint8_t> bytes, std::string_view what,
              MessageKind kind = MessageKind::Answer);

    void setChaos(const ChaosPlan* plan) { chaos_ = plan; }
    // --chaos: the terminal misses the frame it has just read, by the plan's step for the answer it
    // would get. The answer is counted (the plan moves on), nothing is sent.
    bool missesFrame();
    // Whether the last message sent reached the host as the terminal meant it (see ShapedMessage).
    bool lastGarbled() const { return lastGarbled_; }
    bool pause(std::chrono::milliseconds duration) {
        const bool done = line_.pause(duration);
        answerFrom_ = line_.now();
        return done;
    }

    EventLog& log() { return log_; }
    WireClock::time_point now() const { return line_.now(); }
    const Misbehaviour& misbehaviour() const { return misbehaviour_; }
    bool hungUp() const { return hungUp_; }

  private:
    Permit delivered(bool sent) const;
    // --chatter: the unasked line goes out once, just before the first answer that is let through.
    bool chatterFirst();
    // From the host's settings as the device shows them, with --baud and --format in their place.
    std::chrono::nanoseconds characterTime() const;
    // False when a stop was requested first.
    bool waitUntil(WireClock::time_point at);
    bool transmit(std::span<const std::uint8_t> bytes, std::string_view what, std::chrono::milliseconds drip);

    Line& line_;
    EventLog& log_;
    const Misbehaviour& misbehaviour_;
    std::deque<std::uint8_t> unread_;
    long framesCounted_ = 0;
    bool hungUp_ = false;
    bool chattered_ = false;
    const ChaosPlan* chaos_ = nullptr;
    ChaosStep step_;  // the plan's step for the message counted last, until it is sent
    bool lastGarbled_ = false;
    WireDirection fromHost_;
    WireDirection toHost_;
    std::optional<std::chrono::nanoseconds> character_;  // the character time last looked up
    // What the next answer responds to happened then: the last byte read was whole, a read ended
    // without one, or a pause ended.
    WireClock::time_point answerFrom_{};
};

}  // namespace hhtsim
