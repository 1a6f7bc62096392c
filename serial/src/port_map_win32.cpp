// On Windows a COM number is the system's own name for the port: there is nothing to choose or keep.
#include "serial/port_map.h"

namespace serial {

std::filesystem::path portMapFile() {
    return {};
}

std::optional<std::string> storedDeviceForPort(int) {
    return std::nullopt;
}

bool storeDeviceForPort(int, const std::string&, std::string& error) {
    error = "on Windows a port is its COM number";
    return false;
}

std::string portRuleText() {
    return "port n is the Windows port COM<n>";
}

std::string defaultDeviceForPort(int portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber);
}

bool giveDeviceForPort(int, const std::string&, std::string& error) {
    error = "on Windows a port is its COM number";
    return false;
}

DeviceOrigin deviceOriginForPort(int) {
    return DeviceOrigin::Default;
}

}  // namespace serial
