// The ten C exports: argument checks, the port table, and the mapping of every outcome to the
// results comrig.h documents. No exception crosses this line.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "com_port.h"
#include "comrig.h"
#include "port_table.h"

namespace {

using comrig::FrameOutcome;
using comrig::PortStatus;
using std::chrono::milliseconds;

constexpr std::int32_t kLongestWaitSeconds = 86400;

std::int32_t openResult(const serial::Error& error) {
    switch (error.kind) {
        case serial::ErrorKind::None:
            return COMRIG_OK;
        case serial::ErrorKind::NoSuchDevice:
            return COMRIG_ERR_NO_DEVICE;
        case serial::ErrorKind::PermissionDenied:
            return COMRIG_ERR_PERMISSION;
        case serial::ErrorKind::InUse:
            return COMRIG_ERR_IN_USE;
        case serial::ErrorKind::InvalidSetting:
            return COMRIG_ERR_INVALID;
        case serial::ErrorKind::NotSerialDevice:
            return COMRIG_ERR_NOT_SERIAL;
        case serial::ErrorKind::NotOpen:
        case serial::ErrorKind::TimedOut:
        case serial::ErrorKind::HungUp:
        case serial::ErrorKind::Unsupported:
        case serial::ErrorKind::Other:
            break;
    }
    return COMRIG_FAILED;
}

std::int32_t portResult(PortStatus status) {
    return status == PortStatus::Ok ? COMRIG_OK : COMRIG_FAILED;
}

std::int32_t frameResult(FrameOutcome outcome) {
    switch (outcome) {
        case FrameOutcome::Frame:
            return COMRIG_READ_FRAME;
        case FrameOutcome::WaitEnded:
            return COMRIG_READ_WAIT_ENDED;
        case FrameOutcome::Full:
            return COMRIG_READ_FULL;
        case FrameOutcome::Failed:
            break;
    }
    return COMRIG_FAILED;
}

// The transfers pass the text "com"; any case is taken.
bool isComName(const char* name) {
    return name != nullptr && (name[0] | 0x20) == 'c' && (name[1] | 0x20) == 'o' && (name[2] | 0x20) == 'm' &&
           name[3] == '\0';
}

// The settings a caller may ask for, or nothing when one is out of range. Parity codes 1 to 3 are what
// the port settings give for the letters N, O and E.
std::optional<serial::LineConfig> lineConfigFor(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                                                std::int32_t stopBits) {
    if (baud <= 0 || dataBits < 5 || dataBits > 8 || parity < 1 || parity > 3 ||
        (stopBits != 1 && stopBits != 2)) {
        return std::nullopt;
    }
    serial::LineConfig config;
    config.baud = static_cast<std::uint32_t>(baud);
    config.dataBits = static_cast<std::uint8_t>(dataBits);
    config.parity = parity == 1   ? serial::Parity::None
                    : parity == 2 ? serial::Parity::Odd
                                  : serial::Parity::Even;
    config.stopBits = stopBits == 1 ? serial::StopBits::One : serial::StopBits::Two;
    return config;
}

}  // namespace

