// A pseudo-terminal standing in for the terminal's serial cradle. The host opens the slave device; the
// terminal reads and writes the master. hhtsim keeps its own descriptor on the slave so the master does
// not fail with EIO while no host has it open, and watches the slave's opens and closes to notice a
// host that closes and reopens the port between exchanges.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "hhtsim/event_log.h"
#include "hhtsim/line.h"

namespace hhtsim {

class PtyLine final : public Line {
  public:
    // stopFd becomes readable when the program is asked to stop.
    static std::variant<std::unique_ptr<PtyLine>, std::string> open(int stopFd, EventLog& log);
    ~PtyLine() override;

    const std::string& devicePath() const { return path_; }

    ReadResult read(std::optional<std::chrono::milliseconds> timeout) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    // Bytes the host writes during a pause are taken in and stamped as they come, so their arrival
    // times stay true while the terminal paces its own output.
    bool pause(std::chrono::nanoseconds duration) override;
    bool sleepUntil(WireClock::time_point until) override;
    void hangUp() override;
    // A Linux pty keeps the speed and the stop bits the host set, but always reports 8 data bits and
    // no parity, whatever the host asked for.
    std::optional<CharacterFormat> hostFormat() const override;
    WireClock::time_point now() const override { return WireClock::now(); }

    // Polls through the last stretch before a deadline instead of sleeping, so that no byte is
    // handed over late by a wake-up: a busy loop, for benchmarks.
    void setPunctual(bool punctual) { punctual_ = punctual; }

    // Before the terminal goes away: waits, at most a bounded time, until the host has read what was
    // sent to it or has closed the port; closing the master earlier would discard those bytes.
    void drain();

  private:
    PtyLine(int master, int slave, int watch, int stopFd, std::string path, EventLog& log);
    // Counts the host's opens and closes; true when the last host descriptor was closed, and then
    // bytesBeforeClose_ says how many of the pending bytes the host wrote before it closed.
    bool handleWatchEvents();
    // Reads what the master holds into pending_: the count, 0 when nothing was waiting, -1 on failure.
    // Stamped now, or at the end of the sleepUntil they came in.
    int readMaster();
    // Takes in what came during a sleepUntil, before the next wait begins.
    void takeSleptBytes();
    void closeAll();

    struct PendingByte {
        std::uint8_t byte;
        WireClock::time_point arrivedAt;
    };

    int master_;
    int slave_;
    int watch_;  // inotify descriptor, -1 where unavailable
    int stopFd_;
    std::string path_;
    EventLog& log_;
    int hostOpens_ = 0;
    std::optional<std::size_t> bytesBeforeClose_;  // set while a close waits to be reported
    std::deque<PendingByte> pending_;
    std::optional<WireClock::time_point> sleptUntil_;
    bool punctual_ = false;
};

}  // namespace hhtsim
