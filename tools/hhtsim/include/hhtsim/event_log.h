// The machine-readable event log. One line per event:
//   <ms since start> <rx|tx|note> <event>
// e.g. "123 rx FRAME STX \"QTY\\r\\n\" xor=OK" or "130 tx ACK". Quoted texts use escapeText().
//
// Bytes that no role parses ("stray" bytes: line noise, a wake-up code byte) are logged one per line
// ("rx BYTE 0x13") for the first kStrayBytesShown of a run; the rest of a longer run becomes one line
// when the run ends, stamped with the time of its last byte:
//   "rx STRAY <n> more bytes: <the first 16 of them in hex> ..." (" ..." only when n > 16)
// A run ends with the next other event and when the log closes, so a host pouring noise into the line
// cannot make the log grow faster than a few lines per message the terminal recognises.
//
// The wire log (--wire-log) counts the bytes of every message, one line each:
//   <µs since start> <rx|tx> <bytes> <event>
// stamped when the message's last byte was whole at the far end: for rx, the bytes the host sent
// since the previous rx line, named by the event the role logged for them (stray bytes become one
// "STRAY" line); for tx, the bytes of one answer. With --baud-throttle the stamps are wire times.
//
// The terminal's record (--record) says what the terminal holds and what it was told, one line per
// event, "<ms since start> <EVENT> <details>", written and flushed as it happens so that a run killed
// midway still has it:
//   SESSION <role>                        an exchange began
//   CHAOS #<n> <spoiling> [<details>]     message n was spoiled (--chaos); "delay=<ms>" where it added time
//   ACCEPT "<line>" answer=clean|garbled  INI receive: a line taken in and answered
//   STORED <n> lines                      INI receive: the EOT came and the file is complete
//   SENT <record> try=<t> "<text>"        data send: a record's frame went out
//   ACKED <record>                        data send: the host's ACK for it came (it is delivered)
//   EOT                                   data send: the end of data went out
//   EXCHANGE <outcome>                    an exchange ended: completed, abandoned, failed, stopped, hung-up
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "hhtsim/wire.h"

namespace hhtsim {

class EventLog {
  public:
    static constexpr std::size_t kStrayBytesShown = 8;
    static constexpr std::size_t kStrayHexShown = 16;

    EventLog();
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Without a file the log only counts time; returns false with a reason when the file cannot be made.
    bool open(const std::string& path, std::string& error);
    bool openWire(const std::string& path, std::string& error);
    bool openRecord(const std::string& path, std::string& error);

    void rx(std::string_view event) { add("rx", event); }
    void tx(std::string_view event) { add("tx", event); }
    void note(std::string_view event) { add("note", event); }
    void record(std::string_view event);
    // A received byte that no role parses.
    void stray(std::uint8_t byte);

    // A byte from the host, whole at the terminal at `at`; it counts towards the next rx event.
    void wireIn(WireClock::time_point at);
    // An answer of `bytes` bytes, whole at the host at `at`.
    void wireOut(std::size_t bytes, std::string_view what, WireClock::time_point at);

    std::int64_t elapsedMs() const;

  private:
    void add(std::string_view direction, std::string_view event);
    void write(std::int64_t ms, std::string_view direction, std::string_view event);
    // Writes the summary of the stray bytes not shown one by one, if there are any.
    void endStrayRun();
    void writeWire(WireClock::time_point at, std::string_view direction, std::size_t bytes,
                   std::string_view event);
    // The stray bytes counted since the last wire line, as one line of their own.
    void endWireStray();

    std::chrono::steady_clock::time_point start_;
    std::FILE* file_ = nullptr;
    std::size_t strayRun_ = 0;  // stray bytes since the last other event
    std::string strayHex_;      // the first kStrayHexShown of those not shown one by one
    std::int64_t lastStrayMs_ = 0;
    std::FILE* wire_ = nullptr;
    std::FILE* record_ = nullptr;
    std::size_t wireBytesIn_ = 0;  // host bytes not yet on a wire line
    std::size_t wireStray_ = 0;    // of those, the stray ones
    WireClock::time_point lastInAt_{};
};

}  // namespace hhtsim
