// A serial port as the Windows device list gives it (the Ports class of the device manager): its
// properties as read, and the facts a person choosing a cradle's port is shown. Plain strings, so the
// reading of them is tested on every platform.
#pragma once

#include <optional>
#include <string>

#include "serial/port_list.h"

namespace serial::detail {

struct SystemPortRecord {
    std::string portName;               // "COM3", from the device's own registry key
    std::string friendlyName;           // "USB Serial Port (COM3)"
    std::string description;            // "USB Serial Port", from the driver package
    std::string busReported;            // "FT232R USB UART", what the device itself says (USB devices)
    std::string manufacturer;           // the driver package's: "FTDI", or "Microsoft" for a generic driver
    std::string service;                // the driver: "FTDIBUS", "usbser", "Serial"
    std::string hardwareId;             // the first hardware ID: "USB\VID_0403&PID_6001&REV_0600"
    std::string instanceId;             // "FTDIBUS\VID_0403+PID_6001+A10K3XYZA\0000"
    std::optional<int> latencyTimerMs;  // FTDI's driver keeps it beside the port name
};

// VID and PID from the IDs, lower-case as the USB tables write them; the serial number where the
// instance ID carries one (not one the system made up, which holds '&').
std::optional<UsbIdentity> usbIdentityFromIds(const SystemPortRecord& record);

DeviceFacts factsFromSystemPort(const SystemPortRecord& record);

}  // namespace serial::detail
