// The parts of SerialDevice that are the same on every platform; the I/O lives in the backends.
#include "serial/serial_device.h"

#include <utility>

namespace serial {

SerialDevice::~SerialDevice() {
    close();
}

SerialDevice::SerialDevice(SerialDevice&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)),
      path_(std::move(other.path_)),
      config_(other.config_),
      appliedReadTimeouts_(other.appliedReadTimeouts_),
      appliedWriteBoundMs_(other.appliedWriteBoundMs_),
      timeoutsApplied_(std::exchange(other.timeoutsApplied_, false)) {
    other.path_.clear();
}

SerialDevice& SerialDevice::operator=(SerialDevice&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kClosed);
        path_ = std::move(other.path_);
        other.path_.clear();
        config_ = other.config_;
        appliedReadTimeouts_ = other.appliedReadTimeouts_;
        appliedWriteBoundMs_ = other.appliedWriteBoundMs_;
        timeoutsApplied_ = std::exchange(other.timeoutsApplied_, false);
    }
    return *this;
}

bool SerialDevice::isOpen() const {
    return handle_ != kClosed;
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

Error SerialDevice::setBaud(std::uint32_t baud) {
    LineConfig changed = config_;
    changed.baud = baud;
    return setLine(changed);
}

Error SerialDevice::flushAndPurge() {
    Error drained = drain();
    Error purged = purge();
    return drained.ok() ? purged : drained;
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
