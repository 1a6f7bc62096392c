// The front of every port: argument and "not open" checks, the settings in force, and the time-outs.
// What each platform does with the device lives in its backend.
#include "serial/serial_device.h"

#include <algorithm>
#include <utility>

#include "port_backend.h"

namespace serial {

namespace {

Error notOpen() {
    return Error{ErrorKind::NotOpen, 0, "the port is not open"};
}

// What no port can take; a platform may refuse more (POSIX has only the standard rates).
Error checkConfig(const LineConfig& config) {
    if (config.baud == 0) {
        return Error{ErrorKind::InvalidSetting, 0, "unsupported baud rate 0"};
    }
    if (config.dataBits < 5 || config.dataBits > 8) {
        return Error{ErrorKind::InvalidSetting, 0,
                     "unsupported number of data bits " + std::to_string(config.dataBits)};
    }
    if (config.parity > Parity::Space) {
        return Error{ErrorKind::InvalidSetting, 0, "unknown parity setting"};
    }
    if (config.stopBits > StopBits::Two) {
        return Error{ErrorKind::InvalidSetting, 0, "unknown stop-bit setting"};
    }
    return {};
}

}  // namespace

std::chrono::nanoseconds characterTime(const LineConfig& config) {
    const std::int64_t bits = 1 + config.dataBits + (config.parity == Parity::None ? 0 : 1) +
                              (config.stopBits == StopBits::One ? 1 : 2);
    const std::int64_t baud = std::max<std::int64_t>(config.baud, 1);
    return std::chrono::nanoseconds((bits * 1'000'000'000 + baud - 1) / baud);
}

SerialDevice::SerialDevice() = default;

SerialDevice::~SerialDevice() {
    close();
}

SerialDevice::SerialDevice(SerialDevice&& other) noexcept
    : port_(std::move(other.port_)), path_(std::exchange(other.path_, {})), config_(other.config_) {}

SerialDevice& SerialDevice::operator=(SerialDevice&& other) noexcept {
    if (this != &other) {
        close();
        port_ = std::move(other.port_);
        path_ = std::exchange(other.path_, {});
        config_ = other.config_;
    }
    return *this;
}

bool SerialDevice::isOpen() const {
    return port_ != nullptr;
}

Error SerialDevice::open(int portNumber, const LineConfig& config) {
    close();
    const std::optional<std::string> path = devicePathForPort(portNumber);
    if (!path) {
        const int port = portNumber & 0xFF;
        return Error{ErrorKind::NoSuchDevice, 0,
                     "port " + std::to_string(port) + " names no device (set COM" + std::to_string(port) +
                         " to the device's path)"};
    }
    return openPath(*path, config);
}

Error SerialDevice::openPath(const std::string& path, const LineConfig& config) {
    close();
    if (Error bad = checkConfig(config); !bad.ok()) {
        return bad;
    }
    Error error;
    std::unique_ptr<detail::PortBackend> port = detail::openBackend(path, error);
    if (!port) {
        return error;
    }
    if (Error configured = port->configure(config); !configured.ok()) {
        return configured;  // the port is released with its backend
    }
    // Held on for the whole session; a device without modem lines (a pty) is still a port.
    (void)port->setModemLine(detail::ModemLine::Dtr, true);
    (void)port->setModemLine(detail::ModemLine::Rts, true);
    port_ = std::move(port);
    path_ = path;
    config_ = config;
    return {};
}

void SerialDevice::close() {
    port_.reset();
    path_.clear();
}

IoResult SerialDevice::read(std::uint8_t* buf, std::size_t n, const ReadTimeouts& timeouts) {
    if (!isOpen()) {
        return IoResult{0, notOpen()};
    }
    return detail::readWithin(*port_, buf, n, timeouts, characterTime(config_));
}

IoResult SerialDevice::write(const std::uint8_t* buf, std::size_t n, std::chrono::milliseconds bound) {
    if (!isOpen()) {
        return IoResult{0, notOpen()};
    }
    return detail::writeWithin(*port_, buf, n, bound);
}

Error SerialDevice::drain() {
    return isOpen() ? port_->drain() : notOpen();
}

Error SerialDevice::purge() {
    return isOpen() ? port_->purge() : notOpen();
}

Error SerialDevice::flushAndPurge() {
    Error drained = drain();
    Error purged = purge();
    return drained.ok() ? purged : drained;
}

Error SerialDevice::setLine(const LineConfig& config) {
    if (!isOpen()) {
        return notOpen();
    }
    if (Error bad = checkConfig(config); !bad.ok()) {
        return bad;
    }
    if (Error applied = port_->configure(config); !applied.ok()) {
        return applied;
    }
    config_ = config;
    return {};
}

Error SerialDevice::setBaud(std::uint32_t baud) {
    LineConfig changed = config_;
    changed.baud = baud;
    return setLine(changed);
}

Error SerialDevice::setDtr(bool on) {
    return isOpen() ? port_->setModemLine(detail::ModemLine::Dtr, on) : notOpen();
}

Error SerialDevice::setRts(bool on) {
    return isOpen() ? port_->setModemLine(detail::ModemLine::Rts, on) : notOpen();
}

Error SerialDevice::readCts(bool& on) {
    on = true;  // what a device without the line reports
    return isOpen() ? port_->readCts(on) : notOpen();
}

const char* describe(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::None:
            return "no error";
        case ErrorKind::NoSuchDevice:
            return "no such device";
        case ErrorKind::PermissionDenied:
            return "permission denied";
        case ErrorKind::InUse:
            return "in use";
        case ErrorKind::NotSerialDevice:
            return "not a serial device";
        case ErrorKind::InvalidSetting:
            return "invalid setting";
        case ErrorKind::NotOpen:
            return "port not open";
        case ErrorKind::TimedOut:
            return "timed out";
        case ErrorKind::HungUp:
            return "line hung up";
        case ErrorKind::Unsupported:
            return "not supported by the device";
        case ErrorKind::Other:
            break;
    }
    return "serial port error";
}

}  // namespace serial