extern "C" {

COMRIG_API int32_t COMRIG_CALL ComOpen(const char* name, int32_t port, int32_t baud, int32_t dataBits,
                                       int32_t parity, int32_t stopBits, int32_t inQueue, int32_t outQueue) {
    try {
        const std::optional<serial::LineConfig> config = lineConfigFor(baud, dataBits, parity, stopBits);
        if (!isComName(name) || !config || inQueue <= 0 || outQueue <= 0) {
            comrig::portTable().close(port);  // an open port is closed first, whatever follows
            return COMRIG_ERR_INVALID;
        }
        return openResult(comrig::portTable().open(port, *config));
    } catch (...) {
        return COMRIG_FAILED;
    }
}

COMRIG_API int32_t COMRIG_CALL ComSetFlow(int32_t port, int32_t mode) {
    try {
        const std::shared_ptr<comrig::ComPort> open = comrig::portTable().find(port);
        if (!open) {
            return COMRIG_FAILED;
        }
        // Every port is opened without flow control: 0 and 2 ask for exactly that. The serial layer
        // has no hardware handshake to offer for 1.
        if (mode != 0 && mode != 2) {
            return COMRIG_ERR_INVALID;
        }
        return portResult(open->checkOpen());
    } catch (...) {
        return COMRIG_FAILED;
    }
}

COMRIG_API int32_t COMRIG_CALL ComClose(int32_t port) {
    try {
        comrig::portTable().close(port);
    } catch (...) {
        // Closing cannot fail in a way the caller could act on; the table has forgotten the port.
    }
    return COMRIG_OK;
}

COMRIG_API int32_t COMRIG_CALL ComFlush(int32_t port) {
    try {
        const std::shared_ptr<comrig::ComPort> open = comrig::portTable().find(port);
        return open ? portResult(open->discardReceived()) : COMRIG_FAILED;
    } catch (...) {
        return COMRIG_FAILED;
    }
}

COMRIG_API int32_t COMRIG_CALL ComFlushImmediate(int32_t port) {
    try {
        const std::shared_ptr<comrig::ComPort> open = comrig::portTable().find(port);
        return open ? portResult(open->discardUnsent()) : COMRIG_FAILED;
    } catch (...) {
        return COMRIG_FAILED;
    }
}

COMRIG_API int32_t COMRIG_CALL ComSleepMS(int32_t /*port*/, int32_t ms) {
    try {
        if (ms > 0) {
            std::this_thread::sleep_for(milliseconds(ms));
        }
    } catch (...) {
        // sleep_for does not fail; nothing to report if it did.
    }
    return COMRIG_OK;
}

COMRIG_API int32_t COMRIG_CALL ComWrite(int32_t port, const char* buf, int32_t n) {
    try {
        if (n < 0 || (buf == nullptr && n > 0)) {
            return COMRIG_ERR_INVALID;
        }
        const std::shared_ptr<comrig::ComPort> open = comrig::portTable().find(port);
        if (!open) {
            return COMRIG_FAILED;
        }
        const comrig::SendResult sent =
            open->send(reinterpret_cast<const std::uint8_t*>(buf), static_cast<std::size_t>(n));
        return sent.status == PortStatus::Ok ? static_cast<int32_t>(sent.count) : COMRIG_FAILED;
    } catch (...) {
        return COMRIG_FAILED;
    }
}

COMRIG_API int32_t COMRIG_CALL ComPutc(int32_t port, int32_t byteValue) {
    if (byteValue < 0 || byteValue > 0xFF) {
        return COMRIG_ERR_INVALID;
    }
    const char byte = static_cast<char>(byteValue);
    return ComWrite(port, &byte, 1) == 1 ? 1 : COMRIG_FAILED;
}

COMRIG_API int32_t COMRIG_CALL ComGetc(int32_t port) {
    try {
        const std::shared_ptr<comrig::ComPort> open = comrig::portTable().find(port);
        if (!open) {
            return COMRIG_ERR_NOT_OPEN;
        }
        const comrig::ByteResult got = open->takeByte();
        switch (got.status) {
            case PortStatus::Ok:
                return got.waiting ? int32_t{got.value} : int32_t{COMRIG_NO_BYTE};
            case PortStatus::NotOpen:
                return COMRIG_ERR_NOT_OPEN;
            case PortStatus::Failed:
                break;
        }
        return COMRIG_ERR_READ;
    } catch (...) {
        return COMRIG_ERR_READ;
    }
}

COMRIG_API int32_t COMRIG_CALL ComReadBuf(int32_t port, char* buf, int32_t terminator, int32_t max,
                                          int32_t wait) {
    try {
        if (buf == nullptr || max < 1 || terminator < 0 || terminator > 0xFF) {
            return COMRIG_ERR_INVALID;
        }
        const std::shared_ptr<comrig::ComPort> open = comrig::portTable().find(port);
        if (!open) {
            return COMRIG_FAILED;
        }
        const std::int32_t seconds = wait < 0 ? 0 : wait > kLongestWaitSeconds ? kLongestWaitSeconds : wait;
        const comrig::FrameRead read =
            open->readFrame(reinterpret_cast<std::uint8_t*>(buf), static_cast<std::uint8_t>(terminator),
                            static_cast<std::size_t>(max), std::chrono::seconds(seconds));
        return frameResult(read.outcome);
    } catch (...) {
        return COMRIG_FAILED;
    }
}

}  // extern "C"
