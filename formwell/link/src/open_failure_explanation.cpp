#include "open_failure_explanation.h"

#include "comrig.h"
#include "serial/open_failure.h"

namespace formwell::link {

namespace {

serial::ErrorKind kindOf(std::int32_t comOpenResult) {
    switch (comOpenResult) {
        case COMRIG_ERR_NO_DEVICE:
            return serial::ErrorKind::NoSuchDevice;
        case COMRIG_ERR_PERMISSION:
            return serial::ErrorKind::PermissionDenied;
        case COMRIG_ERR_IN_USE:
            return serial::ErrorKind::InUse;
        case COMRIG_ERR_INVALID:
            return serial::ErrorKind::InvalidSetting;
        case COMRIG_ERR_NOT_SERIAL:
            return serial::ErrorKind::NotSerialDevice;
        default:
            return serial::ErrorKind::Other;
    }
}

// comrig gives only its result: the reason's words are what was asked of the port.
std::string reasonFor(serial::ErrorKind kind, std::int32_t comOpenResult, const PortSettings& s) {
    if (kind == serial::ErrorKind::InvalidSetting) {
        return std::to_string(s.BaudRate) + " baud, " + std::to_string(s.DataBits) + " data bits, parity " +
               s.Parity.text() + ", " + std::to_string(s.StopBits) + " stop bits (from mbx.dat)";
    }
    return "the serial library answered " + std::to_string(comOpenResult);
}

}  // namespace

std::string explainComOpenFailure(std::int32_t comOpenResult, const PortSettings& settings) {
    const serial::ErrorKind kind = kindOf(comOpenResult);
    return serial::explainOpenFailure(serial::Error{kind, 0, reasonFor(kind, comOpenResult, settings)},
                                      settings.PortNumber);
}

}  // namespace formwell::link
