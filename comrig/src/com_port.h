// One open port: the serial device, the bytes received and not yet handed out, and the rules of the
// comrig calls on it (every send waits until its bytes have left; reads never take more than asked).
// Every member may be called from any thread; calls run one at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "frame_reader.h"
#include "receive_line.h"
#include "receive_queue.h"
#include "serial/serial_device.h"

namespace comrig {

enum class PortStatus : std::uint8_t { Ok, NotOpen, Failed };

struct SendResult {
    PortStatus status = PortStatus::Ok;
    std::size_t count = 0;  // bytes that left the port; fewer than asked when the bound ran out
};

struct ByteResult {
    PortStatus status = PortStatus::Ok;
    bool waiting = false;  // a byte was there
    std::uint8_t value = 0;
};

class ComPort {
  public:
    ComPort();
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    serial::Error open(int portNumber, const serial::LineConfig& config);
    void close();

    PortStatus checkOpen();
    // Drops the received bytes not yet read: those queued here and those waiting on the line.
    PortStatus discardReceived();
    // Drops the bytes written and not yet sent, keeping the received ones.
    PortStatus discardUnsent();
    // Sends and waits until the bytes have left the port.
    SendResult send(const std::uint8_t* bytes, std::size_t n);
    // The next received byte if one is waiting; never waits.
    ByteResult takeByte();
    // Collects one frame (see frame_reader.h); the check byte's grace comes from the line settings.
    FrameRead readFrame(std::uint8_t* buf, std::uint8_t terminator, std::size_t max,
                        std::chrono::milliseconds silence);

  private:
    // The device as a receive line: a read returns soon after bytes stop coming.
    class DeviceLine : public ReceiveLine {
      public:
        explicit DeviceLine(serial::SerialDevice& device) : device_(device) {}
        LineRead readSome(std::uint8_t* buf, std::size_t capacity, std::chrono::milliseconds wait) override;
        std::chrono::steady_clock::time_point now() const override {
            return std::chrono::steady_clock::now();
        }

      private:
        serial::SerialDevice& device_;
    };

    std::mutex mutex_;
    serial::SerialDevice device_;
    DeviceLine line_{device_};
    ReceiveQueue received_{line_};
    // Set when a send ended at its bound: some of its bytes may still be waiting to go out.
    bool unsentMayRemain_ = false;
};

}  // namespace comrig
