// The wording of an open failure, built only from facts: every sentence names the port as the user
// knows it (COM<n>) and the device it led to, then says what to do.
#include "serial/open_failure.h"

#include "open_failure.h"

namespace serial {

namespace detail {

namespace {

std::string portName(const OpenFailureFacts& facts) {
    return "COM" + std::to_string(facts.port);
}

// "COM2 is /dev/ttyUSB0 (from the environment variable COM2)"
std::string subject(const OpenFailureFacts& facts) {
    if (!facts.device) {
        return portName(facts);
    }
    std::string text = portName(facts) + " is " + *facts.device;
    switch (facts.origin) {
        case DeviceOrigin::Variable:
            return text + " (from the environment variable " + portName(facts) + ")";
        case DeviceOrigin::Stored:
            return text + " (the device stored for " + portName(facts) + ")";
        case DeviceOrigin::Given:
            return text + " (given with --device)";
        case DeviceOrigin::Default:
        case DeviceOrigin::None:
            break;
    }
    return text;
}

// Where a port can name another device, how to do it, by the rule that named this one: the variable
// is changed where it was set, and a stored or default device where a person chooses one.
std::string renameHint(const OpenFailureFacts& facts, const char* lead) {
    if (!facts.variablesNamePorts) {
        return "";
    }
    const std::string port = portName(facts);
    switch (facts.origin) {
        case DeviceOrigin::Variable:
            return lead + std::string("set ") + port + " to the adapter's device (for example " + port +
                   "=/dev/ttyUSB0)";
        case DeviceOrigin::Given:
            return lead + std::string(
                              "give the adapter's device with --device (for example --device "
                              "/dev/ttyUSB0)");
        case DeviceOrigin::Stored:
        case DeviceOrigin::Default:
        case DeviceOrigin::None:
            break;
    }
    const std::string store = "formwell-cli ports --store " + std::to_string(facts.port) + "=/dev/ttyUSB0";
    if (facts.port < 1 || facts.port > 4) {  // PC Configuration offers COM1 to COM4
        return lead + std::string("store the adapter's device for ") + port + " (" + store + ")";
    }
    return lead + std::string("choose the adapter's device for ") + port +
           " under Device in PC Configuration (or: " + store + ")";
}

std::string noSuchDevice(const OpenFailureFacts& facts) {
    if (!facts.device) {
        return portName(facts) + " names no device: set the environment variable " + portName(facts) +
               " to the serial device's path (for example " + portName(facts) + "=/dev/ttyUSB0).";
    }
    if (facts.deviceNodeExists) {
        return subject(facts) +
               ", which has no serial port fitted behind it. Choose the port the cradle is on" +
               renameHint(facts, ", or ") + ".";
    }
    return subject(facts) + ", which does not exist. Plug in the cradle's adapter" +
           renameHint(facts, ", or ") + ".";
}

std::string permissionDenied(const OpenFailureFacts& facts) {
    if (facts.group.empty()) {
        return subject(facts) +
               ", which you may not open. Ask the administrator for read and write access to " +
               facts.device.value_or("it") + ".";
    }
    if (facts.groupNotInSession) {
        return subject(facts) + ", which only the group " + facts.group +
               " may open. You are in that group, but this login began before you were added: log in again.";
    }
    return subject(facts) + ", which only the group " + facts.group +
           " may open. Add yourself to the group " + facts.group + " (sudo usermod -aG " + facts.group +
           " $USER, then log in again).";
}

}  // namespace

std::string explainOpenFailure(const OpenFailureFacts& facts) {
    switch (facts.kind) {
        case ErrorKind::None:
            return "";
        case ErrorKind::NoSuchDevice:
            return noSuchDevice(facts);
        case ErrorKind::PermissionDenied:
            return permissionDenied(facts);
        case ErrorKind::InUse:
            if (facts.holders.empty()) {
                return subject(facts) + ", which another program is using. Close it, then try again.";
            }
            return subject(facts) + ", which is in use by " + facts.holders +
                   ". Close that program, then try again.";
        case ErrorKind::NotSerialDevice:
            return subject(facts) + ", which is not a serial port." + renameHint(facts, " Instead, ") +
                   (facts.variablesNamePorts ? "." : " Choose the port the cradle is on.");
        case ErrorKind::InvalidSetting:
            return subject(facts) + ", which refused the line settings: " + facts.reason +
                   ". Choose settings that both the port and the terminal support.";
        case ErrorKind::NotOpen:
        case ErrorKind::TimedOut:
        case ErrorKind::HungUp:
        case ErrorKind::Unsupported:
        case ErrorKind::Other:
            break;
    }
    return subject(facts) + ", which could not be opened: " + facts.reason + ".";
}

}  // namespace detail

std::string explainOpenFailure(const Error& error, int portNumber) {
    if (error.ok()) {
        return "";
    }
    return detail::explainOpenFailure(detail::gatherOpenFailureFacts(error, portNumber));
}

}  // namespace serial
