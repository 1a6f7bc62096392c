// The serial ports of a Windows machine: the COM names the system's device table holds.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "serial/port_list.h"

namespace serial {

DeviceFacts describeDevice(const std::string& path, const DeviceRoots&) {
    DeviceFacts facts;
    facts.path = path;
    facts.kind = "COM port";
    // Windows tells whether a port is held only by refusing to open it; looking must not open it.
    char target[512];
    facts.present = ::QueryDosDeviceA(path.c_str(), target, sizeof target) != 0;
    facts.mayOpen = facts.present;
    return facts;
}

std::vector<DeviceFacts> listSerialDevices(const DeviceRoots& roots) {
    std::vector<char> names(64 * 1024);
    const DWORD length = ::QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
    std::vector<DeviceFacts> devices;
    for (DWORD at = 0; at < length && names[at] != '\0';) {
        const std::string name(&names[at]);
        if (name.rfind("COM", 0) == 0) {
            devices.push_back(describeDevice(name, roots));
        }
        at += static_cast<DWORD>(name.size()) + 1;
    }
    std::sort(devices.begin(), devices.end(),
              [](const DeviceFacts& a, const DeviceFacts& b) { return a.path < b.path; });
    return devices;
}

}  // namespace serial
