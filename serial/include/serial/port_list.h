// The serial devices of this machine, for people choosing a cradle's port: which devices are there,
// their stable names, whether this user may open each, and whether another program holds it. Looks
// only; nothing is opened, so no line of a connected terminal moves.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace serial {

// What a USB device says of itself, from the kernel's device tree.
struct UsbIdentity {
    std::string vendorId;      // "0403"
    std::string productId;     // "6001"
    std::string manufacturer;  // "FTDI"
    std::string product;       // "FT232R USB UART"
    std::string serial;        // "A10K3XYZ"
};

struct DeviceFacts {
    std::string path;               // "/dev/ttyUSB0"
    std::string kind;               // "USB serial adapter", "UART", "pseudo-terminal", ...
    std::vector<std::string> byId;  // stable names that lead to it: "/dev/serial/by-id/usb-FTDI_..."
    bool present = false;
    // Whether mayOpen and heldBy were found out: Windows tells either only to a program that opens the
    // port, and looking must not open it.
    bool accessKnown = true;
    bool mayOpen = false;            // this user may read and write it
    std::string heldBy;              // the programs holding it ("minicom (pid 812)"); empty when none is seen
    std::optional<UsbIdentity> usb;  // for a device on the USB
    std::string driver;              // "ftdi_sio", "cdc_acm", "serial8250"; empty when not told
    std::optional<int> latencyTimerMs;  // an FTDI adapter's: how long it holds received bytes back
    std::string latencyTimerFile;       // where that timer is set
};

// "USB 0403:6001 FTDI FT232R USB UART, serial A10K3XYZ": the words a device gives of itself, as they are
// (a caller showing them to a person makes them printable).
std::string usbIdentityText(const UsbIdentity& usb);

// An adapter whose latency timer holds each answer back longer than this makes every exchange wait.
inline constexpr int kLowLatencyTimerMs = 1;

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
