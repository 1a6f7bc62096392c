// A USB serial adapter's latency timer between the terminal and the host, for --latency-timer. The
// adapter does not hand each byte it receives to the host at once: it holds them until its timer has
// run out since the first byte held, or until a full USB packet's payload (62 bytes) is waiting,
// and then hands over all of them together. Every protocol waits for an answer after each frame, so
// the timer adds up to its whole time to each exchange.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "hhtsim/line.h"

namespace hhtsim {

// The holding rule alone, on any clock.
class LatencyTimer {
  public:
    static constexpr std::size_t kPacketBytes = 62;

    explicit LatencyTimer(std::chrono::milliseconds period) : period_(period) {}

    // Takes the bytes that reach the adapter at `at`; returns what goes to the host at once: every
    // byte held, when a packet's worth is waiting (a remainder stays, its timer starting at `at`).
    std::vector<std::uint8_t> hold(std::span<const std::uint8_t> bytes, WireClock::time_point at);
    // When the bytes held go to the host, if any are held.
    std::optional<WireClock::time_point> due() const;
    // All bytes held, the timer stopped.
    std::vector<std::uint8_t> release();
    void discard() { held_.clear(); }

  private:
    std::chrono::milliseconds period_;
    std::vector<std::uint8_t> held_;
    WireClock::time_point firstHeld_{};
};

// A Line whose writes pass through a LatencyTimer. Held bytes are handed over when they are due
// during the terminal's reads, pauses and sleeps.
class AdapterLine final : public Line {
  public:
    AdapterLine(Line& host, std::chrono::milliseconds period) : host_(host), timer_(period) {}

    ReadResult read(std::optional<std::chrono::milliseconds> timeout) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    bool pause(std::chrono::nanoseconds duration) override;
    bool sleepUntil(WireClock::time_point until) override;
    // The bytes held had crossed the wire before it went: the adapter still hands them over.
    void hangUp() override;
    std::optional<CharacterFormat> hostFormat() const override { return host_.hostFormat(); }
    WireClock::time_point now() const override { return host_.now(); }

    // Before the terminal goes away: waits until the bytes held are due and hands them over. False
    // when a stop was requested first.
    bool settle();

  private:
    // Hands over the bytes held once they are due. Bytes that cannot be written are lost, as an
    // answer is when the line is gone; the next read says why.
    void releaseDue();

    Line& host_;
    LatencyTimer timer_;
};

}  // namespace hhtsim
