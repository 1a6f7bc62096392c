// ports: the serial devices present, and what COM1 to COM4 open, with whether each can be used.
#include <cstdlib>
#include <sstream>

#include "command_support.h"
#include "serial/port_list.h"
#include "serial/port_map.h"
#include "serial/serial_device.h"

namespace formwell::cli {

namespace {

constexpr int kListedPorts = 4;  // the cradle ports the window offers

struct PortLine {
    int port = 0;
    serial::DeviceOrigin origin = serial::DeviceOrigin::Default;
    std::optional<serial::DeviceFacts> device;  // none when nothing is named (COM0 unset)
};

std::vector<PortLine> comPorts() {
    std::vector<PortLine> lines;
    for (int n = 1; n <= kListedPorts; ++n) {
        PortLine line;
        line.port = n;
        line.origin = serial::deviceOriginForPort(n);
        if (const std::optional<std::string> path = serial::devicePathForPort(n)) {
            line.device = serial::describeDevice(*path);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

const char* originWord(serial::DeviceOrigin origin) {
    switch (origin) {
        case serial::DeviceOrigin::Variable:
            return "variable";
        case serial::DeviceOrigin::Stored:
            return "stored";
        case serial::DeviceOrigin::Given:
            return "given";
        case serial::DeviceOrigin::Default:
        case serial::DeviceOrigin::None:
            break;
    }
    return "default";
}

std::string originText(const PortLine& p) {
    switch (p.origin) {
        case serial::DeviceOrigin::Variable:
            return "from COM" + std::to_string(p.port);
        case serial::DeviceOrigin::Stored:
            return "stored in " + serial::portMapFile().string();
        case serial::DeviceOrigin::Given:
            return "given with --device";
        case serial::DeviceOrigin::Default:
        case serial::DeviceOrigin::None:
            break;
    }
    return "default";
}

std::string usability(const serial::DeviceFacts& d) {
    if (!d.present) {
        return "not present";
    }
    if (!d.accessKnown) {
        return "present (whether it is free shows when it is opened)";
    }
    std::string text = d.mayOpen ? "you may open it" : "you may not open it (no read and write permission)";
    text += d.heldBy.empty() ? ", free" : ", in use by " + d.heldBy;
    return text;
}

// "USB 0403:6001 FTDI FT232R USB UART, serial A10K, driver ftdi_sio, latency timer 16 ms"; empty for a
// device the kernel tells nothing of.
std::string identityText(const serial::DeviceFacts& d) {
    std::string text;
    if (d.usb) {
        text = printable(serial::usbIdentityText(*d.usb));
    }
    if (!d.driver.empty()) {
        text += (text.empty() ? "driver " : ", driver ") + d.driver;
    }
    if (d.latencyTimerMs) {
        text += ", latency timer " + std::to_string(*d.latencyTimerMs) + " ms";
    }
    return text;
}

// An adapter that holds each answer back makes every frame of a transfer wait that long for its ACK.
std::string latencyAdvice(const serial::DeviceFacts& d) {
    if (!d.latencyTimerMs || *d.latencyTimerMs <= serial::kLowLatencyTimerMs) {
        return {};
    }
    const std::string cost = "the adapter holds received bytes up to " + std::to_string(*d.latencyTimerMs) +
                             " ms, which each answer of a transfer waits; ";
    const std::string lowest = std::to_string(serial::kLowLatencyTimerMs);
    if (d.latencyTimerFile.empty()) {  // Windows keeps it with the driver's settings of the port
        return cost + "lower it to " + lowest +
               " in Device Manager: the port's Properties, Port Settings, Advanced, Latency Timer";
    }
    return cost + "lower it (until it is plugged in again) with: echo " + lowest + " | sudo tee " +
           d.latencyTimerFile;
}

std::string optionalJson(const std::string& text) {
    return text.empty() ? std::string("null") : jsonString(text);
}

// null where the system tells it only to a program that opens the port.
std::string knownJson(bool known, bool value) {
    return !known ? "null" : value ? "true" : "false";
}

std::string deviceJson(const serial::DeviceFacts& d) {
    std::string byId = "[";
    for (std::size_t i = 0; i < d.byId.size(); ++i) {
        byId += (i ? ", " : "") + jsonString(d.byId[i]);
    }
    byId += "]";
    return "\"device\": " + jsonString(d.path) + ", \"kind\": " + jsonString(d.kind) +
           ", \"present\": " + (d.present ? "true" : "false") + ", \"byId\": " + byId +
           ", \"mayOpen\": " + knownJson(d.accessKnown, d.mayOpen) +
           ", \"inUse\": " + knownJson(d.accessKnown, !d.heldBy.empty()) +
           ", \"heldBy\": " + (d.heldBy.empty() ? std::string("null") : jsonString(d.heldBy)) +
           ", \"usb\": " +
           (d.usb ? "{\"vendorId\": " + jsonString(d.usb->vendorId) +
                        ", \"productId\": " + jsonString(d.usb->productId) + ", \"manufacturer\": " +
                        optionalJson(d.usb->manufacturer) + ", \"product\": " + optionalJson(d.usb->product) +
                        ", \"serial\": " + optionalJson(d.usb->serial) + "}"
                  : std::string("null")) +
           ", \"driver\": " + optionalJson(d.driver) + ", \"latencyTimerMs\": " +
           (d.latencyTimerMs ? std::to_string(*d.latencyTimerMs) : std::string("null"));
}

std::string portsText(const std::vector<serial::DeviceFacts>& devices, const std::vector<PortLine>& ports) {
    std::ostringstream out;
    out << "Serial devices:\n";
    if (devices.empty()) {
        out << "  none found\n";
    }
    for (const serial::DeviceFacts& d : devices) {
        out << "  " << d.path << (d.kind.empty() ? "" : "  (" + d.kind + ")") << ": " << usability(d) << '\n';
        for (const std::string& name : d.byId) {
            out << "      " << name << '\n';
        }
        if (const std::string identity = identityText(d); !identity.empty()) {
            out << "      " << identity << '\n';
        }
        if (const std::string advice = latencyAdvice(d); !advice.empty()) {
            out << "      note: " << advice << '\n';
        }
    }
    out << "\nPorts (" << serial::portRuleText() << "):\n";
    for (const PortLine& p : ports) {
        out << "  COM" << p.port << ": ";
        if (!p.device) {
            out << "names no device\n";
            continue;
        }
        out << p.device->path << " (" << originText(p) << "), " << usability(*p.device) << '\n';
    }
    return out.str();
}

std::string portsJson(const std::vector<serial::DeviceFacts>& devices, const std::vector<PortLine>& ports) {
    std::string out = "{\"devices\": [";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        out += (i ? ", {" : "{") + deviceJson(devices[i]) + "}";
    }
    out += "], \"ports\": [";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const PortLine& p = ports[i];
        out += (i ? ", " : "") + std::string("{\"port\": ") + std::to_string(p.port) + ", \"name\": \"COM" +
               std::to_string(p.port) + "\", \"from\": \"" + originWord(p.origin) + "\"" + ", " +
               (p.device ? deviceJson(*p.device) : std::string("\"device\": null")) + "}";
    }
    return out + "]}\n";
}

// --store N=PATH and --forget N: the device port N opens from now on, for this user's programs.
int changeStoredDevice(CommandContext& c) {
    const std::optional<std::string> store = c.line.value("--store");
    const std::optional<std::string> forget = c.line.value("--forget");
    if (store && forget) {
        return usageError(c, "ports", "--store and --forget go one at a time");
    }
    const std::string text = store ? *store : *forget;
    const std::size_t equals = store ? text.find('=') : text.size();
    const std::optional<int> port =
        equals == std::string::npos ? std::nullopt : wholeNumber(text.substr(0, equals), 1, 255);
    if (!port || (store && equals + 1 >= text.size())) {
        return usageError(c, "ports",
                          store ? "--store takes N=PATH, e.g. 1=/dev/serial/by-id/usb-FTDI_..."
                                : "--forget takes a port number from 1 to 255");
    }
    const std::string path = store ? text.substr(equals + 1) : std::string();
    std::string error;
    if (!serial::storeDeviceForPort(*port, path, error)) {
        note(c, "COM" + std::to_string(*port) + "'s device could not be kept: " + error);
        return kExitFailed;
    }
    const std::string name = "COM" + std::to_string(*port);
    if (path.empty()) {
        c.out << name << " opens " << serial::devicePathForPort(*port).value_or("no device") << " again\n";
    } else {
        c.out << name << " opens " << path << " from now on (kept in " << serial::portMapFile().string()
              << ")\n";
        if (!serial::describeDevice(path).present) {
            note(c, path + " is not there now; " + name + " will open it once it is");
        }
    }
    if (serial::deviceOriginForPort(*port) == serial::DeviceOrigin::Variable) {
        note(c, "the variable " + name + " is set here, and wins while it is");
    }
    return kExitSuccess;
}

int runPorts(CommandContext& c) {
    if (c.line.has("--store") || c.line.has("--forget")) {
        return changeStoredDevice(c);
    }
    const std::vector<serial::DeviceFacts> devices = serial::listSerialDevices();
    const std::vector<PortLine> ports = comPorts();
    c.out << (c.line.has("--json") ? portsJson(devices, ports) : portsText(devices, ports)) << std::flush;
    if (!c.out) {
        note(c, "the list could not be written to standard output");
        return kExitFailed;
    }
    return kExitSuccess;
}

}  // namespace

Subcommand portsCommand() {
    return Subcommand{
        "ports",
        "ports",
        "List the serial devices, and what COM1 to COM4 open.",
        "Lists the serial devices present (UARTs, USB serial adapters, USB modems, and whatever a COM<n>\n"
        "variable names), each with its stable names under /dev/serial/by-id, whether you may open it,\n"
        "and whether another program holds it; for a USB device also its vendor and product (VID:PID),\n"
        "serial number and driver, and for an adapter with a latency timer (FTDI) the timer, with how\n"
        "to lower it when it is above 1 ms. Then what COM1 to COM4 open under the COM<n> rule.\n"
        "Nothing is opened: a terminal in a cradle sees no line move. --store keeps the device a port\n"
        "opens for this user's programs, the window and both libraries included; choose the stable\n"
        "/dev/serial/by-id name, which survives a replug and a renumbering.\n",
        {{"--json", "", "the list as one JSON object on standard output"},
         {"--store", "N=PATH", "from now on port N opens PATH (kept for this user; Linux)"},
         {"--forget", "N", "port N opens its default device again"}},
        0,
        0,
        runPorts};
}

}  // namespace formwell::cli
