// The serial devices of this machine, for people choosing a cradle's port: which devices are there,
// their stable names, whether this user may open each, and whether another program holds it. Looks
// only; nothing is opened, so no line of a connected terminal moves.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace serial {

struct DeviceFacts {
    std::string path;               // "/dev/ttyUSB0"
    std::string kind;               // "USB serial adapter", "UART", "pseudo-terminal", ...
    std::vector<std::string> byId;  // stable names that lead to it: "/dev/serial/by-id/usb-FTDI_..."
    bool present = false;
    bool mayOpen = false;  // this user may read and write it
    std::string heldBy;    // the programs holding it ("minicom (pid 812)"); empty when none is seen
};

// Where the facts come from; tests lay out their own.
struct DeviceRoots {
    std::string dev = "/dev";
    std::string sysTty = "/sys/class/tty";
};

// The serial devices present: UARTs (ttyS* with a chip behind them), USB adapters (ttyUSB*), USB
// modems (ttyACM*), and whatever a COM<n> variable names, a pseudo-terminal included. Sorted by path.
std::vector<DeviceFacts> listSerialDevices(const DeviceRoots& roots = {});

// The same facts for one device path, present or not.
DeviceFacts describeDevice(const std::string& path, const DeviceRoots& roots = {});

}  // namespace serial
