#include "open_failure_explanation.h"

#include <cstdlib>
#include <optional>

#include "serial/serial_device.h"

namespace formwell::cli {

namespace {

serial::ErrorKind kindOf(std::int32_t comOpenResult) {
    switch (comOpenResult) {
        case -2:
            return serial::ErrorKind::NoSuchDevice;
        case -3:
            return serial::ErrorKind::PermissionDenied;
        case -4:
            return serial::ErrorKind::InUse;
        case -5:
            return serial::ErrorKind::InvalidSetting;
        case -6:
            return serial::ErrorKind::NotSerialDevice;
        default:
            return serial::ErrorKind::Other;
    }
}

// Stands in for the serial library's own explanation until it lands there; see the call below.
std::string explainLocally(serial::ErrorKind kind, int portNumber) {
    const std::string port = "COM" + std::to_string(portNumber);
    const std::optional<std::string> device = serial::devicePathForPort(portNumber);
    std::string text = port + (device ? " is " + *device : std::string(" names no device")) + ": " +
                       serial::describe(kind) + ".";
    const char* variable = std::getenv(port.c_str());
    if (kind == serial::ErrorKind::NoSuchDevice && (variable == nullptr || *variable == '\0')) {
        text += " Set " + port + " to the cradle's device, e.g. " + port + "=/dev/ttyUSB0.";
    }
    return text;
}

}  // namespace

std::string explainComOpenFailure(std::int32_t comOpenResult, int portNumber) {
    return explainLocally(kindOf(comOpenResult), portNumber);
}

}  // namespace formwell::cli
