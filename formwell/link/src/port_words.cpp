#include "port_words.h"

#include <exception>

#include "formwell/common/app_error.h"
#include "serial/serial_device.h"

namespace formwell::link {

std::string parityWords(std::int32_t parity) {
    switch (parity) {
        case 0:
            return "no parity";
        case 1:
            return "odd parity";
        case 2:
            return "even parity";
        case 3:
            return "mark parity";
        case 4:
            return "space parity";
        default:
            return "parity " + std::to_string(parity);
    }
}

std::string stopBitWords(std::int32_t stopBits) {
    switch (stopBits) {
        case 0:
            return "1 stop bit";
        case 1:
            return "1.5 stop bits";
        default:
            return "2 stop bits";
    }
}

std::string portAndDevice(std::int32_t port) {
    const std::string name = "COM" + std::to_string(port & 0xFF);
    const std::optional<std::string> device = serial::devicePathForPort(port);
    if (!device) {
        return name + " (no device: " + name + " is not set)";
    }
    if (*device == "\\\\.\\" + name) {
        return name;
    }
    return name + " (" + *device + ")";
}

std::string portLineText(const PortSettings& s) {
    // mbx.dat's parity 1/2/3 and stop bits 1/2 in the loader's codes, so both questions read alike.
    return portAndDevice(s.PortNumber) + ": " + std::to_string(s.BaudRate) + " baud, " +
           std::to_string(s.DataBits) + " data bits, " + parityWords(s.Parity.number() - 1) + ", " +
           stopBitWords(s.StopBits == 1 ? 0 : s.StopBits);
}

std::string portLineTextFrom(const std::string& startupDirectory, std::optional<std::int32_t> port) {
    try {
        const std::optional<std::string> line =
            readPortSettingsLine(startupFile(startupDirectory, kPortSettingsFileName));
        if (!line) {
            return {};
        }
        PortSettings settings = portSettingsFromLine(*line);
        if (port) {
            settings.PortNumber = *port;
        }
        return portLineText(settings);
    } catch (const AppError&) {
        return {};
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace formwell::link
