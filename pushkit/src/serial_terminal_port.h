// The loader's production port: the serial library with the fixed time-outs every download protocol
// is timed against.
#pragma once

#include <chrono>
#include <memory>

#include "port.h"
#include "serial/serial_device.h"

namespace pushkit {

// Every read keeps the port's read rule (port.h).
inline constexpr serial::ReadTimeouts kTerminalReadTimeouts{kReadIntervalMs, kReadTotalConstantMs,
                                                            kReadTotalPerByteMs};
// A port that stopped taking bytes ends a write after this long.
inline constexpr std::chrono::milliseconds kTerminalWriteBound{1000};

// Line settings in the codes Download's callers pass, as the serial library takes them. Codes outside
// the known ranges are passed through, so that the port refuses them instead of guessing.
serial::LineConfig toLineConfig(const LineSettings& settings);

class SerialTerminalPort final : public Port {
  public:
    explicit SerialTerminalPort(serial::SerialDevice device);

    std::size_t read(std::uint8_t* buf, std::size_t n) override;
    bool write(const std::uint8_t* buf, std::size_t n) override;
    void drain() override;
    Discarded discardUntilQuiet() override;
    // The protocols do not check these: a refused setting keeps the previous one, and the terminal's
    // silence at the wrong speed is what the protocol then reports.
    void setBaud(std::uint32_t baud) override;
    void setLine(const LineSettings& settings) override;
    void flushAndPurge() override;
    void setDtr(bool on) override;
    void setRts(bool on) override;
    bool cts() override;

    void sleepMs(std::uint32_t ms) override;
    std::uint64_t nowMs() override;
    LocalTime localTime() override;

    // What went wrong in the last failed call, for diagnostics (empty when nothing failed).
    const serial::Error& lastError() const { return lastError_; }

  private:
    void note(serial::Error error);

    serial::SerialDevice device_;
    serial::Error lastError_;
};

class SerialPortOpener final : public PortOpener {
  public:
    std::unique_ptr<Port> open(int portNumber, const LineSettings& settings) override;

    // Why the last open failed (in use, no such device, ...); callers only see nullptr.
    const serial::Error& lastError() const { return lastError_; }

  private:
    serial::Error lastError_;
};

}  // namespace pushkit
