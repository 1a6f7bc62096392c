// The serial ports of a Windows machine: the system's list of ports (the device manager's Ports
// class) with their friendly names and, for USB adapters, what they say of themselves; then any COM
// name the system's device table holds that the list lacks (a virtual port, a Wine mapping).
#include <windows.h>
// clang-format off: setupapi.h and devpropdef.h need windows.h first
#include <devpropdef.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/port_list.h"
#include "windows_port_facts.h"

namespace serial {

namespace {

// The Ports class, and the property that holds what a USB device reports as its name; written out
// here so no GUID library is needed.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const DEVPROPKEY kBusReportedDescription = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

// The first string of what the system gave (a multi-string's first), up to its NUL or its end.
std::string utf8(const std::vector<wchar_t>& text, DWORD bytes) {
    const std::size_t most = std::min<std::size_t>(bytes / sizeof(wchar_t), text.size());
    const auto end = std::find(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(most), L'\0');
    const int length = static_cast<int>(end - text.begin());
    if (length == 0) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), size, nullptr, nullptr);
    return out;
}

std::string registryProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<wchar_t> buffer(256);
    DWORD type = 0;
    DWORD needed = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::SetupDiGetDeviceRegistryPropertyW(
                set, &device, property, &type, reinterpret_cast<BYTE*>(buffer.data()),
                static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &needed)) {
            return type == REG_SZ || type == REG_MULTI_SZ ? utf8(buffer, needed) : std::string();
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return {};
        }
        buffer.resize(needed / sizeof(wchar_t) + 1);
    }
    return {};
}

std::string busReportedDescription(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::vector<wchar_t> buffer(256);
    DEVPROPTYPE type = 0;
    DWORD needed = 0;
    if (!::SetupDiGetDevicePropertyW(set, &device, &kBusReportedDescription, &type,
                                     reinterpret_cast<BYTE*>(buffer.data()),
                                     static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &needed, 0) ||
        type != DEVPROP_TYPE_STRING) {
        return {};
    }
    return utf8(buffer, needed);
}

std::string instanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::vector<wchar_t> buffer(512);
    DWORD needed = 0;
    if (!::SetupDiGetDeviceInstanceIdW(set, &device, buffer.data(), static_cast<DWORD>(buffer.size()),
                                       &needed)) {
        return {};
    }
    return utf8(buffer, static_cast<DWORD>(buffer.size() * sizeof(wchar_t)));
}

// The port's name and, for FTDI's driver, its latency timer, from the device's own registry key.
bool readDeviceKey(HDEVINFO set, SP_DEVINFO_DATA& device, detail::SystemPortRecord& record) {
    const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<wchar_t> name(64);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name.data()), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        record.portName = utf8(name, size);
    }
    DWORD latency = 0;
    size = sizeof latency;
    if (::RegQueryValueExW(key, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&latency), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && latency <= 255) {
        record.latencyTimerMs = static_cast<int>(latency);
    }
    ::RegCloseKey(key);
    return true;
}

bool isComName(const std::string& name) {
    return name.size() > 3 && _strnicmp(name.c_str(), "COM", 3) == 0 &&
           std::all_of(name.begin() + 3, name.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

std::vector<DeviceFacts> systemPorts() {
    std::vector<DeviceFacts> ports;
    const HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return ports;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        detail::SystemPortRecord record;
        if (!readDeviceKey(set, device, record) || !isComName(record.portName)) {
            continue;  // a printer port of the same class, or a port without a name
        }
        record.friendlyName = registryProperty(set, device, SPDRP_FRIENDLYNAME);
        record.description = registryProperty(set, device, SPDRP_DEVICEDESC);
        record.manufacturer = registryProperty(set, device, SPDRP_MFG);
        record.service = registryProperty(set, device, SPDRP_SERVICE);
        record.hardwareId = registryProperty(set, device, SPDRP_HARDWAREID);
        record.instanceId = instanceId(set, device);
        record.busReported = busReportedDescription(set, device);
        ports.push_back(detail::factsFromSystemPort(record));
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return ports;
}

// "\\.\COM10" and "com10" name COM10.
std::string portNameOf(const std::string& path) {
    const std::string prefix = "\\\\.\\";
    return path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && _stricmp(a.c_str(), b.c_str()) == 0;
}

DeviceFacts deviceTableEntry(const std::string& path) {
    DeviceFacts facts;
    facts.path = path;
    facts.kind = "COM port";
    char target[512];
    facts.present = ::QueryDosDeviceA(portNameOf(path).c_str(), target, sizeof target) != 0;
    facts.accessKnown = false;
    return facts;
}

unsigned long portNumberOf(const std::string& path) {
    const std::string name = portNameOf(path);
    return isComName(name) ? std::strtoul(name.c_str() + 3, nullptr, 10) : 0;
}

}  // namespace

DeviceFacts describeDevice(const std::string& path, const DeviceRoots&) {
    for (DeviceFacts& port : systemPorts()) {
        if (sameName(port.path, portNameOf(path))) {
            port.path = path;
            return port;
        }
    }
    return deviceTableEntry(path);
}

std::vector<DeviceFacts> listSerialDevices(const DeviceRoots&) {
    std::vector<DeviceFacts> devices = systemPorts();
    std::vector<char> names(64 * 1024);
    const DWORD length = ::QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
    for (DWORD at = 0; at < length && names[at] != '\0';) {
        const std::string name(&names[at]);
        const bool listed = std::any_of(devices.begin(), devices.end(),
                                        [&name](const DeviceFacts& d) { return sameName(d.path, name); });
        if (isComName(name) && !listed) {
            devices.push_back(deviceTableEntry(name));
        }
        at += static_cast<DWORD>(name.size()) + 1;
    }
    // COM2 before COM10.
    std::sort(devices.begin(), devices.end(), [](const DeviceFacts& a, const DeviceFacts& b) {
        return portNumberOf(a.path) != portNumberOf(b.path) ? portNumberOf(a.path) < portNumberOf(b.path)
                                                            : a.path < b.path;
    });
    return devices;
}

}  // namespace serial
