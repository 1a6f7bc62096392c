// ports: the serial devices present, and what COM1 to COM4 open, with whether each can be used.
#include <cstdlib>
#include <sstream>

#include "command_support.h"
#include "serial/port_list.h"
#include "serial/serial_device.h"

namespace formwell::cli {

namespace {

constexpr int kListedPorts = 4;  // the cradle ports the window offers

struct PortLine {
    int port = 0;
    bool fromVariable = false;
    std::optional<serial::DeviceFacts> device;  // none when nothing is named (COM0 unset)
};

std::vector<PortLine> comPorts() {
    std::vector<PortLine> lines;
    for (int n = 1; n <= kListedPorts; ++n) {
        PortLine line;
        line.port = n;
        const char* variable = std::getenv(("COM" + std::to_string(n)).c_str());
        line.fromVariable = variable != nullptr && *variable != '\0';
        if (const std::optional<std::string> path = serial::devicePathForPort(n)) {
            line.device = serial::describeDevice(*path);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string usability(const serial::DeviceFacts& d) {
    if (!d.present) {
        return "not present";
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
        text = "USB " + d.usb->vendorId + ":" + d.usb->productId;
        for (const std::string* word : {&d.usb->manufacturer, &d.usb->product}) {
            if (!word->empty()) {
                text += " " + printable(*word);
            }
        }
        if (!d.usb->serial.empty()) {
            text += ", serial " + printable(d.usb->serial);
        }
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
    return "the adapter holds received bytes up to " + std::to_string(*d.latencyTimerMs) +
           " ms, which each answer of a transfer waits; lower it (until it is plugged in again) with: echo " +
           std::to_string(serial::kLowLatencyTimerMs) + " | sudo tee " + d.latencyTimerFile;
}

std::string optionalJson(const std::string& text) {
    return text.empty() ? std::string("null") : jsonString(text);
}

std::string deviceJson(const serial::DeviceFacts& d) {
    std::string byId = "[";
    for (std::size_t i = 0; i < d.byId.size(); ++i) {
        byId += (i ? ", " : "") + jsonString(d.byId[i]);
    }
    byId += "]";
    return "\"device\": " + jsonString(d.path) + ", \"kind\": " + jsonString(d.kind) +
           ", \"present\": " + (d.present ? "true" : "false") + ", \"byId\": " + byId +
           ", \"mayOpen\": " + (d.mayOpen ? "true" : "false") +
           ", \"inUse\": " + (d.heldBy.empty() ? "false" : "true") +
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
    out << "\nPorts (port n is the device in the variable COM<n>, else /dev/ttyS<n-1>):\n";
    for (const PortLine& p : ports) {
        out << "  COM" << p.port << ": ";
        if (!p.device) {
            out << "names no device\n";
            continue;
        }
        out << p.device->path << (p.fromVariable ? " (from COM" + std::to_string(p.port) + ")" : " (default)")
            << ", " << usability(*p.device) << '\n';
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
               std::to_string(p.port) + "\", \"from\": " + (p.fromVariable ? "\"variable\"" : "\"default\"") +
               ", " + (p.device ? deviceJson(*p.device) : std::string("\"device\": null")) + "}";
    }
    return out + "]}\n";
}

int runPorts(CommandContext& c) {
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
        "Nothing is opened: a terminal in a cradle sees no line move.\n",
        {{"--json", "", "the list as one JSON object on standard output"}},
        0,
        0,
        runPorts};
}

}  // namespace formwell::cli
